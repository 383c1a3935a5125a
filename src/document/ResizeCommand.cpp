#include "document/ResizeCommand.h"

#include <new>
#include <utility>

#include "raster/Lanczos.h"
#include "raster/RectUtils.h"

bool ResampleForResize(int newWidth, int newHeight, bool smooth, const TBitmap& source, TBitmap& target) {
  if (smooth) return SmoothResampleBitmap(newWidth, newHeight, source, target);
  ResampleBitmap(newWidth, newHeight, source, target);
  return !target.Empty();
}

TResizeResult ResizePicture(TDocument& document, int newWidth, int newHeight, bool smooth, TResample resample) {
  if (document.Picture().Empty()) return TResizeResult::NoPicture;
  // Refused before the snapshot: a size no picture can have is no change.
  if (newWidth < 1 || newHeight < 1 || newWidth > MaxPictureSide || newHeight > MaxPictureSide ||
      std::int64_t(newWidth) * newHeight > MaxPicturePixels)
    return TResizeResult::SizeRefused;
  if (!document.SnapshotBeforeChange()) {
    // Without an undo copy the resize is not made: the picture stays, and is
    // not counted as changed.
    document.ChangeAbandoned();
    return TResizeResult::NoMemoryForUndo;
  }
  // The resize reads the undo copy, which holds the same pixels.
  const TBitmap& before = document.UndoCopy();
  TBitmap resized;
  bool made = false;
  try {
    made = resample(newWidth, newHeight, smooth, before, resized) && !resized.Empty();
  } catch (const std::bad_alloc&) {
    document.ChangeAbandoned();
    return TResizeResult::NoMemory;
  }
  if (!made) {
    document.ChangeAbandoned();
    return TResizeResult::SizeRefused;
  }
  document.Picture() = std::move(resized);
  document.ChangeMade();
  return TResizeResult::Done;
}
