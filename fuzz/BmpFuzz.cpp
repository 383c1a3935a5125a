// Feeds arbitrary bytes to the BMP reader: any outcome but a clean picture or
// the load error is a fault.
#include <cstddef>
#include <cstdint>

#include "imagefiles/BmpImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TBmpImage reader;
  try {
    reader.LoadFromBytes(TBytes(data, size));
  } catch (const EImageError&) {
    return 0;
  }
  const TBitmap& b = reader.Bitmap();
  // Read pixels through the colour table so bad indexes would show; a sample
  // of rows on large pictures keeps each run short.
  volatile std::uint32_t sink = 0;
  const int step = b.Height() > 256 ? b.Height() / 256 : 1;
  for (int y = 0; y < b.Height(); y += step)
    for (int x = 0; x < b.Width() && x < 4096; ++x) sink = sink + b.Pixel(x, y);
  return 0;
}
