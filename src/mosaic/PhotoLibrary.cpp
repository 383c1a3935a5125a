#include "mosaic/PhotoLibrary.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <optional>
#include <set>
#include <utility>

#include "raster/Workers.h"

namespace {

bool IsPhotoName(const QString& name) {
  static const QStringList masks = QString::fromLatin1(ThumbnailMasks).split(u';');
  const qsizetype dot = name.lastIndexOf(u'.');
  return dot >= 0 && masks.contains(QStringLiteral("*") + name.mid(dot).toLower());
}

void Collect(const QString& folder, bool recursive, std::set<TFolderId>& seen, QStringList& files) {
  QString prefix = folder;
  if (!prefix.endsWith(u'/')) prefix += u'/';
  QStringList names, subfolders;
  TFolderId id;
  if (!ListFolder(prefix, names, recursive ? &subfolders : nullptr, &id).isEmpty()) return;
  // A folder reached again through a link is read once.
  if (!seen.insert(id).second) return;
  for (const QString& name : std::as_const(names))
    if (IsPhotoName(name)) files.append(prefix + name);
  for (const QString& name : std::as_const(subfolders)) Collect(prefix + name, recursive, seen, files);
}

TThumbnailCacheMode CacheMode(const TThumbnailLoadOptions& options) {
  return TThumbnailCacheMode{options.CellSize, options.CropSquare, options.FastJpeg, options.TileHeight()};
}

std::vector<std::uint8_t> DescriptorBytes(const TTileDescriptor& d) {
  std::vector<std::uint8_t> bytes(sizeof d);
  std::memcpy(bytes.data(), d.data(), sizeof d);
  return bytes;
}

struct TLoaded {
  std::optional<TBitmap> Square;
  QString Reason;
  TFileStamp Stamp;  // as found before the decode
  TTileDescriptor Descriptor{};
  bool Cached = false;
};

}  // namespace

QStringList FindPhotos(const QString& folder, bool recursive) {
  QStringList files;
  std::set<TFolderId> seen;
  Collect(folder, recursive, seen, files);
  return files;
}

TPhotoLibraryLoad LoadPhotoLibrary(TThumbnailList& list, std::vector<TTileDescriptor>& descriptors,
                                   const QString& folder, const TPhotoLibraryOptions& options,
                                   const std::function<void(int, int)>& progress,
                                   const std::function<bool()>& cancelled) {
  const TThumbnailLoadOptions& load = options.Load;
  list.Clear();
  list.SetHeight(load.TileHeight());
  list.SetWidth(load.CellSize);
  descriptors.clear();

  const QStringList files = FindPhotos(folder, options.Recursive);
  TPhotoLibraryLoad result;
  result.Found = int(files.size());
  std::vector<TLoaded> loaded(size_t(files.size()));
  const TThumbnailCacheMode mode = CacheMode(load);

  // Hits first, on this thread: the cache is not shared between threads.
  std::vector<size_t> misses;
  for (qsizetype i = 0; i < files.size(); ++i) {
    TCachedThumbnail hit;
    TLoaded& entry = loaded[size_t(i)];
    if (options.Cache && options.Cache->Find(files[i], mode, hit, &entry.Stamp) &&
        hit.Descriptor.size() == sizeof(TTileDescriptor)) {
      std::memcpy(entry.Descriptor.data(), hit.Descriptor.data(), sizeof(TTileDescriptor));
      entry.Square = std::move(hit.Square);
      entry.Cached = true;
      ++result.FromCache;
    } else {
      misses.push_back(size_t(i));
    }
  }
  int done = result.FromCache;
  if (progress) progress(done, result.Found);
  std::atomic<bool> stop = cancelled && cancelled();

  // The rest decoded on worker threads; progress reported here as they finish.
  // Once stopped, the files not yet begun are passed over.
  // Decoded squares go to the cache as they come, a batch at a time, so a
  // load that is stopped or dies part way keeps what it decoded.
  std::vector<std::atomic<bool>> ready(misses.size());
  std::vector<bool> stored(misses.size());
  size_t firstUnstored = 0;
  auto storeReady = [&](size_t atLeast) {
    if (!options.Cache) return;
    std::vector<size_t> batch;
    for (size_t m = firstUnstored; m < misses.size(); ++m)
      if (!stored[m] && ready[m]) batch.push_back(m);
    if (batch.size() < atLeast) return;
    options.Cache->BeginBatch();
    for (size_t m : batch) {
      stored[m] = true;
      const TLoaded& entry = loaded[misses[m]];
      if (entry.Square)
        options.Cache->Store(files[qsizetype(misses[m])], mode,
                             TCachedThumbnail{*entry.Square, DescriptorBytes(entry.Descriptor)}, &entry.Stamp);
    }
    options.Cache->EndBatch();
    while (firstUnstored < misses.size() && stored[firstUnstored]) ++firstUnstored;
  };
  if (!misses.empty() && !stop) {
    TWorkers decoders(misses.size(), WorkerThreads(load.Threads), [&](size_t m) {
      if (stop) return;
      TLoaded& entry = loaded[misses[m]];
      try {
        entry.Square = MakeThumbnailSquare(files[qsizetype(misses[m])], load, entry.Reason);
        if (entry.Square) entry.Descriptor = DescribeArea(*entry.Square, 0, 0, load.CellSize, load.TileHeight());
      } catch (const std::bad_alloc&) {
        entry.Square.reset();
        entry.Reason = QStringLiteral("not enough memory");
      }
      ready[m] = true;
    });
    constexpr size_t CacheBatch = 64;
    for (size_t reported = 0; reported < misses.size();) {
      reported = decoders.WaitForMore(reported);
      if (progress && !stop) progress(done + int(reported), result.Found);
      if (!stop && cancelled && cancelled()) stop = true;
      storeReady(CacheBatch);
    }
    done += int(misses.size());
  }

  if (options.Cache) {
    storeReady(1);
    options.Cache->DropMissing(folder);
  }
  if (stop) {
    result.Cancelled = true;
    return result;
  }

  for (qsizetype i = 0; i < files.size(); ++i) {
    TLoaded& entry = loaded[size_t(i)];
    if (entry.Square && list.Add(*entry.Square) >= 0) {
      descriptors.push_back(entry.Descriptor);
      result.Loaded.append(files[i]);
    } else {
      ++result.Skipped;
      result.SkippedFiles.append(files[i]);
      result.SkippedReasons.append(entry.Reason);
    }
    entry.Square.reset();
  }
  return result;
}
