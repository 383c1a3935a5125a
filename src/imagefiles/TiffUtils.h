#pragma once
// TIFF files: reading goes through libtiff's RGBA reader, so every kind of
// TIFF the library can convert arrives as 32-bit pixels; 32 bits are kept
// only when some pixel is not opaque. Writing is our own: an uncompressed,
// single-strip, little-endian file with a fixed set of fifteen tags.
#include <QString>
#include <cstdint>

#include "imagefiles/Graphic.h"

// The pixel format the TIFF file read last was stored in (pf1bit, pf4bit,
// pf8bit, pf24bit or pf32bit); kept when a later read fails. The open
// dialog's preview shows it.
extern TPixelFormat LastTiffFormat;
// Dots per inch written into TIFF files; the save dispatch sets it before
// every TIFF save.
extern double TiffResolution;

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
  // Reads the first image of the file.
  void LoadFromBytes(TBytes data) override;
  // Writes Bitmap() at TiffResolution.
  void SaveToBytes(TByteBuffer& out) override;

  // The format the file was stored in, as LastTiffFormat (0 before a read).
  TPixelFormat SourceFormat = pfDevice;
  // The file's Orientation tag, 1 when absent (0 before a read). Only
  // recorded: the rows already arrive upright.
  std::uint16_t SourceOrientation = 0;
  // Pictures with more pixels are refused before any pixel memory is taken.
  // A caller with a tighter memory budget (a fuzzer, say) may lower it.
  std::int64_t PixelLimit = MaxPicturePixels;
};
