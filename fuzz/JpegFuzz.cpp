// Feeds arbitrary bytes to the JPEG reader (at a scale taken from the input),
// to its header read and to the header probe: any outcome but a clean
// picture or the load error is a fault.
#include <cstddef>
#include <cstdint>

#include "imagefiles/JpegImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int width = 0, height = 0;
  ReadJpegSize(TBytes(data, size), width, height);
  if (width < 0 || height < 0 || width > 65535 || height > 65535) __builtin_trap();

  TJpegImage jpeg;
  // Keeps a small hostile file from claiming gigabytes of pixels.
  jpeg.Options.PixelLimit = std::int64_t(1) << 22;
  // The scale comes from the length, so the bytes themselves stay a JPEG.
  jpeg.Options.JpegScale = int(size % 4);
  // The quick header read agrees with a full-size decode.
  TPictureHeader header;
  int told = 0;
  try {
    told = jpeg.ReadHeader(TBytes(data, size), header) ? 1 : 0;
  } catch (const EImageError&) {
    told = -1;
  }
  try {
    jpeg.LoadFromBytes(TBytes(data, size));
  } catch (const EImageError&) {
    return 0;
  }
  const TBitmap& b = jpeg.Bitmap();
  if (b.Empty() || told < 0) __builtin_trap();
  if (told > 0 && jpeg.Options.JpegScale == 0 && (header.Width != b.Width() || header.Height != b.Height()))
    __builtin_trap();
  // Touch every pixel so a short decode would show.
  volatile std::uint32_t sink = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) sink = sink + b.Pixel(x, y);
  return 0;
}
