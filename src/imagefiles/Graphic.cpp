#include "imagefiles/Graphic.h"

#include <algorithm>
#include <cstring>
#include <new>

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

std::string TGraphic::Named(const char* what) const {
  const std::size_t n = std::strlen(FormatName());
  if (std::strncmp(what, FormatName(), n) == 0 && what[n] == ':') return what;
  return std::string(FormatName()) + ": " + what;
}

void TGraphic::LoadFromBytes(TBytes data) {
  // The copy shares the pixels; it only costs a reference.
  TBitmap previous = m_bitmap;
  try {
    ReadBytes(data);
  } catch (const EImageError& e) {
    m_bitmap = std::move(previous);
    throw EImageError(Named(e.what()));
  } catch (const std::bad_alloc&) {
    m_bitmap = std::move(previous);
    throw EImageError(Named("not enough memory"));
  } catch (const std::exception& e) {
    m_bitmap = std::move(previous);
    throw EImageError(Named(e.what()));
  }
}

void TGraphic::SaveToBytes(TByteBuffer& out) {
  try {
    WriteBytes(out);
  } catch (const EImageError& e) {
    throw EImageError(Named(e.what()));
  } catch (const std::bad_alloc&) {
    throw EImageError(Named("not enough memory"));
  } catch (const std::exception& e) {
    throw EImageError(Named(e.what()));
  }
}

bool TGraphic::ReadHeader(TBytes data, TPictureHeader& header) {
  try {
    return ReadHeaderBytes(data, header);
  } catch (const EImageError& e) {
    throw EImageError(Named(e.what()));
  } catch (const std::bad_alloc&) {
    throw EImageError(Named("not enough memory"));
  } catch (const std::exception& e) {
    throw EImageError(Named(e.what()));
  }
}

bool TGraphic::PartialRead(int&, int&) const { return false; }
bool TGraphic::ReadHeaderBytes(TBytes, TPictureHeader&) { return false; }

void TGraphic::ReadBytes(TBytes) { throw EImageError("cannot be read"); }
void TGraphic::WriteBytes(TByteBuffer&) { throw EImageError("cannot be written"); }

void PutLE16(TByteBuffer& out, std::uint32_t v) {
  out.push_back(std::uint8_t(v));
  out.push_back(std::uint8_t(v >> 8));
}

void PutLE32(TByteBuffer& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}

void PutBE32(TByteBuffer& out, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(std::uint8_t(v >> (8 * i)));
}
