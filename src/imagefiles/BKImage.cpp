#include "imagefiles/BKImage.h"

#include "imagefiles/CodecHelpers.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view kSignature = "Brindlemark Image";
constexpr std::string_view kThumbnailMark = "Thumbnail";
constexpr std::size_t kHeaderTextSize = 256;
constexpr std::int32_t kMaxNameLength = 256;  // the editor's name buffer
constexpr std::size_t kImageSectionGap = 38;

// The file's fields are read in order; running out of data is a load error.
using TReader = TByteCursor;

bool Matches(TReader& in, std::string_view text) {
  const TBytes b = in.Take(text.size());
  return std::memcmp(b.data(), text.data(), text.size()) == 0;
}

TBKProperties ReadHeader(TReader& in) {
  if (!Matches(in, kSignature)) throw EImageError("BKI: not a native image file");
  TBKProperties p;
  p.HeaderByte = in.U8();
  p.Width = in.I32();
  p.Height = in.I32();
  p.Number = in.I32() / 1000.0;
  in.Skip(4);
  const TBytes text = in.Take(kHeaderTextSize);
  const auto* chars = reinterpret_cast<const char*>(text.data());
  p.Text.assign(chars, std::find(chars, chars + text.size(), '\0'));
  p.Value = in.I32();
  return p;
}

// Width, height, then rows from the top, each width pixels of blue, green,
// red without padding. The size is checked, and the pixels must all be there,
// before anything is allocated.
TBitmap ReadPixelBlock(TReader& in) {
  const std::int32_t width = in.I32(), height = in.I32();
  CheckPictureSize(width, height);
  const std::size_t rowBytes = std::size_t(width) * 3;
  if (std::size_t(height) > in.Remaining() / rowBytes) throw EImageError("BKI: pixel data is cut short");
  TBitmap picture(width, height, pf24bit);
  for (int y = 0; y < height; ++y) std::memcpy(picture.ScanLine(y), in.Take(rowBytes).data(), rowBytes);
  return picture;
}

}  // namespace

void TBKImage::ReadBytes(TBytes data) {
  if (Options.ThumbnailOnly) {
    ReadThumbnail(data);
    return;
  }
  TReader in(data);
  TBKProperties props = ::ReadHeader(in);
  // The thumbnail section, skipped by its size (which counts its own 4 bytes).
  const std::int32_t sectionSize = in.I32();
  if (sectionSize < 4) throw EImageError("BKI: invalid thumbnail section size");
  in.Skip(std::size_t(sectionSize) - 4);
  in.Skip(4);
  const std::int32_t nameLength = in.I32();
  if (nameLength < 0 || nameLength > kMaxNameLength) throw EImageError("BKI: invalid name length");
  in.Skip(std::size_t(nameLength));
  in.Skip(kImageSectionGap);
  TBitmap picture = ReadPixelBlock(in);
  picture.Transparent = in.U8() != 0;
  picture.SetTransparentColor(TColor(std::uint32_t(in.I32())));
  Properties = std::move(props);
  m_bitmap.Assign(&picture);
  m_thumbnailRead = false;
}

void TBKImage::LoadThumbnailFromBytes(TBytes data) {
  const bool full = !Options.ThumbnailOnly;
  Options.ThumbnailOnly = true;
  try {
    LoadFromBytes(data);
  } catch (...) {
    Options.ThumbnailOnly = !full;
    throw;
  }
  Options.ThumbnailOnly = !full;
}

bool TBKImage::PartialRead(int& fullWidth, int& fullHeight) const {
  if (!m_thumbnailRead) return false;
  fullWidth = Properties.Width;
  fullHeight = Properties.Height;
  return true;
}

void TBKImage::ReadThumbnail(TBytes data) {
  TReader in(data);
  TBKProperties props = ::ReadHeader(in);
  // The preview reports this size as the picture's: it must be one we could load.
  CheckPictureSize(props.Width, props.Height);
  in.Skip(4);  // the section size
  if (!Matches(in, kThumbnailMark)) throw EImageError("BKI: thumbnail mark missing");
  in.Skip(4);
  const TBitmap thumbnail = ReadPixelBlock(in);
  Properties = std::move(props);
  m_bitmap.Assign(&thumbnail);
  m_thumbnailRead = true;
}
