#pragma once
// What a reader's fuzz target does with one input: decode it, take the load
// error as a clean outcome, and otherwise read the picture's pixels through
// its colour table so a bad index or a short buffer would show. A sample of
// rows on large pictures keeps each run short.
#include <cstdint>

#include "imagefiles/Graphic.h"

inline void TouchPixels(const TBitmap& b) {
  volatile std::uint32_t sink = 0;
  const int step = b.Height() > 256 ? b.Height() / 256 : 1;
  for (int y = 0; y < b.Height(); y += step)
    for (int x = 0; x < b.Width() && x < 4096; ++x) sink = sink + b.Pixel(x, y);
}

// False when the reader refused the data with the load error. A reader's
// quick header read must agree with its full read: the same size, and no
// refusal of a file the full read takes.
inline bool FuzzRead(TGraphic& reader, TBytes data) {
  TPictureHeader header;
  int told = 0;  // 1 the header read gave a size, -1 it refused the file
  try {
    told = reader.ReadHeader(data, header) ? 1 : 0;
  } catch (const EImageError&) {
    told = -1;
  }
  try {
    reader.LoadFromBytes(data);
  } catch (const EImageError&) {
    return false;
  }
  const TBitmap& b = reader.Bitmap();
  if (told < 0 || (told > 0 && (header.Width != b.Width() || header.Height != b.Height()))) __builtin_trap();
  TouchPixels(b);
  return true;
}
