#pragma once
// Loading a whole library of photographs for the colour-matched mosaic:
// nested folders if asked, every readable photo squared and described, a file
// that cannot be read skipped and counted (never the end of the load), and
// the squares kept in the lasting cache so that the next run decodes only
// what changed.
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "mosaic/MatchDescriptor.h"
#include "mosaic/ThumbnailCache.h"
#include "mosaic/ThumbnailLibrary.h"
#include "mosaic/ThumbnailList.h"

struct TPhotoLibraryOptions {
  TThumbnailLoadOptions Load;
  // Also the photos of sub-folders, at any depth.
  bool Recursive = false;
  // None: every photo is decoded.
  TThumbnailCache* Cache = nullptr;
};

struct TPhotoLibraryLoad {
  int Found = 0;               // photo files found
  int Skipped = 0;             // of them, files that could not be read
  QStringList SkippedFiles;    // those files, full paths, in load order
  QStringList SkippedReasons;  // why each could not be read
  int FromCache = 0;           // squares taken from the cache
  bool Cancelled = false;      // stopped by the caller: list left empty
  QStringList Loaded;          // the photos in the list, full paths, in its order
};

// How many skipped files a one-line report names.
constexpr int NamedSkippedFiles = 5;

// The photo files of folder (the thumbnail extensions, any case): the
// folder's own files in name order, then, when recursive, each sub-folder's
// in name order, depth first. A folder reached twice (a link) is read once.
QStringList FindPhotos(const QString& folder, bool recursive);

// Clears list and descriptors, sizes the list to the cell and loads every
// readable photo of folder, in FindPhotos order. progress(done, found) is
// called on the calling thread as files are done; cancelled is asked after
// each: true decodes no further file, keeps the squares decoded so far in
// the cache, and leaves list and descriptors empty.
TPhotoLibraryLoad LoadPhotoLibrary(TThumbnailList& list, std::vector<TTileDescriptor>& descriptors,
                                   const QString& folder, const TPhotoLibraryOptions& options,
                                   const std::function<void(int done, int found)>& progress = nullptr,
                                   const std::function<bool()>& cancelled = nullptr);
