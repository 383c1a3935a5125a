#include "imagefiles/Graphic.h"

#include <algorithm>

namespace {
thread_local std::int64_t t_pixelCap = MaxPicturePixels;
}

void CheckPictureSize(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0) throw EImageError("picture has no pixels");
  if (width > MaxPictureSide || height > MaxPictureSide || width * height > MaxPicturePixels)
    throw EImageError("picture is too large");
  if (width * height > t_pixelCap) throw EImageError("picture is too large for this read");
}

TPictureSizeCap::TPictureSizeCap(std::int64_t pixels) : m_previous(t_pixelCap) {
  t_pixelCap = std::min(t_pixelCap, pixels);
}
TPictureSizeCap::~TPictureSizeCap() { t_pixelCap = m_previous; }

void TGraphic::LoadFromBytes(TBytes) { throw EImageError(std::string(FormatName()) + " cannot be read"); }
void TGraphic::SaveToBytes(TByteBuffer&) { throw EImageError(std::string(FormatName()) + " cannot be written"); }

void PutLE16(TByteBuffer& out, std::uint32_t v) {
  out.push_back(std::uint8_t(v));
  out.push_back(std::uint8_t(v >> 8));
}

void PutLE32(TByteBuffer& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}
