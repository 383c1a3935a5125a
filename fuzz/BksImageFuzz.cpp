// Feeds arbitrary bytes to the selection file reader: any outcome but a mask
// picture or the load error is a fault. The mask is kept small so that each
// input runs quickly; the size checks themselves are the reader's.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "display/ShapeManager.h"
#include "imagefiles/BksImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ShapeFileErrors = false;  // the manager's own read is fuzzed too: no message output
  TShapeManager shapes;
  TMyShape kind;
  TRect bounds;
  shapes.LoadFromStream(TBytes(data, size), kind, bounds);

  TBksImage image;
  image.Options.PixelLimit = 1 << 20;
  try {
    image.LoadFromBytes(TBytes(data, size));
  } catch (const EImageError&) {
    return 0;
  }
  const TBitmap& b = image.Bitmap();
  if (b.PixelFormat() != pf24bit || b.Empty()) std::abort();
  return 0;
}
