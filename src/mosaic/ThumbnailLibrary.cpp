#include "mosaic/ThumbnailLibrary.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <exception>
#include <new>
#include <optional>
#include <vector>

#include "app/FileNames.h"
#include "imagefiles/FileBytes.h"
#include "imagefiles/JpegImage.h"
#include "imagefiles/PictureFiles.h"
#include "mosaic/SquareCrop.h"
#include "raster/RectUtils.h"
#include "raster/Workers.h"

namespace {

QString LowerSuffix(const QString& name) {
  const qsizetype dot = name.lastIndexOf(u'.');
  return dot < 0 ? QString() : name.mid(dot).toLower();
}

// The name as the pattern matcher takes it: a byte that is not UTF-8 (a
// lone surrogate, see app/FileNames.h) would make the whole name invalid
// text that matches nothing; it stands as one unknown character instead.
QString Matchable(QString name) {
  for (qsizetype i = 0; i < name.size(); ++i) {
    if (name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate())
      ++i;
    else if (name[i].isSurrogate())
      name[i] = QChar::ReplacementCharacter;
  }
  return name;
}

// 0 when the header cannot be read.
int FastJpegScale(const QString& path, int cell) {
  int w = 0, h = 0;
  ReadJpegSize(path, w, h);
  return ThumbnailJpegScale(w, h, cell);
}

// Decodes and squares one file; nullopt, with the reason in error, when it
// cannot be read.
std::optional<TBitmap> MakeSquare(const QString& path, const TThumbnailLoadOptions& options, QString& error) {
  TCodecOptions codec;
  // The tile's longer side: a portrait tile is higher than it is wide.
  codec.JpegScale = options.FastJpeg && HasFormatExtension(TPictureFormat::Jpeg, path)
                        ? FastJpegScale(path, std::max(options.CellSize, options.TileHeight()))
                        : 0;
  TDecodedPicture decoded;
  if (!DecodePictureFile(path, decoded, codec)) {
    error = decoded.Error;
    return std::nullopt;
  }
  TBitmap picture = std::move(decoded.Bitmap);
  // A picture too large to convert or square is a file that cannot be
  // loaded, like one whose decoding ran out of memory.
  try {
    if (options.CropSquare) return CropToShape(picture, options.CellSize, options.TileHeight());
    picture.SetPixelFormat(pf24bit);
    ScaleBitmap(options.CellSize, options.TileHeight(), picture);
  } catch (const std::bad_alloc&) {
    error = QStringLiteral("not enough memory");
    return std::nullopt;
  }
  return picture;
}

// The thumbnail files of the folder in load order; returns why the folder
// could not be listed (empty when it was).
QString Enumerate(const QString& folder, QStringList& files) {
  return FindFiles(folder, QString::fromLatin1(ThumbnailMasks), [&](const QString& dir, const QString& name) {
    files.append(dir + name);
    return true;
  });
}

}  // namespace

std::optional<TBitmap> MakeThumbnailSquare(const QString& path, const TThumbnailLoadOptions& options, QString& error) {
  return MakeSquare(path, options, error);
}

int ThumbnailJpegScale(int width, int height, int cell) {
  int scale = 0;
  while (scale < 3 && (width >> (scale + 1)) >= cell && (height >> (scale + 1)) >= cell) ++scale;
  return scale;
}

QString ListFolder(const QString& folder, QStringList& files, QStringList* folders, TFolderId* id) {
  QString dir = folder;
  if (!dir.endsWith(u'/')) dir += u'/';
  DIR* listing = ::opendir(EncodeFileName(dir).constData());
  if (!listing)
    return errno == ENOENT ? QStringLiteral("no such folder") : QString::fromStdString(SystemErrorReason(errno));
  if (id) {
    struct stat self {};
    if (::fstat(::dirfd(listing), &self) == 0) *id = {self.st_dev, self.st_ino};
  }
  while (const dirent* entry = ::readdir(listing)) {
    const QByteArray name(entry->d_name);
    if (name == "." || name == "..") continue;
    // Every kind of file but folders: links to files, pipes and devices too
    // (their read fails), as a listing of files shows them.
    struct stat st {};
    const bool isFolder = ::fstatat(::dirfd(listing), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    if (!isFolder)
      files.append(DecodeFileName(name));
    else if (folders)
      folders->append(DecodeFileName(name));
  }
  ::closedir(listing);
  std::sort(files.begin(), files.end());
  if (folders) std::sort(folders->begin(), folders->end());
  return {};
}

QString FindFiles(const QString& folder, const QString& maskList, const TFindFilesCallback& callback) {
  QString masks = maskList;
  masks.remove(u' ');
  QString dir = folder;
  if (!dir.endsWith(u'/')) dir += u'/';
  QStringList entries;
  if (QString problem = ListFolder(dir, entries); !problem.isEmpty()) return problem;
  for (const QString& mask : masks.split(u';', Qt::SkipEmptyParts)) {
    const QRegularExpression pattern(QRegularExpression::wildcardToRegularExpression(mask),
                                     QRegularExpression::CaseInsensitiveOption);
    const QString maskExt = LowerSuffix(mask);
    for (const QString& name : entries) {
      if (!pattern.match(Matchable(name)).hasMatch() || LowerSuffix(name) != maskExt) continue;
      if (!callback(dir, name)) return {};
    }
  }
  return {};
}

bool AddThumbnailFile(TThumbnailList& list, const QString& folder, const QString& fileName,
                      const TThumbnailLoadOptions& options) {
  QString error;
  std::optional<TBitmap> square = MakeSquare(folder + fileName, options, error);
  return square && list.Add(*square) >= 0;
}

QString ThumbnailLoadStoppedText(const TThumbnailLoadResult& load) {
  return QStringLiteral("The thumbnail load stopped at \"%1\" (%2): %3 thumbnail%4 loaded")
      .arg(load.StoppedAt, load.Reason)
      .arg(load.Loaded)
      .arg(load.Loaded == 1 ? "" : "s");
}

QString NoPictureFileReason() { return QStringLiteral("holds no PNG, JPEG, BMP or GIF file"); }

QString NoThumbnailText(const QString& folder, const QString& why) {
  return QStringLiteral("No thumbnail in the list !\nFolder \"%1\": %2").arg(folder, why);
}

TThumbnailLoadResult LoadThumbnails(TThumbnailList& list, const QString& folder, const TThumbnailLoadOptions& options,
                                    const std::function<void(int)>& count,
                                    const std::function<void(int, int)>& fileProgress,
                                    const std::function<bool()>& cancelled) {
  list.Clear();
  list.SetHeight(options.TileHeight());
  list.SetWidth(options.CellSize);
  // Each file is decoded in a context of its own (DecodePictureFile): no
  // message per file, no stage handler, and the dispatch's default context,
  // which the callers after it rely on, is left as it was.

  TThumbnailLoadResult result;
  // Ends the load at a file that cannot be read or added; true to go on.
  auto add = [&](const QString& path, std::optional<TBitmap>& square, const QString& error) {
    if (square && list.Add(*square) >= 0) {
      if (count) count(list.Count());
      return true;
    }
    result.StoppedAt = path;
    result.Reason = square ? QStringLiteral("the list refused it") : error;
    return false;
  };
  QStringList files;
  const QString listing = Enumerate(folder, files);
  // Files are decoded ahead of the list on worker threads, at most two per
  // thread beyond the one being added, and added in file order: the result
  // is that of a one-by-one load. One thread means no worker at all: this
  // thread decodes each file as it comes to it.
  {
    struct TDecoded {
      std::optional<TBitmap> Square;
      QString Reason;
      // Out of memory while making it: raised when the list comes to it.
      std::exception_ptr Error;
    };
    std::vector<TDecoded> decoded(size_t(files.size()));
    const int threads = WorkerThreads(options.Threads);
    TWorkers decoder(
        decoded.size(), threads == 1 ? 0 : threads,
        [&](size_t i) {
          TDecoded& d = decoded[i];
          try {
            d.Square = MakeSquare(files[qsizetype(i)], options, d.Reason);
          } catch (...) {
            d.Error = std::current_exception();
          }
        },
        size_t(threads) * 2);
    for (size_t i = 0; i < decoded.size(); ++i) {
      decoder.WaitFor(i);
      TDecoded d = std::move(decoded[i]);
      decoder.Release(i + 1);
      if (d.Error) std::rethrow_exception(d.Error);
      if (!add(files[qsizetype(i)], d.Square, d.Reason)) break;
      if (fileProgress) fileProgress(int(i + 1), int(files.size()));
      if (cancelled && cancelled()) {
        list.Clear();
        result.Cancelled = true;
        return result;
      }
    }
  }
  result.Loaded = list.Count();
  if (result.Loaded == 0) {
    if (!listing.isEmpty())
      result.Reason = listing;
    else if (files.isEmpty())
      result.Reason = NoPictureFileReason();
    QString why = result.Reason;
    if (!result.StoppedAt.isEmpty())
      why = QStringLiteral("its first picture \"%1\" cannot be read (%2)")
                .arg(result.StoppedAt.mid(result.StoppedAt.lastIndexOf(u'/') + 1), result.Reason);
    result.NoThumbnail = NoThumbnailText(folder, why);
  }
  return result;
}
