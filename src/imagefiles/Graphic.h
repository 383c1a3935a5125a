#pragma once
// The codec objects of the picture files: one class per format, each able to
// decode a whole file held in memory into its bitmap and/or to encode its
// bitmap into file bytes. The load and save dispatch hands these objects to
// the stage handler, which may inspect or set their options.
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "raster/Bitmap.h"

// Raised by every reader and writer for damaged, unsupported or oversized
// data; the dispatch turns it into a failed load or save.
class EImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using TBytes = std::span<const std::uint8_t>;
using TByteBuffer = std::vector<std::uint8_t>;

// No reader allocates pixels for a picture beyond these limits: the header's
// size is checked first, so a hostile header cannot exhaust memory.
constexpr std::int64_t MaxPictureSide = 65535;
constexpr std::int64_t MaxPicturePixels = std::int64_t(1) << 29;
// Deflate turns one compressed byte into at most this many: a picture larger
// than its compressed data could expand to is refused before allocation.
constexpr std::int64_t MaxDeflateRatio = 1032;
// GIF's LZW: a code of at most 12 bits names at most 4096 pixels.
constexpr std::int64_t MaxLzwPixelsPerByte = 4096 * 8 / 12 + 1;
// Pictures whose area around the stored pixels is backed by no data (a GIF
// screen around its frame, a Paint Shop Pro canvas around its layer) may
// reach this many pixels whatever the file's size.
constexpr std::int64_t UnbackedPixels = std::int64_t(1) << 24;
// Throws EImageError when width x height is not a picture we accept
// (a side <= 0, a side above MaxPictureSide, or more than MaxPicturePixels).
void CheckPictureSize(std::int64_t width, std::int64_t height);

// While one is alive, CheckPictureSize on this thread also refuses pictures
// of more than `pixels` pixels (the smallest of nested caps holds). A read that
// must stay cheap, such as a dialog's preview, sets one around the decode.
class TPictureSizeCap {
 public:
  explicit TPictureSizeCap(std::int64_t pixels);
  ~TPictureSizeCap();
  TPictureSizeCap(const TPictureSizeCap&) = delete;
  TPictureSizeCap& operator=(const TPictureSizeCap&) = delete;

 private:
  std::int64_t m_previous;
};

class TGraphic {
 public:
  virtual ~TGraphic() = default;
  // A short name of the format ("BMP", "JPEG", ...), for messages and tests.
  virtual const char* FormatName() const = 0;
  // Decodes a whole file into Bitmap(); throws EImageError. The default
  // refuses: the format is write-only.
  virtual void LoadFromBytes(TBytes data);
  // Appends the encoded file of Bitmap() to out; throws EImageError. The
  // default refuses: the format is read-only.
  virtual void SaveToBytes(TByteBuffer& out);

  TBitmap& Bitmap() { return m_bitmap; }
  const TBitmap& Bitmap() const { return m_bitmap; }

 protected:
  TBitmap m_bitmap;
};

// Little helpers for the writers and readers of binary layouts.
void PutLE16(TByteBuffer& out, std::uint32_t v);
void PutLE32(TByteBuffer& out, std::uint32_t v);
