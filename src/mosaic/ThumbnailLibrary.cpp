#include "mosaic/ThumbnailLibrary.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "app/FileNames.h"
#include "app/MyMsgDlg.h"
#include "imagefiles/FileBytes.h"
#include "imagefiles/JpegImage.h"
#include "imagefiles/PictureFiles.h"
#include "mosaic/SquareCrop.h"
#include "raster/RectUtils.h"

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
  codec.JpegScale =
      options.FastJpeg && HasFormatExtension(TPictureFormat::Jpeg, path) ? FastJpegScale(path, options.CellSize) : 0;
  TDecodedPicture decoded;
  if (!DecodePictureFile(path, decoded, codec)) {
    error = decoded.Error;
    return std::nullopt;
  }
  TBitmap picture = std::move(decoded.Bitmap);
  // A picture too large to convert or square is a file that cannot be
  // loaded, like one whose decoding ran out of memory.
  try {
    if (options.CropSquare) return CropToSquare(picture, options.CellSize);
    picture.SetPixelFormat(pf24bit);
    ScaleBitmap(options.CellSize, options.CellSize, picture);
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

  // The square of file i (waiting for it), or nullopt with the reason in
  // error when it cannot be read. Rethrows an exception raised while making
  // it (out of memory).
  std::optional<TBitmap> Take(size_t i, QString& error) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_results[i].done; });
    Result r = std::move(m_results[i]);
    m_consumed = i + 1;
    lock.unlock();
    m_changed.notify_all();
    if (r.error) std::rethrow_exception(r.error);
    error = r.reason;
    return std::move(r.square);
  }

 private:
  struct Result {
    bool done = false;
    std::optional<TBitmap> square;
    QString reason;
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
        r.square = MakeSquare(m_files[qsizetype(i)], m_options, r.reason);
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

QString NoPictureFileReason() { return QStringLiteral("holds no PNG, JPEG, BMP or GIF file"); }

void WarnNoThumbnail(const QString& folder, const QString& why) {
  MyMessageDlg(QStringLiteral("No thumbnail in the list !\nFolder \"%1\": %2").arg(folder, why), mkWarning, btOk);
}

TThumbnailLoadResult LoadThumbnails(TThumbnailList& list, const QString& folder, const TThumbnailLoadOptions& options,
                                    const std::function<void(int)>& count) {
  list.Clear();
  list.SetHeight(options.CellSize);
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
  const int threads = options.Threads > 0 ? options.Threads : int(std::max(1u, std::thread::hardware_concurrency()));
  if (threads == 1) {
    for (const QString& path : files) {
      QString error;
      std::optional<TBitmap> square = MakeSquare(path, options, error);
      if (!add(path, square, error)) break;
    }
  } else {
    TOrderedDecoder decoder(files, options, std::min<int>(threads, int(std::max<qsizetype>(files.size(), 1))));
    for (qsizetype i = 0; i < files.size(); ++i) {
      QString error;
      std::optional<TBitmap> square = decoder.Take(size_t(i), error);
      if (!add(files[i], square, error)) break;
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
    WarnNoThumbnail(folder, why);
  }
  return result;
}
