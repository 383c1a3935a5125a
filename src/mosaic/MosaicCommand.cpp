#include "mosaic/MosaicCommand.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <new>
#include <optional>

#include "app/MyMsgDlg.h"
#include "raster/Lanczos.h"
#include "raster/RectUtils.h"

int CheckSizeLimit(int cellSize) {
  switch (cellSize) {
    case 15: return 1200;
    case 20: return 1600;
    case 40: return 3200;
    default: return 800;
  }
}

bool SaveUndoCopy(const TBitmap& working, TBitmap& undo) {
  try {
    undo.Assign(&working);
    // A copy shares pixels until written; make it real now so that running
    // out of memory shows here and not in the middle of the command.
    if (!undo.Empty()) undo.ScanLine(0);
    return true;
  } catch (const std::bad_alloc&) {
    undo.Assign(nullptr);
    MyMessageDlg(QStringLiteral(" Not enougth memory for undo !"), mkWarning, btOk);
    return false;
  }
}

namespace {
// Beside the executable (a build tree) or, for an installed program, in its
// data folder; beside the executable when neither exists.
QString DefaultThumbnailsFolder() {
  const QString exeDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
  const QString name = QString::fromLatin1(DefaultThumbnailsFolderName);
  const QString beside = QDir(exeDir).filePath(name);
  if (QDir(beside).exists()) return beside;
  const QString installed = QDir::cleanPath(QDir(exeDir).filePath(QStringLiteral("../share/tesselune/") + name));
  return QDir(installed).exists() ? installed : beside;
}
}  // namespace

TMosaicCommand::TMosaicCommand() : ThumbnailsFolder(DefaultThumbnailsFolder()) {}

void TMosaicCommand::CheckImageSize(TBitmap& working, const TBitmap& undo) {
  const int limit = CheckSizeLimit(CellSize);
  if (working.Width() >= limit || working.Height() >= limit) return;
  int w = working.Width(), h = working.Height();
  FitInBox(w, h, limit, limit);
  ResampleBitmap(w, h, undo, working);
  if (Callbacks.RefreshView) Callbacks.RefreshView();
}

void TMosaicCommand::LoadThumbnails() { LoadFolder(CellSize); }

QString TMosaicCommand::LoadKey(int cell, bool library) const {
  QString key = QStringLiteral("%1|%2|%3").arg(ThumbnailsFolder).arg(cell).arg(int(FastJpeg));
  if (library) key += QStringLiteral("|library|%1|%2|%3").arg(int(CropSquare)).arg(int(Recursive)).arg(int(UseCache));
  return key;
}

void TMosaicCommand::LoadFolder(int cell) {
  TThumbnailLoadOptions options;
  options.CellSize = cell;
  options.FastJpeg = FastJpeg;
  options.Threads = LoadThreads;
  LastLoad = ::LoadThumbnails(ImgVignettes, ThumbnailsFolder, options, Callbacks.ShowThumbnailCount);
  ThumbnailsStale = false;
  m_loadedKey = LoadKey(cell, false);
}

bool TMosaicCommand::Execute(TBitmap& working, TBitmap& undo) { return Run(working, &undo); }

bool TMosaicCommand::Execute(TBitmap& working) { return Run(working, nullptr); }

bool TMosaicCommand::Run(TBitmap& working, TBitmap* undo) {
  struct WaitGuard {
    const TMosaicCallbacks& c;
    ~WaitGuard() {
      if (c.EndWait) c.EndWait();
    }
  };
  if (Callbacks.BeginWait) Callbacks.BeginWait(QStringLiteral("Processing..."));
  WaitGuard guard{Callbacks};
  if (undo) {
    if (Callbacks.SaveUndo)
      Callbacks.SaveUndo();
    else
      SaveUndoCopy(working, *undo);
    if (CheckSize) CheckImageSize(working, *undo);
  } else if (CheckSize) {
    // The enlargement reads the picture as it was through a shared
    // reference: nothing is copied, and only a small picture is resampled.
    const TBitmap before(working);
    CheckImageSize(working, before);
  }
  if (Scale > 1) {
    TBitmap larger;
    if (!SmoothResampleBitmap(working.Width() * Scale, working.Height() * Scale, working, larger)) return false;
    working.Assign(&larger);
    if (Callbacks.RefreshView) Callbacks.RefreshView();
  }
  const int cell = CellSize * std::max(Scale, 1);
  // A list loaded another way, or at another scale, is loaded again.
  const bool library = LibraryMode();
  if (ThumbnailsStale || LoadKey(cell, library) != m_loadedKey) {
    if (library)
      LoadLibrary(cell);
    else
      LoadFolder(cell);
  }
  if (!MatchColours) return BuildMosaic(working, ImgVignettes, cell, Antialias, Callbacks.ShowProgress, Random);
  TMatchOptions match;
  match.CellSize = cell;
  match.RepeatDistance = RepeatDistance;
  match.TintLimit = TintLimit;
  match.Random = Random;
  return BuildMatchedMosaic(working, ImgVignettes, m_library, match, Callbacks.ShowProgress);
}

bool TMosaicCommand::OutputSize(int width, int height, std::int64_t& outWidth, std::int64_t& outHeight) const {
  int w = width, h = height;
  const int limit = CheckSizeLimit(CellSize);
  if (CheckSize && w > 0 && h > 0 && w < limit && h < limit) FitInBox(w, h, limit, limit);
  outWidth = std::int64_t(w) * std::max(Scale, 1);
  outHeight = std::int64_t(h) * std::max(Scale, 1);
  return outWidth <= MaxPictureSide && outHeight <= MaxPictureSide && outWidth * outHeight <= MaxPicturePixels;
}

void TMosaicCommand::LoadLibrary(int cell) {
  TPhotoLibraryOptions options;
  options.Load.CellSize = cell;
  options.Load.FastJpeg = FastJpeg;
  options.Load.Threads = LoadThreads;
  options.Load.CropSquare = CropSquare;
  options.Recursive = Recursive;
  std::optional<TThumbnailCache> cache;
  if (UseCache) {
    cache.emplace(CacheFile.isEmpty() ? TThumbnailCache::DefaultFile() : CacheFile);
    options.Cache = &*cache;
  }
  std::vector<TTileDescriptor> descriptors;
  LastLibraryLoad = LoadPhotoLibrary(ImgVignettes, descriptors, ThumbnailsFolder, options, Callbacks.ShowFileProgress);
  // Described once per load, not at every build.
  m_library = TMatchLibrary(std::move(descriptors));
  if (Callbacks.ShowThumbnailCount) Callbacks.ShowThumbnailCount(ImgVignettes.Count());
  ThumbnailsStale = false;
  m_loadedKey = LoadKey(cell, true);
  if (ImgVignettes.Count() > 0) return;
  const QFileInfo folder(ThumbnailsFolder);
  QString reason;
  if (!folder.exists())
    reason = QStringLiteral("no such folder");
  else if (!folder.isDir())
    reason = QStringLiteral("not a folder");
  else if (LastLibraryLoad.Found == 0)
    reason = QStringLiteral("holds no PNG, JPEG, BMP or GIF file");
  else
    reason = QStringLiteral("none of its %1 pictures can be read").arg(LastLibraryLoad.Found);
  MyMessageDlg(QStringLiteral("No thumbnail in the list !\nFolder \"%1\": %2").arg(ThumbnailsFolder, reason), mkWarning,
               btOk);
}

void TMosaicCommand::CellSizeTextChanged(const QString& text) {
  bool ok = false;
  const int value = text.left(2).toInt(&ok);
  if (!ok || value <= 0 || value == CellSize) return;
  CellSize = value;
  ThumbnailsStale = true;
}

void TMosaicCommand::FolderChosen(const QString& folder) {
  if (folder.isEmpty()) return;
  ThumbnailsFolder = folder;
  ThumbnailsStale = true;
}

QString TMosaicCommand::FolderChooserStart() const {
  return QDir(ThumbnailsFolder).exists() ? ThumbnailsFolder : QDir::currentPath();
}
