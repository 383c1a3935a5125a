#include "mosaic/MosaicCommand.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <new>
#include <optional>

#include "app/FoncUtils.h"
#include "mosaic/MosaicBands.h"
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

TMosaicCommand::TMosaicCommand() : ThumbnailsFolder(BundledPath(QString::fromLatin1(DefaultThumbnailsFolderName))) {}

bool TMosaicCommand::CheckImageSize(TBitmap& working, const TBitmap& before) {
  const int limit = CheckSizeLimit(CellSize);
  if (working.Width() >= limit || working.Height() >= limit) return false;
  int w = working.Width(), h = working.Height();
  FitInBox(w, h, limit, limit);
  ResampleBitmap(w, h, before, working);
  return true;
}

QString TMosaicCommand::PhotoFolder() const {
  if (!LibraryMode() || !PreferSamplePhotos) return ThumbnailsFolder;
  const QString bundled = BundledPath(QString::fromLatin1(DefaultThumbnailsFolderName));
  if (QFileInfo(ThumbnailsFolder) != QFileInfo(bundled)) return ThumbnailsFolder;
  const QString sample = BundledPath(QString::fromLatin1(SamplePhotosFolderName));
  return QFileInfo(sample).isDir() ? sample : ThumbnailsFolder;
}

QString TMosaicCommand::LoadKey(TTileSize tile, bool library) const {
  QString key =
      QStringLiteral("%1|%2|%3").arg(library ? PhotoFolder() : ThumbnailsFolder).arg(tile.Width).arg(int(FastJpeg));
  if (tile.Height != tile.Width) key += QStringLiteral("|height|%1").arg(tile.Height);
  if (library) key += QStringLiteral("|library|%1|%2|%3").arg(int(CropSquare)).arg(int(Recursive)).arg(int(UseCache));
  return key;
}

bool TMosaicCommand::LoadFolder(int cell, const TMosaicProgress& progress, TMosaicNotes& notes) {
  TThumbnailLoadOptions options;
  options.CellSize = cell;
  options.FastJpeg = FastJpeg;
  options.Threads = LoadThreads;
  m_load = ::LoadThumbnails(ImgVignettes, ThumbnailsFolder, options, progress.ShowThumbnailCount,
                            progress.ShowThumbnailFiles, progress.Cancelled);
  m_libraryLoad = {};
  notes.NoThumbnail = m_load.NoThumbnail;
  if (m_load.Cancelled) {
    ThumbnailsStale = true;
    m_loadedKey.clear();
    return false;
  }
  ThumbnailsStale = false;
  m_loadedKey = LoadKey({cell, cell}, false);
  return true;
}

TMosaicResult TMosaicCommand::Execute(TDocument& document, const TMosaicProgress& progress) {
  TMosaicResult result;
  if (StopsForSubFolders(result)) return result;
  // A command that can be cancelled keeps the undo copy it replaces, to put
  // it back when it is: the cost of one picture while it runs.
  const TBitmap previousUndo = progress.Cancelled ? document.UndoCopy() : TBitmap();
  result.Notes.NoMemoryForUndo = !document.SnapshotBeforeChange();
  try {
    if (CheckSize) {
      if (!document.UndoCopy().Empty()) {
        CheckImageSize(document.Picture(), document.UndoCopy());
      } else {
        // Without an undo copy the enlargement reads the picture through a
        // shared reference, as the tool's run does.
        const TBitmap before(document.Picture());
        CheckImageSize(document.Picture(), before);
      }
    }
    Run(document.Picture(), progress, result);
  } catch (...) {
    document.ChangeAbandoned();
    throw;
  }
  if (!result.Built && result.Cancelled)
    document.ChangeCancelled(previousUndo);
  else if (!result.Built)
    document.ChangeAbandoned();
  if (result.Built) document.ChangeMade();
  return result;
}

TMosaicResult TMosaicCommand::Execute(TBitmap& working, const TMosaicProgress& progress) {
  TMosaicResult result;
  if (StopsForSubFolders(result)) return result;
  if (CheckSize) {
    // The enlargement reads the picture as it was through a shared
    // reference, released before the build: nothing is copied, and only a
    // small picture is resampled.
    const TBitmap before(working);
    CheckImageSize(working, before);
  }
  Run(working, progress, result);
  return result;
}

TTileSize TMosaicCommand::TileFor(int scale) const {
  // The tile's sides at the unscaled size, then scaled: a scaled mosaic has
  // the grid of the unscaled one. A square tile is cell x cell.
  const TTileSize base = TileSize(CellSize, TileAspect);
  return {base.Width * std::max(scale, 1), base.Height * std::max(scale, 1)};
}

bool TMosaicCommand::LoadFor(TTileSize tile, const TMosaicProgress& progress, TMosaicResult& result) {
  const bool library = LibraryMode();
  // A list loaded another way, or at another scale, is loaded again.
  if (ThumbnailsStale || LoadKey(tile, library) != m_loadedKey) {
    result.Loaded = true;
    const bool loaded = library ? LoadLibrary(tile, progress, result.Notes)
                                : LoadFolder(CellSize * std::max(Scale, 1), progress, result.Notes);
    if (!loaded) {
      result.Cancelled = true;
      Describe(result, tile);
      return false;
    }
  }
  Describe(result, tile);
  return true;
}

void TMosaicCommand::Describe(TMosaicResult& result, TTileSize tile) const {
  result.Library = LibraryMode();
  result.Load = m_load;
  result.LibraryLoad = m_libraryLoad;
  result.PhotoFolder = result.Library ? PhotoFolder() : ThumbnailsFolder;
  result.Photos = ImgVignettes.Count();
  if (MatchColours) result.Cell = tile;
  result.TintLimit = TintLimit;
  result.TintMode = TintMode;
  result.RepeatDistance = RepeatDistance;
}

TMatchOptions TMosaicCommand::MatchOptionsFor(TTileSize tile, const TMosaicProgress& progress) const {
  TMatchOptions match;
  match.CellSize = tile.Width;
  match.CellHeight = tile.Height;
  match.RepeatDistance = RepeatDistance;
  match.TintLimit = TintLimit;
  match.Tint = TintMode;
  match.Random = Random;
  match.MaxUses = MaxUses;
  match.UseAll = UseAll;
  match.Cancelled = progress.Cancelled;
  return match;
}

bool TMosaicCommand::Run(TBitmap& working, const TMosaicProgress& progress, TMosaicResult& result) {
  if (Scale > 1) {
    TBitmap larger;
    if (!SmoothResampleBitmap(working.Width() * Scale, working.Height() * Scale, working, larger)) return false;
    working.Assign(&larger);
  }
  result.Width = working.Width();
  result.Height = working.Height();
  const TTileSize tile = TileFor(Scale);
  if (!LoadFor(tile, progress, result)) return false;
  if (!MatchColours)
    result.Built = BuildMosaic(working, ImgVignettes, tile.Width, tile.Height, Antialias, progress.ShowProgress, Random,
                               progress.Cancelled);
  else
    result.Built = BuildMatchedMosaic(working, ImgVignettes, m_library, MatchOptionsFor(tile, progress),
                                      progress.ShowProgress, &result.Placement, &result.Quality);
  result.Cancelled = !result.Built && progress.Cancelled && progress.Cancelled();
  return result.Built;
}

TMosaicResult TMosaicCommand::ExecuteInBands(const TBitmap& target, TBandSink& sink, const TMosaicProgress& progress) {
  TMosaicResult result;
  if (StopsForSubFolders(result)) return result;
  // The picture is enlarged to about 80 cells as in memory: a small
  // picture, made whole.
  TBitmap picture(target);
  if (CheckSize) CheckImageSize(picture, target);
  const TTargetRows rows(picture, Scale);
  if (!rows.Valid()) return result;
  result.Width = std::int64_t(picture.Width()) * Scale;
  result.Height = std::int64_t(picture.Height()) * Scale;
  result.InBands = true;
  const TTileSize tile = TileFor(Scale);
  if (!LoadFor(tile, progress, result)) return result;
  const TBandLayout layout{BandCellRows};
  if (!MatchColours)
    result.Built = DrawMosaicInBands(rows, ImgVignettes, tile.Width, tile.Height, Antialias, Random, sink,
                                     progress.ShowProgress, progress.Cancelled, layout);
  else
    result.Built = DrawMatchedMosaicInBands(rows, ImgVignettes, m_library, MatchOptionsFor(tile, progress), sink,
                                            progress.ShowProgress, &result.Placement, &result.Quality, layout);
  result.Cancelled = !result.Built && progress.Cancelled && progress.Cancelled();
  return result;
}

bool TMosaicCommand::StopsForSubFolders(TMosaicResult& result) const {
  const bool loadDue = ThumbnailsStale || LoadKey(TileFor(Scale), LibraryMode()) != m_loadedKey;
  if (!loadDue || Recursive || !FindPhotos(PhotoFolder(), false).isEmpty()) return false;
  const qsizetype below = FindPhotos(PhotoFolder(), true).size();
  if (below == 0) return false;
  result.Notes.SubFolderQuestion =
      QStringLiteral("No thumbnail in the list !\nFolder \"%1\": %2\n%3 pictures in sub-folders: include sub-folders?")
          .arg(PhotoFolder(), NoPictureFileReason())
          .arg(below);
  return true;
}

bool TMosaicCommand::OutputSize(int width, int height, std::int64_t& outWidth, std::int64_t& outHeight) const {
  int w = width, h = height;
  const int limit = CheckSizeLimit(CellSize);
  if (CheckSize && w > 0 && h > 0 && w < limit && h < limit) FitInBox(w, h, limit, limit);
  outWidth = std::int64_t(w) * std::max(Scale, 1);
  outHeight = std::int64_t(h) * std::max(Scale, 1);
  return outWidth <= MaxPictureSide && outHeight <= MaxPictureSide && outWidth * outHeight <= MaxPicturePixels;
}

bool TMosaicCommand::LoadLibrary(TTileSize tile, const TMosaicProgress& progress, TMosaicNotes& notes) {
  TPhotoLibraryOptions options;
  options.Load.CellSize = tile.Width;
  options.Load.CellHeight = tile.Height;
  options.Load.FastJpeg = FastJpeg;
  options.Load.Threads = LoadThreads;
  // A tile of another shape than the square is always cropped to it:
  // squashing a photo into a 16:9 tile distorts it more than into a square.
  options.Load.CropSquare = CropSquare || !TileAspect.Square();
  options.Recursive = Recursive;
  std::optional<TThumbnailCache> cache;
  if (UseCache) {
    cache.emplace(CacheFile.isEmpty() ? TThumbnailCache::DefaultFile() : CacheFile);
    options.Cache = &*cache;
  }
  std::vector<TTileDescriptor> descriptors;
  m_libraryLoad = LoadPhotoLibrary(ImgVignettes, descriptors, PhotoFolder(), options, progress.ShowFileProgress,
                                   progress.Cancelled);
  m_load = {};
  if (m_libraryLoad.Cancelled) {
    m_library = TMatchLibrary();
    ThumbnailsStale = true;
    m_loadedKey.clear();
    return false;
  }
  // Described once per load, not at every build.
  m_library = TMatchLibrary(std::move(descriptors));
  if (progress.ShowThumbnailCount) progress.ShowThumbnailCount(ImgVignettes.Count());
  ThumbnailsStale = false;
  m_loadedKey = LoadKey(tile, true);
  if (ImgVignettes.Count() > 0) return true;
  const QFileInfo folder(PhotoFolder());
  QString reason;
  if (!folder.exists())
    reason = QStringLiteral("no such folder");
  else if (!folder.isDir())
    reason = QStringLiteral("not a folder");
  else if (m_libraryLoad.Found == 0)
    reason = NoPictureFileReason();
  else
    reason = QStringLiteral("none of its %1 pictures can be read").arg(m_libraryLoad.Found);
  notes.NoThumbnail = NoThumbnailText(PhotoFolder(), reason);
  return true;
}

void TMosaicCommand::CellSizeChosen(int cellSize) {
  if (cellSize <= 0 || cellSize == CellSize) return;
  CellSize = cellSize;
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
