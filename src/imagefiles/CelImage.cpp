#include "imagefiles/CelImage.h"

#include "imagefiles/CodecHelpers.h"

#include <cstring>

namespace {

constexpr std::size_t HeaderSize = 32;
constexpr std::size_t PaletteSize = 256 * 3;

[[noreturn]] void Fail(const char* what) { throw EImageError(std::string("Autodesk: ") + what); }

}  // namespace

void TCelImage::ReadBytes(TBytes data) {
  if (data.size() < 2) Fail("not an Animator picture");
  const unsigned magic = ReadLE16(data, 0);
  if (magic != 0x9119) {
    if (magic == 0x9500 || (data.size() >= 6 && ReadLE16(data, 4) == 0xAF12))
      Fail("Animator Pro pictures are not supported");
    Fail("not an Animator picture");
  }
  if (data.size() < HeaderSize) Fail("the header is truncated");

  const int width = int(ReadLE16(data, 2)), height = int(ReadLE16(data, 4));
  CheckPictureSize(width, height);
  if (data[10] != 8) Fail("only 8-bit pictures are supported");
  if (data[11] != 0) Fail("compressed pictures are not supported");
  const std::size_t pixels = std::size_t(width) * std::size_t(height);
  const std::uint32_t stated = ReadLE32(data, 12);
  if (stated != 0 && stated != pixels) Fail("the pixel data size does not match the picture size");
  if (data.size() < HeaderSize + PaletteSize + pixels) Fail("the file is truncated");

  const std::uint8_t* pal = data.data() + HeaderSize;
  bool sixBit = true;
  for (std::size_t i = 0; i < PaletteSize; ++i) sixBit = sixBit && pal[i] <= 63;
  // 6-bit levels widen to 8 bits with the top bits repeated below, so 63 is white.
  const auto level = [sixBit](std::uint8_t v) { return sixBit ? (v << 2) | (v >> 4) : int(v); };
  QList<QRgb> table;
  table.reserve(256);
  for (int i = 0; i < 256; ++i) table.append(qRgb(level(pal[3 * i]), level(pal[3 * i + 1]), level(pal[3 * i + 2])));

  QImage image(width, height, QImage::Format_Indexed8);
  if (image.isNull()) Fail("not enough memory for the picture");
  image.setColorTable(table);
  const std::uint8_t* src = pal + PaletteSize;
  for (int y = 0; y < height; ++y)
    std::memcpy(image.scanLine(y), src + std::size_t(y) * std::size_t(width), std::size_t(width));

  TBitmap result;
  result.SetImage(std::move(image), pf8bit);
  m_bitmap = std::move(result);
}
