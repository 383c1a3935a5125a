#pragma once
// ResizePicture: the "Image size..." command without a window. The
// document's picture takes a new size as one undoable change; the caller
// gathers the size and shows what came of it.
#include <cstdint>

#include "document/Document.h"

enum class TResizeResult : std::uint8_t {
  Done,  // the picture has the new size; the undo gives the old one back
  // The undo copy could not be made (NoMemoryForUndoText): nothing was
  // resized and the change is not counted.
  NoMemoryForUndo,
  NoPicture,    // the document holds no picture: nothing was done
  SizeRefused,  // a side not positive, or beyond the picture limits: nothing was done
  NoMemory,     // memory ran out for the resized picture: the change was given up
};

// Makes the resized picture into target: SmoothResampleBitmap (Lanczos-3, a
// 24-bit result) or, not smooth, ResampleBitmap (nearest pixel, the pixel
// format and transparency kept). False when the size is refused; throws
// std::bad_alloc when memory runs out.
bool ResampleForResize(int newWidth, int newHeight, bool smooth, const TBitmap& source, TBitmap& target);
using TResample = bool (*)(int newWidth, int newHeight, bool smooth, const TBitmap& source, TBitmap& target);

// Resizes the document's picture to newWidth x newHeight through resample
// (tests give their own to see it fail). The snapshot comes first and the
// change is counted; the resized picture is made aside and takes the
// picture's place only when whole, so every result but Done leaves the
// picture as it was, with the change given up.
TResizeResult ResizePicture(TDocument& document, int newWidth, int newHeight, bool smooth,
                            TResample resample = ResampleForResize);
