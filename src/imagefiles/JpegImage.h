#pragma once
// JPEG files through libjpeg(-turbo): decoding at full size or at 1/2, 1/4
// or 1/8 (for previews), encoding with a quality and optional progressive
// scans; and the header probe that reads a file's size without decoding it.
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "imagefiles/Graphic.h"

class TJpegImage : public TGraphic {
 public:
  const char* FormatName() const override { return "JPEG"; }
  // Reads Options.JpegScale and Options.PixelLimit; writes with
  // Options.JpegQuality and Options.JpegProgressive.

 protected:
  // Colour files give a pf24bit picture, grey files a pf8bit one with a grey
  // ramp of 236 levels, CMYK and YCCK files a pf24bit one. A picture whose
  // EXIF data gives an orientation is turned upright (at any scale).
  void ReadBytes(TBytes data) override;
  // Encodes Bitmap() as a three-component colour JPEG.
  void WriteBytes(TByteBuffer& out) override;
  bool ReadHeaderBytes(TBytes data, TPictureHeader& header) override;
};

// The size recorded in a baseline frame header (SOF0), found by walking the
// segments from the start of the file, width and height swapped when the
// EXIF orientation turns the picture a quarter; 0 x 0 when the file is missing, is not
// a JPEG, ends first or has no baseline frame header (progressive files).
// A read that ends half-way through the frame header keeps what it got.
void ReadJpegSize(const QString& fileName, int& width, int& height);
void ReadJpegSize(TBytes data, int& width, int& height);

// The decoding scale (0..3) that brings the longer side near target:
// q = max(width, height) div target; q <= 1: 0, 2..3: 1, 4..7: 2, 8 and up: 3.
int JpegScaleFor(int width, int height, int target);

// The largest side a JPEG file can record.
constexpr int JpegMaxSide = 65535;

// The one JPEG encoder: a libjpeg compressor made once and used for picture
// after picture (a thread that encodes many small pictures keeps its own and
// pays for the library's memory pools once). Each picture is started, fed
// rows in order, and finished; the compressed bytes go to `put` as they
// come (a progressive file only at Finish, libjpeg holding its coefficients
// meanwhile). Every failure throws EImageError and leaves the encoder ready
// for the next picture; an exception of `put` ends the picture with its
// message.
class TJpegEncoder {
 public:
  using TPut = std::function<void(const std::uint8_t* data, size_t size)>;
  TJpegEncoder();
  ~TJpegEncoder();
  TJpegEncoder(const TJpegEncoder&) = delete;
  TJpegEncoder& operator=(const TJpegEncoder&) = delete;
  // A three-component colour picture of width x height from rows of
  // bytesPerPixel bytes: 3 (blue, green, red) or 4 (the fourth ignored).
  void Start(int width, int height, int quality, bool progressive, TPut put, int bytesPerPixel = 3);
  // The next rows, as wide as the picture.
  void Write(const std::uint8_t* const* rows, int count);
  // The next rows of a 24-bit band.
  void Write(const TBitmap& band);
  // After the last row.
  void Finish();
  // For the library's destination: false when `put` failed.
  bool Put(const std::uint8_t* data, size_t size);

 private:
  struct TSession;
  [[noreturn]] void Stop();
  TPut m_put;
  TSession* m_session;
  bool m_started = false;
  bool m_reusable = false;  // the last picture left the library object as new
  std::string m_failure;
};
