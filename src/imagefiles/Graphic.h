#pragma once
// The codec objects of the picture files: one class per format, each able to
// decode a whole file held in memory into its bitmap and/or to encode its
// bitmap into file bytes. The load and save dispatch hands these objects to
// the stage handler, which may inspect them or set their options. What every
// reader promises is written down once, in imagefiles/PictureFiles.h.
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

// No reader allocates pixels for a picture beyond MaxPictureSide and
// MaxPicturePixels (raster/Bitmap.h): the header's size is checked first, so
// a hostile header cannot exhaust memory.
// Deflate turns one compressed byte into at most this many: a picture larger
// than its compressed data could expand to is refused before allocation.
constexpr std::int64_t MaxDeflateRatio = 1032;
// GIF's LZW: a code of at most 12 bits names at most 4096 pixels.
constexpr std::int64_t MaxLzwPixelsPerByte = 4096 * 8 / 12 + 1;
// Up to this many pixels a picture may claim whatever the size of its file.
// Above it, a picture must be backed by at least one byte of file for every
// MaxDeflateRatio pixels, so that a tiny file cannot cost gigabytes; areas
// backed by no data at all (a GIF screen around its frame, a Paint Shop Pro
// canvas around its layer) are bounded by their reader.
constexpr std::int64_t UnbackedPixels = std::int64_t(1) << 24;
// Throws EImageError when width x height is not a picture we accept: a side
// <= 0, a side above MaxPictureSide, more than MaxPicturePixels, more than
// the load's Options.PixelLimit, or, inside TGraphic::LoadFromBytes, more
// than UnbackedPixels and more than pixelsPerByte for every byte of the file.
// Every reader calls it on the header's size before any pixel memory.
void CheckPictureSize(std::int64_t width, std::int64_t height, std::int64_t pixelsPerByte = MaxDeflateRatio);
// The same limits for an area that no file data backs, without the file's
// share: its reader bounds it against the file itself.
void CheckCanvasSize(std::int64_t width, std::int64_t height);

// Everything a caller may tell a codec, in one value. Each codec reads the
// fields that concern it and ignores the others.
struct TCodecOptions {
  // Dots per inch recorded by the writers that store one (PNG, TIFF).
  double Resolution = 72.0;
  // JPEG decoding scale: 0 full size, 1 half, 2 quarter, 3 eighth.
  int JpegScale = 0;
  // The load serves a preview (the open dialog's quick mode).
  bool QuickMode = false;
  // Native image files: read the header and the stored thumbnail only.
  bool ThumbnailOnly = false;
  // JPEG writing: quality 1..100 (baseline-compatible tables) and the
  // library's simple progressive script.
  int JpegQuality = 90;
  bool JpegProgressive = false;
  // Pictures with more pixels are refused before any pixel memory is taken
  // (by CheckPictureSize, during LoadFromBytes). A caller with a tighter
  // memory budget (a preview, a fuzzer) lowers it.
  std::int64_t PixelLimit = MaxPicturePixels;
};

// What a file's header tells without its pixels.
struct TPictureHeader {
  int Width = 0;
  int Height = 0;
  int BitsPerPixel = 0;  // as stored: 1, 4, 8, 16, 24, 32, 48, ...
};

class TGraphic {
 public:
  virtual ~TGraphic() = default;
  // A short name of the format ("BMP", "JPEG", ...); every load error of the
  // codec starts with it.
  virtual const char* FormatName() const = 0;

  // Decodes a whole file into Bitmap(). On failure throws EImageError with a
  // message "<FormatName>: ...", allocation failures included, and leaves
  // Bitmap() as it was.
  void LoadFromBytes(TBytes data);
  // Appends the encoded file of Bitmap() to out; throws EImageError the same
  // way (out may then hold part of the file).
  void SaveToBytes(TByteBuffer& out);
  // Reads the picture's size and stored depth from the header, through the
  // same parse that LoadFromBytes starts with (so the two agree), without
  // allocating or decoding pixels. False when the format cannot tell them
  // without decoding; throws EImageError as LoadFromBytes does for a file
  // the full read would refuse at its header.
  bool ReadHeader(TBytes data, TPictureHeader& header);

  // The pixel format the file was stored in, as far as the reader can tell;
  // the decoded picture's own format unless the codec knows better.
  virtual TPixelFormat StoredFormat() const { return m_bitmap.PixelFormat(); }
  // The full size of the picture when the last read gave only part of it (a
  // native image's thumbnail); false when the bitmap is the whole picture.
  virtual bool PartialRead(int& fullWidth, int& fullHeight) const;

  TBitmap& Bitmap() { return m_bitmap; }
  const TBitmap& Bitmap() const { return m_bitmap; }

  TCodecOptions Options;

 protected:
  // The format's own work behind LoadFromBytes and SaveToBytes: they may
  // throw EImageError without the format's name, or std::bad_alloc. The
  // defaults refuse (a write-only or read-only format).
  virtual void ReadBytes(TBytes data);
  virtual void WriteBytes(TByteBuffer& out);
  // The format's header parse behind ReadHeader; the default cannot tell.
  virtual bool ReadHeaderBytes(TBytes data, TPictureHeader& header);

  TBitmap m_bitmap;

 private:
  std::string Named(const char* what) const;
};

// Little helpers for the writers of binary layouts.
void PutLE16(TByteBuffer& out, std::uint32_t v);
void PutLE32(TByteBuffer& out, std::uint32_t v);
void PutBE32(TByteBuffer& out, std::uint32_t v);
