#pragma once
// The TIFF writers: the whole-picture save of TTiffImage and the band writer.
#include <cstdint>

#include "imagefiles/Graphic.h"

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
