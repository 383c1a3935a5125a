#include "imagefiles/Graphic.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// What CheckPictureSize knows of the load running on this thread: the
// codec's pixel limit and the size of the file it reads (-1 outside a load).
struct TLoadLimits {
  std::int64_t pixelLimit = MaxPicturePixels;
  std::int64_t fileBytes = -1;
};
thread_local TLoadLimits t_load;

// Opened by LoadFromBytes around the codec's read. A load nested in another
// (a picture inside a file) keeps the outer, smaller pixel limit too.
class TLoadScope {
 public:
  TLoadScope(std::int64_t fileBytes, std::int64_t pixelLimit) : m_previous(t_load) {
    t_load.pixelLimit = std::min(t_load.pixelLimit, pixelLimit);
    t_load.fileBytes = fileBytes;
  }
  ~TLoadScope() { t_load = m_previous; }
  TLoadScope(const TLoadScope&) = delete;
  TLoadScope& operator=(const TLoadScope&) = delete;

 private:
  TLoadLimits m_previous;
};

}  // namespace

void CheckCanvasSize(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0) throw EImageError("picture has no pixels");
  if (width > MaxPictureSide || height > MaxPictureSide || width * height > MaxPicturePixels)
    throw EImageError("picture is too large");
  if (width * height > t_load.pixelLimit) throw EImageError("picture is too large for this read");
}

void CheckPictureSize(std::int64_t width, std::int64_t height, std::int64_t pixelsPerByte) {
  CheckCanvasSize(width, height);
  const std::int64_t pixels = width * height;
  if (t_load.fileBytes >= 0 && pixels > UnbackedPixels && pixels > t_load.fileBytes * pixelsPerByte)
    throw EImageError("the file is too short for the picture size it claims");
}

std::string TGraphic::Named(const char* what) const {
  const std::size_t n = std::strlen(FormatName());
  if (std::strncmp(what, FormatName(), n) == 0 && what[n] == ':') return what;
  return std::string(FormatName()) + ": " + what;
}

namespace {

// Runs a codec's work so that whatever it throws leaves as EImageError,
// named after the format by name().
template <class Work, class Name>
auto WithNamedErrors(Work&& work, const Name& name) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    throw EImageError(name("not enough memory"));
  } catch (const std::exception& e) {
    throw EImageError(name(e.what()));
  }
}

}  // namespace

void TGraphic::LoadFromBytes(TBytes data) {
  // The copy shares the pixels; it only costs a reference.
  TBitmap previous = m_bitmap;
  try {
    WithNamedErrors(
        [&] {
          const TLoadScope scope(std::int64_t(data.size()), Options.PixelLimit);
          ReadBytes(data);
        },
        [this](const char* what) { return Named(what); });
  } catch (...) {
    m_bitmap = std::move(previous);
    throw;
  }
}

void TGraphic::SaveToBytes(TByteBuffer& out) {
  WithNamedErrors([&] { WriteBytes(out); }, [this](const char* what) { return Named(what); });
}

bool TGraphic::ReadHeader(TBytes data, TPictureHeader& header) {
  return WithNamedErrors(
      [&] {
        const TLoadScope scope(std::int64_t(data.size()), Options.PixelLimit);
        return ReadHeaderBytes(data, header);
      },
      [this](const char* what) { return Named(what); });
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
