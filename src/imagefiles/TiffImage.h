#pragma once
// TTiffImage, the TIFF file class: reading through libtiff. TIFF files: reading goes through libtiff's RGBA reader, so
// every kind of TIFF the library can convert arrives as 32-bit pixels; 32 bits are kept only when some pixel is not
// opaque, with their colours straight (not multiplied by their alpha). Grey and RGB files of 12-bit samples and of
// 32-bit integer samples, and CMYK files of 16-bit inks, which that reader
// refuses, are read sample by sample and scaled to 8 bits by the full range
// of their sample type. Either way the picture is shown as its Orientation
// tag says, transposed for 5 to 8. Writing goes through TiffWriter.h.
#include <QString>
#include <cstdint>

#include "imagefiles/Graphic.h"
#include "imagefiles/TiffWriter.h"

// True for the extensions ".tif", ".tiff" and ".fax", in any case.
bool IsTiffFile(const QString& fileName);

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
