// Feeds arbitrary bytes to the native image reader, both the full read and
// the preview's thumbnail read: any outcome but a 24-bit picture or the load
// error is a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "imagefiles/BKImage.h"

namespace {

void Check(const TBitmap& b) {
  if (b.PixelFormat() != pf24bit || b.Empty()) std::abort();
  volatile std::uint32_t sink = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) sink = sink + b.Pixel(x, y);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (bool thumbnail : {false, true}) {
    TBKImage image;
    image.Options.ThumbnailOnly = thumbnail;
    try {
      image.LoadFromBytes(TBytes(data, size));
    } catch (const EImageError&) {
      continue;
    }
    Check(image.Bitmap());
  }
  return 0;
}
