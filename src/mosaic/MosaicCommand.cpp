#include "mosaic/MosaicCommand.h"

#include <QCoreApplication>
#include <QDir>
#include <new>

#include "app/MyMsgDlg.h"
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

void TMosaicCommand::LoadThumbnails() {
  TThumbnailLoadOptions options;
  options.CellSize = CellSize;
  options.FastJpeg = FastJpeg;
  options.Threads = LoadThreads;
  LastLoad = ::LoadThumbnails(ImgVignettes, ThumbnailsFolder, options, Callbacks.ShowThumbnailCount);
  ThumbnailsStale = false;
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
  if (ThumbnailsStale) LoadThumbnails();
  return BuildMosaic(working, ImgVignettes, CellSize, Antialias, Callbacks.ShowProgress, Random);
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
