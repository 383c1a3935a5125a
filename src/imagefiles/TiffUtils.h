#pragma once
// TIFF files: reading goes through libtiff's RGBA reader, so every kind of
// TIFF the library can convert arrives as 32-bit pixels; 32 bits are kept
// only when some pixel is not opaque, with their colours straight (not
// multiplied by their alpha). Grey and RGB files of 12-bit samples and of
// 32-bit integer samples, and CMYK files of 16-bit inks, which that reader
// refuses, are read sample by sample and scaled to 8 bits by the full range
// of their sample type. Either way the picture is shown as its Orientation
// tag says, transposed for 5 to 8. Writing is our own: an uncompressed,
// single-strip, little-endian file with a fixed set of fifteen tags.
#include <QString>
#include <cstdint>

#include "imagefiles/Graphic.h"

// True for the extensions ".tif", ".tiff" and ".fax", in any case.
bool IsTiffFile(const QString& fileName);

struct TTiffRational {
  std::uint32_t Numerator = 72;
  std::uint32_t Denominator = 1;
};
// Whole dots per inch are stored over 1, anything finer in thousandths.
TTiffRational TiffResolutionFraction(double dpi);

// Appends an uncompressed RGB TIFF of image to out. 24-bit pictures are
// written as they are; 32-bit ones lose their fourth byte; every other pixel
// format goes through a 24-bit copy. Throws EImageError for an empty picture
// and for one too large for a file with 32-bit offsets.
void WriteTiff(TByteBuffer& out, const TBitmap& image, TTiffRational resolution = {});

class TTiffImage : public TGraphic {
 public:
  const char* FormatName() const override { return "TIFF"; }

  // The format the file was stored in (0 before a read): pf32bit when the
  // picture kept its alpha, else pf1bit, pf4bit or pf8bit for one sample of
  // that many bits and pf24bit for everything else.
  TPixelFormat SourceFormat = pfDevice;
  TPixelFormat StoredFormat() const override { return SourceFormat; }
  // The file's Orientation tag, 1 when absent (0 before a read). The
  // picture already stands as the tag says: for 5 to 8 its width is the
  // file's ImageLength.
  std::uint16_t SourceOrientation = 0;

 protected:
  // Reads the first image of the file.
  void ReadBytes(TBytes data) override;
  // The first image's size as it will stand, and its bits a pixel as stored.
  bool ReadHeaderBytes(TBytes data, TPictureHeader& header) override;
  // Writes Bitmap() at Options.Resolution. Reads refuse pictures of more than
  // Options.PixelLimit pixels before any pixel memory is taken.
  void WriteBytes(TByteBuffer& out) override;
};

// The value of a 16-bit floating-point sample (1 sign bit, 5 exponent bits,
// 10 bits of fraction) before the reader maps 0..1 to black..white. An
// exponent of 0 holds the very dark values, fraction x 2^-24, with no
// implicit leading 1.
double HalfFloatValue(std::uint16_t half);

// True when a width x height RGB file may pass the 4 GB that 32-bit offsets
// reach: it is then written as BigTIFF.
bool TiffNeedsBig(std::uint64_t width, std::uint64_t height);

// An uncompressed RGB TIFF written through libtiff a band at a time into an
// open file (which the caller owns and closes), in strips of about a
// megabyte; BigTIFF when TiffNeedsBig. Every failure throws EImageError, a
// failed write with its system reason ("disk full").
class TTiffWriter {
 public:
  TTiffWriter(int fd, int width, int height, TTiffRational resolution = {});
  ~TTiffWriter();
  TTiffWriter(const TTiffWriter&) = delete;
  TTiffWriter& operator=(const TTiffWriter&) = delete;
  // The next rows, 24-bit, as wide as the picture.
  void Write(const TBitmap& band);
  // After the last row: the directory.
  void Finish();

 private:
  struct TState;
  [[noreturn]] void Fail() const;
  TState* m_state;
};
