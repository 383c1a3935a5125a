// Feeds arbitrary bytes to the TIFF reader: any outcome but a clean picture
// or the load error is a fault. A picture that loads is written back out, so
// the writer sees every pixel format the reader produces.
#include <cstddef>
#include <cstdint>

#include "imagefiles/TiffImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TTiffImage tiff;
  // Keeps a small hostile file from claiming gigabytes of pixels.
  tiff.Options.PixelLimit = std::int64_t(1) << 22;
  try {
    tiff.LoadFromBytes(TBytes(data, size));
  } catch (const EImageError&) {
    return 0;
  }
  const TBitmap& b = tiff.Bitmap();
  if (b.Empty() || (b.PixelFormat() != pf24bit && b.PixelFormat() != pf32bit)) __builtin_trap();
  TByteBuffer out;
  WriteTiff(out, b);
  return 0;
}
