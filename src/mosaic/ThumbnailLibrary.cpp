#include "mosaic/ThumbnailLibrary.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "app/MyMsgDlg.h"
#include "imagefiles/JpegImage.h"
#include "imagefiles/PictureFiles.h"
#include "mosaic/SquareCrop.h"
#include "raster/RectUtils.h"

namespace {

QString LowerSuffix(const QString& name) {
  const qsizetype dot = name.lastIndexOf(u'.');
  return dot < 0 ? QString() : name.mid(dot).toLower();
}

// 0 when the header cannot be read.
int FastJpegScale(const QString& path, int cell) {
  int w = 0, h = 0;
  ReadJpegSize(path, w, h);
  return ThumbnailJpegScale(w, h, cell);
}

// Decodes and squares one file; nullopt when it cannot be read.
std::optional<TBitmap> MakeSquare(const QString& path, const TThumbnailLoadOptions& options) {
  TBitmap picture;
  const int scale =
      options.FastJpeg && HasFormatExtension(TPictureFormat::Jpeg, path) ? FastJpegScale(path, options.CellSize) : 0;
  if (!DecodePictureFile(path, picture, scale)) return std::nullopt;
  // A picture too large to convert or square is a file that cannot be
  // loaded, like one whose decoding ran out of memory.
  try {
    if (options.CropSquare) return CropToSquare(picture, options.CellSize);
    picture.SetPixelFormat(pf24bit);
    ScaleBitmap(options.CellSize, options.CellSize, picture);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  return picture;
}

QStringList Enumerate(const QString& folder) {
  QStringList files;
  FindFiles(folder, QString::fromLatin1(ThumbnailMasks), [&](const QString& dir, const QString& name) {
    files.append(dir + name);
    return true;
  });
  return files;
}

}  // namespace

int ThumbnailJpegScale(int width, int height, int cell) {
  int scale = 0;
  while (scale < 3 && (width >> (scale + 1)) >= cell && (height >> (scale + 1)) >= cell) ++scale;
  return scale;
}

void FindFiles(const QString& folder, const QString& maskList, const TFindFilesCallback& callback) {
  QString masks = maskList;
  masks.remove(u' ');
  QString dir = folder;
  if (!dir.endsWith(u'/')) dir += u'/';
  const QDir qdir(dir);
  if (!qdir.exists()) return;
  QStringList entries = qdir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
  std::sort(entries.begin(), entries.end());
  for (const QString& mask : masks.split(u';', Qt::SkipEmptyParts)) {
    const QRegularExpression pattern(QRegularExpression::wildcardToRegularExpression(mask),
                                     QRegularExpression::CaseInsensitiveOption);
    const QString maskExt = LowerSuffix(mask);
    for (const QString& name : entries) {
      if (!pattern.match(name).hasMatch() || LowerSuffix(name) != maskExt) continue;
      if (!callback(dir, name)) return;
    }
  }
}

bool AddThumbnailFile(TThumbnailList& list, const QString& folder, const QString& fileName,
                      const TThumbnailLoadOptions& options) {
  std::optional<TBitmap> square = MakeSquare(folder + fileName, options);
  return square && list.Add(*square) >= 0;
}

namespace {

// Decodes files ahead of the consumer on worker threads, at most `window`
// files beyond the one being consumed, and hands results over in file order.
class TOrderedDecoder {
 public:
  TOrderedDecoder(const QStringList& files, const TThumbnailLoadOptions& options, int threads)
      : m_files(files), m_options(options), m_results(size_t(files.size())), m_window(size_t(threads) * 2) {
    for (int i = 0; i < threads; ++i) m_workers.emplace_back([this] { Work(); });
  }
  ~TOrderedDecoder() {
    {
      std::lock_guard lock(m_mutex);
      m_stop = true;
    }
    m_changed.notify_all();
    for (std::thread& t : m_workers) t.join();
  }

  // The square of file i (waiting for it), or nullopt when it cannot be read.
  // Rethrows an exception raised while making it (out of memory).
  std::optional<TBitmap> Take(size_t i) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_results[i].done; });
    Result r = std::move(m_results[i]);
    m_consumed = i + 1;
    lock.unlock();
    m_changed.notify_all();
    if (r.error) std::rethrow_exception(r.error);
    return std::move(r.square);
  }

 private:
  struct Result {
    bool done = false;
    std::optional<TBitmap> square;
    std::exception_ptr error;
  };

  void Work() {
    for (;;) {
      size_t i;
      {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_stop || m_next >= m_results.size() || m_next < m_consumed + m_window; });
        if (m_stop || m_next >= m_results.size()) return;
        i = m_next++;
      }
      Result r;
      try {
        r.square = MakeSquare(m_files[qsizetype(i)], m_options);
      } catch (...) {
        r.error = std::current_exception();
      }
      r.done = true;
      {
        std::lock_guard lock(m_mutex);
        m_results[i] = std::move(r);
      }
      m_changed.notify_all();
    }
  }

  const QStringList& m_files;
  const TThumbnailLoadOptions& m_options;
  std::vector<Result> m_results;
  const size_t m_window;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  size_t m_next = 0;
  size_t m_consumed = 0;
  bool m_stop = false;
  std::vector<std::thread> m_workers;
};

}  // namespace

void LoadThumbnails(TThumbnailList& list, const QString& folder, const TThumbnailLoadOptions& options,
                    const std::function<void(int)>& count) {
  list.Clear();
  list.SetHeight(options.CellSize);
  list.SetWidth(options.CellSize);
  // Each file is decoded in a context of its own (DecodePictureFile): no
  // message per file, no stage handler, and the dispatch's default context,
  // which the callers after it rely on, is left as it was.

  const int threads = options.Threads > 0 ? options.Threads : int(std::max(1u, std::thread::hardware_concurrency()));
  if (threads == 1) {
    FindFiles(folder, QString::fromLatin1(ThumbnailMasks), [&](const QString& dir, const QString& name) {
      if (!AddThumbnailFile(list, dir, name, options)) return false;
      if (count) count(list.Count());
      return true;
    });
  } else {
    const QStringList files = Enumerate(folder);
    TOrderedDecoder decoder(files, options, std::min<int>(threads, int(std::max<qsizetype>(files.size(), 1))));
    for (qsizetype i = 0; i < files.size(); ++i) {
      std::optional<TBitmap> square = decoder.Take(size_t(i));
      if (!square || list.Add(*square) < 0) break;
      if (count) count(list.Count());
    }
  }
  if (list.Count() == 0) MyMessageDlg(QStringLiteral("No thumbnail in the list !"), mkWarning, btOk);
}
