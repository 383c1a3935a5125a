#include "imagefiles/BKImage.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view kSignature = "Brindlemark Image";
constexpr std::string_view kThumbnailMark = "Thumbnail";
constexpr std::size_t kHeaderTextSize = 256;
constexpr std::int32_t kMaxNameLength = 256;  // the editor's name buffer
constexpr std::size_t kImageSectionGap = 38;

// Reads the file's fields in order; running out of data is a load error.
class TReader {
 public:
  explicit TReader(TBytes data) : m_data(data) {}

  TBytes Take(std::size_t n) {
    if (n > m_data.size() - m_pos) throw EImageError("BKI: unexpected end of data");
    const TBytes part = m_data.subspan(m_pos, n);
    m_pos += n;
    return part;
  }
  void Skip(std::size_t n) { Take(n); }
  std::uint8_t Byte() { return Take(1)[0]; }
  std::int32_t Int32() {
    const TBytes b = Take(4);
    return std::int32_t(std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
                        std::uint32_t(b[3]) << 24);
  }
  bool Matches(std::string_view text) {
    const TBytes b = Take(text.size());
    return std::memcmp(b.data(), text.data(), text.size()) == 0;
  }
  std::size_t Remaining() const { return m_data.size() - m_pos; }

 private:
  TBytes m_data;
  std::size_t m_pos = 0;
};

TBKProperties ReadHeader(TReader& in) {
  if (!in.Matches(kSignature)) throw EImageError("BKI: not a native image file");
  TBKProperties p;
  p.HeaderByte = in.Byte();
  p.Width = in.Int32();
  p.Height = in.Int32();
  p.Number = in.Int32() / 1000.0;
  in.Skip(4);
  const TBytes text = in.Take(kHeaderTextSize);
  const auto* chars = reinterpret_cast<const char*>(text.data());
  p.Text.assign(chars, std::find(chars, chars + text.size(), '\0'));
  p.Value = in.Int32();
  return p;
}

// Width, height, then rows from the top, each width pixels of blue, green,
// red without padding. The size is checked, and the pixels must all be there,
// before anything is allocated.
TBitmap ReadPixelBlock(TReader& in) {
  const std::int32_t width = in.Int32(), height = in.Int32();
  CheckPictureSize(width, height);
  const std::size_t rowBytes = std::size_t(width) * 3;
  if (std::size_t(height) > in.Remaining() / rowBytes) throw EImageError("BKI: pixel data is cut short");
  TBitmap picture(width, height, pf24bit);
  for (int y = 0; y < height; ++y) std::memcpy(picture.ScanLine(y), in.Take(rowBytes).data(), rowBytes);
  return picture;
}

}  // namespace

void TBKImage::LoadFromBytes(TBytes data) {
  if (ThumbnailOnly) {
    LoadThumbnailFromBytes(data);
    return;
  }
  TReader in(data);
  TBKProperties props = ReadHeader(in);
  // The thumbnail section, skipped by its size (which counts its own 4 bytes).
  const std::int32_t sectionSize = in.Int32();
  if (sectionSize < 4) throw EImageError("BKI: invalid thumbnail section size");
  in.Skip(std::size_t(sectionSize) - 4);
  in.Skip(4);
  const std::int32_t nameLength = in.Int32();
  if (nameLength < 0 || nameLength > kMaxNameLength) throw EImageError("BKI: invalid name length");
  in.Skip(std::size_t(nameLength));
  in.Skip(kImageSectionGap);
  TBitmap picture = ReadPixelBlock(in);
  picture.Transparent = in.Byte() != 0;
  picture.SetTransparentColor(TColor(std::uint32_t(in.Int32())));
  Properties = std::move(props);
  m_bitmap.Assign(&picture);
}

void TBKImage::LoadThumbnailFromBytes(TBytes data) {
  TReader in(data);
  TBKProperties props = ReadHeader(in);
  // The preview reports this size as the picture's: it must be one we could load.
  CheckPictureSize(props.Width, props.Height);
  in.Skip(4);  // the section size
  if (!in.Matches(kThumbnailMark)) throw EImageError("BKI: thumbnail mark missing");
  in.Skip(4);
  const TBitmap thumbnail = ReadPixelBlock(in);
  Properties = std::move(props);
  m_bitmap.Assign(&thumbnail);
}
