#include "mosaic/MosaicCommand.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <new>
#include <optional>

#include "app/PathAndTextHelpers.h"
#include "mosaic/MatchedMosaic.h"
#include "mosaic/MosaicBands.h"
#include "raster/Lanczos.h"
#include "raster/RectUtils.h"

bool TMosaicCommand::CheckImageSize(TBitmap& working, const TBitmap& before) {
  const int limit = CheckSizeLimit(Options.CellSize);
  if (working.Width() >= limit || working.Height() >= limit) return false;
  int w = working.Width(), h = working.Height();
  FitInBox(w, h, limit, limit);
  ResampleBitmap(w, h, before, working);
  return true;
}

QString TMosaicCommand::PhotoFolder() const {
  if (!LibraryMode() || !PreferSamplePhotos) return Options.ThumbnailsFolder;
  const QString bundled = BundledPath(QString::fromLatin1(DefaultThumbnailsFolderName));
  if (QFileInfo(Options.ThumbnailsFolder) != QFileInfo(bundled)) return Options.ThumbnailsFolder;
  const QString sample = BundledPath(QString::fromLatin1(SamplePhotosFolderName));
  return QFileInfo(sample).isDir() ? sample : Options.ThumbnailsFolder;
}

QString TMosaicCommand::LoadKey(TTileSize tile, bool library) const {
  QString key = QStringLiteral("%1|%2|%3")
                    .arg(library ? PhotoFolder() : Options.ThumbnailsFolder)
                    .arg(tile.Width)
                    .arg(int(Options.FastJpeg));
  if (tile.Height != tile.Width) key += QStringLiteral("|height|%1").arg(tile.Height);
  if (library)
    key += QStringLiteral("|library|%1|%2|%3")
               .arg(int(Options.CropSquare))
               .arg(int(Options.Recursive))
               .arg(int(Options.UseCache));
  return key;
}

bool TMosaicCommand::LoadFolder(int cell, const TMosaicProgress& progress, TMosaicNotes& notes) {
  TThumbnailLoadOptions options;
  options.CellSize = cell;
  options.FastJpeg = Options.FastJpeg;
  options.Threads = LoadThreads;
  m_load = ::LoadThumbnails(ImgVignettes, Options.ThumbnailsFolder, options, progress.ShowThumbnailCount,
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
    if (Options.CheckSize) {
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
  if (Options.CheckSize) {
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
  const TTileSize base = TileSize(Options.CellSize, Options.TileAspect);
  return {base.Width * std::max(scale, 1), base.Height * std::max(scale, 1)};
}

bool TMosaicCommand::LoadFor(TTileSize tile, const TMosaicProgress& progress, TMosaicResult& result) {
  const bool library = LibraryMode();
  // A list loaded another way, or at another scale, is loaded again.
  if (ThumbnailsStale || LoadKey(tile, library) != m_loadedKey) {
    result.Loaded = true;
    const bool loaded = library ? LoadLibrary(tile, progress, result.Notes)
                                : LoadFolder(Options.CellSize * std::max(Options.Scale, 1), progress, result.Notes);
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
  result.PhotoFolder = result.Library ? PhotoFolder() : Options.ThumbnailsFolder;
  result.Photos = ImgVignettes.Count();
  if (Options.MatchColours) result.Cell = tile;
  result.TintLimit = Options.TintLimit;
  result.TintMode = Options.TintMode;
  result.RepeatDistance = Options.RepeatDistance;
}

TMatchOptions TMosaicCommand::MatchOptionsFor(TTileSize tile, const TMosaicProgress& progress) const {
  TMatchOptions match;
  match.CellSize = tile.Width;
  match.CellHeight = tile.Height;
  match.RepeatDistance = Options.RepeatDistance;
  match.TintLimit = Options.TintLimit;
  match.Tint = Options.TintMode;
  match.Random = Random;
  match.MaxUses = Options.MaxUses;
  match.UseAll = Options.UseAll;
  match.Cancelled = progress.Cancelled;
  return match;
}

bool TMosaicCommand::Run(TBitmap& working, const TMosaicProgress& progress, TMosaicResult& result) {
  if (Options.Scale > 1) {
    TBitmap larger;
    if (!SmoothResampleBitmap(working.Width() * Options.Scale, working.Height() * Options.Scale, working, larger))
      return false;
    working.Assign(&larger);
  }
  result.Width = working.Width();
  result.Height = working.Height();
  const TTileSize tile = TileFor(Options.Scale);
  if (!LoadFor(tile, progress, result)) return false;
  if (!Options.MatchColours)
    result.Built = BuildMosaic(working, ImgVignettes, tile.Width, tile.Height, Options.Antialias, progress.ShowProgress,
                               Random, progress.Cancelled);
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
  if (Options.CheckSize) CheckImageSize(picture, target);
  const TTargetRows rows(picture, Options.Scale);
  if (!rows.Valid()) return result;
  result.Width = std::int64_t(picture.Width()) * Options.Scale;
  result.Height = std::int64_t(picture.Height()) * Options.Scale;
  result.InBands = true;
  const TTileSize tile = TileFor(Options.Scale);
  if (!LoadFor(tile, progress, result)) return result;
  const TBandLayout layout{BandCellRows};
  if (!Options.MatchColours)
    result.Built = DrawMosaicInBands(rows, ImgVignettes, tile.Width, tile.Height, Options.Antialias, Random, sink,
                                     progress.ShowProgress, progress.Cancelled, layout);
  else
    result.Built = DrawMatchedMosaicInBands(rows, ImgVignettes, m_library, MatchOptionsFor(tile, progress), sink,
                                            progress.ShowProgress, &result.Placement, &result.Quality, layout);
  result.Cancelled = !result.Built && progress.Cancelled && progress.Cancelled();
  return result;
}

bool TMosaicCommand::StopsForSubFolders(TMosaicResult& result) const {
  const bool loadDue = ThumbnailsStale || LoadKey(TileFor(Options.Scale), LibraryMode()) != m_loadedKey;
  if (!loadDue || Options.Recursive || !FindPhotos(PhotoFolder(), false).isEmpty()) return false;
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
  const int limit = CheckSizeLimit(Options.CellSize);
  if (Options.CheckSize && w > 0 && h > 0 && w < limit && h < limit) FitInBox(w, h, limit, limit);
  outWidth = std::int64_t(w) * std::max(Options.Scale, 1);
  outHeight = std::int64_t(h) * std::max(Options.Scale, 1);
  return outWidth <= MaxPictureSide && outHeight <= MaxPictureSide && outWidth * outHeight <= MaxPicturePixels;
}

bool TMosaicCommand::LoadLibrary(TTileSize tile, const TMosaicProgress& progress, TMosaicNotes& notes) {
  TPhotoLibraryOptions options;
  options.Load.CellSize = tile.Width;
  options.Load.CellHeight = tile.Height;
  options.Load.FastJpeg = Options.FastJpeg;
  options.Load.Threads = LoadThreads;
  // A tile of another shape than the square is always cropped to it:
  // squashing a photo into a 16:9 tile distorts it more than into a square.
  options.Load.CropSquare = Options.CropSquare || !Options.TileAspect.Square();
  options.Recursive = Options.Recursive;
  std::optional<TThumbnailCache> cache;
  if (Options.UseCache) {
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

void TMosaicCommand::OptionsChosen(const TMosaicOptions& options) {
  const TMosaicOptions before = Options;
  Options = options;
  if (options.ThumbnailsFolder.isEmpty()) Options.ThumbnailsFolder = before.ThumbnailsFolder;
  if (options.CellSize <= 0) Options.CellSize = before.CellSize;
  if (Options.ThumbnailsFolder != before.ThumbnailsFolder || Options.CellSize != before.CellSize)
    ThumbnailsStale = true;
}

void TMosaicCommand::CellSizeChosen(int cellSize) {
  if (cellSize <= 0 || cellSize == Options.CellSize) return;
  Options.CellSize = cellSize;
  ThumbnailsStale = true;
}

void TMosaicCommand::FolderChosen(const QString& folder) {
  if (folder.isEmpty()) return;
  Options.ThumbnailsFolder = folder;
  ThumbnailsStale = true;
}

QString TMosaicCommand::FolderChooserStart() const {
  return QDir(Options.ThumbnailsFolder).exists() ? Options.ThumbnailsFolder : QDir::currentPath();
}
