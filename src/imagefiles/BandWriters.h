#pragma once
// Picture files written band by band (band sinks), for a picture too large
// to hold: TIFF in strips, PNG with our writer's layout, JPEG by scanlines.
// Each writes a new file beside the output and renames it over the output
// once complete; a failure or an abandon removes it, leaving the output as
// it was.
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "raster/BandSink.h"

struct TBandFileOptions {
  double Resolution = 72.0;  // dots per inch, recorded as the whole writers do
  int JpegQuality = 90;
  bool JpegProgressive = false;
};

// The largest side a file of that name's format takes when written in
// bands; 0 for a format that cannot be written in bands (BMP, GIF, RLE,
// TGA, and any other).
std::int64_t BandFileMaxSide(const QString& fileName);

// An upper bound of the bytes such a file of width x height takes: the
// pixels and the format's overhead for TIFF, the uncompressed data with
// deflate's worst case for PNG, three bytes a pixel for JPEG.
std::uint64_t BandFileBytesNeeded(const QString& fileName, std::int64_t width, std::int64_t height);

// Why the file system of fileName's folder cannot take `bytes` more, in the
// words of the save error's second line; empty when it can (or cannot be
// asked).
std::string DiskSpaceProblem(const QString& fileName, std::uint64_t bytes);

// The writer for the name's extension; nullptr when the format cannot be
// written in bands. Begin refuses a size beyond BandFileMaxSide, and one
// whose file would not fit on the disk; Error() gives the reason.
std::unique_ptr<TBandSink> MakeBandFileWriter(const QString& fileName, const TBandFileOptions& options = {});
