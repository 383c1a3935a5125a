// The TIFF writers: WriteTiff, the whole-picture save, and TTiffWriter, the
// band writer through libtiff.
#include "imagefiles/TiffWriter.h"

#include <tiffio.h>

#include "imagefiles/CodecHelpers.h"
#include "imagefiles/FileBytes.h"
#include "imagefiles/TiffGlue.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <vector>

namespace {

// One row of our pixels (blue, green, red, and a fourth byte when
// bytesPerPixel is 4) as the file's samples: red, green, blue.
void PutRgbSamples(const std::uint8_t* s, int bytesPerPixel, std::uint64_t width, std::uint8_t* d) {
  for (std::uint64_t x = 0; x < width; ++x, s += bytesPerPixel, d += 3) {
    d[0] = s[2];
    d[1] = s[1];
    d[2] = s[0];
  }
}

}  // namespace

struct TTiffWriter::TState {
  TWriteFile file;
  TTiffOptions options;
  TTiffHandle tif;
  std::vector<std::uint8_t> strip;  // RGB rows of the strip being filled
  std::uint32_t width = 0, height = 0, rowsPerStrip = 0, rows = 0;
};

bool TiffNeedsBig(std::uint64_t width, std::uint64_t height) {
  // The pixels, a strip's offset and count each, and room for the rest.
  return 3 * width * height + 16 * height + 65536 > 0xFFFFFFFFu;
}

TTiffWriter::TTiffWriter(int fd, int width, int height, TTiffRational resolution) : m_state(new TState) {
  if (width < 1 || height < 1) throw EImageError("no picture to write");
  InstallTiffQuietHandlers();
  TState& st = *m_state;
  st.file.fd = fd;
  st.width = std::uint32_t(width);
  st.height = std::uint32_t(height);
  st.options = NewTiffOptions(st.file.error);
  if (!st.options) throw EImageError("not enough memory");
  st.tif = OpenWriteTiff(st.file, TiffNeedsBig(st.width, st.height), st.options.get());
  if (!st.tif) Fail();
  // Strips of about a megabyte: a reader needs no more memory than that.
  const std::uint64_t rowBytes = 3 * std::uint64_t(width);
  st.rowsPerStrip = std::uint32_t(std::clamp<std::uint64_t>((1u << 20) / rowBytes, 1, st.height));
  TIFF* tif = st.tif.get();
  const bool set = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, st.width) &&
                   TIFFSetField(tif, TIFFTAG_IMAGELENGTH, st.height) && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) &&
                   TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) &&
                   TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
                   TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
                   TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
                   TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, st.rowsPerStrip) &&
                   TIFFSetField(tif, TIFFTAG_XRESOLUTION, double(resolution.Numerator) / resolution.Denominator) &&
                   TIFFSetField(tif, TIFFTAG_YRESOLUTION, double(resolution.Numerator) / resolution.Denominator) &&
                   TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  if (!set) Fail();
  st.strip.reserve(size_t(rowBytes) * st.rowsPerStrip);
}

TTiffWriter::~TTiffWriter() {
  // Closing flushes: a writer given up must not write a directory into a
  // file that is about to be removed anyway, so the file is cut off first.
  if (m_state->tif) m_state->file.fd = -1;
  delete m_state;
}

void TTiffWriter::Fail() const {
  const TWriteFile& f = m_state->file;
  if (f.systemError != 0) throw EImageError(SystemErrorReason(f.systemError));
  throw EImageError(f.error.empty() ? std::string("the TIFF file could not be written") : f.error);
}

void TTiffWriter::Write(const TBitmap& band) {
  TState& st = *m_state;
  if (!st.tif) throw EImageError("the TIFF file is closed");
  for (int y = 0; y < band.Height(); ++y) {
    if (st.rows >= st.height) throw EImageError("more rows than the picture has");
    const size_t at = st.strip.size();
    st.strip.resize(at + 3 * size_t(st.width));
    PutRgbSamples(band.ScanLine(y), 3, st.width, st.strip.data() + at);
    ++st.rows;
    if (st.rows % st.rowsPerStrip == 0 || st.rows == st.height) {
      const std::uint32_t strip = (st.rows - 1) / st.rowsPerStrip;
      if (TIFFWriteEncodedStrip(st.tif.get(), strip, st.strip.data(), tmsize_t(st.strip.size())) < 0) Fail();
      st.strip.clear();
    }
  }
}

void TTiffWriter::Finish() {
  TState& st = *m_state;
  if (!st.tif) throw EImageError("the TIFF file is closed");
  if (st.rows != st.height) throw EImageError("fewer rows than the picture has");
  const bool written = TIFFWriteDirectory(st.tif.get()) != 0;
  st.tif.reset();
  if (!written || st.file.systemError != 0) Fail();
}

TTiffRational TiffResolutionFraction(double dpi) {
  // Keeps the numerator within 32 bits (and the conversions defined).
  if (!std::isfinite(dpi) || dpi < 0) dpi = 0;
  dpi = std::min(dpi, 4294967.0);
  const double whole = std::trunc(dpi);
  if (dpi - whole < 0.001) return {std::uint32_t(whole), 1};
  return {std::uint32_t(std::trunc(dpi * 1000)), 1000};
}

void WriteTiff(TByteBuffer& out, const TBitmap& image, TTiffRational resolution) {
  if (image.Empty()) throw EImageError("no picture to write");
  const TBitmap* source = &image;
  TBitmap copy;
  if (image.PixelFormat() != pf24bit && image.PixelFormat() != pf32bit) {
    copy = image;
    copy.SetPixelFormat(pf24bit);
    source = &copy;
  }
  const int bytesPerPixel = source->PixelFormat() == pf32bit ? 4 : 3;

  const std::uint64_t width = std::uint64_t(source->Width()), height = std::uint64_t(source->Height());
  const std::uint64_t stripBytes = 3 * width * height;
  const std::uint64_t padding = stripBytes & 1;
  constexpr std::uint64_t HeaderBytes = 42, IfdBytes = 2 + 15 * 12 + 4;
  // Offsets and the strip's byte count are 32-bit fields.
  if (HeaderBytes + stripBytes + padding + IfdBytes > 0xFFFFFFFFu) throw EImageError("picture too large for TIFF");

  const size_t base = out.size();
  try {
    out.reserve(base + size_t(HeaderBytes + stripBytes + padding + IfdBytes));
  } catch (const std::bad_alloc&) {
    throw EImageError("not enough memory");
  }
  out.push_back('I');
  out.push_back('I');
  PutLE16(out, 42);
  PutLE32(out, 8);  // the IFD offset, set once known
  const std::uint32_t xResolutionAt = std::uint32_t(out.size() - base);
  PutLE32(out, resolution.Numerator);
  PutLE32(out, resolution.Denominator);
  const std::uint32_t yResolutionAt = std::uint32_t(out.size() - base);
  PutLE32(out, resolution.Numerator);
  PutLE32(out, resolution.Denominator);
  const std::uint32_t bitsPerSampleAt = std::uint32_t(out.size() - base);
  for (int i = 0; i < 3; ++i) PutLE16(out, 8);
  const std::uint32_t softwareAt = std::uint32_t(out.size() - base);
  static const char Software[12] = "Brindlemark";
  out.insert(out.end(), Software, Software + sizeof Software);

  const std::uint32_t stripAt = std::uint32_t(out.size() - base);
  const size_t rowBytes = size_t(width) * 3;
  out.resize(out.size() + size_t(stripBytes));
  std::uint8_t* d = out.data() + base + stripAt;
  for (int y = 0; y < source->Height(); ++y, d += rowBytes) PutRgbSamples(source->ScanLine(y), bytesPerPixel, width, d);
  if (padding) out.push_back(0);

  const std::uint32_t ifdAt = std::uint32_t(out.size() - base);
  auto entry = [&out](std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
    PutLE16(out, tag);
    PutLE16(out, type);
    PutLE32(out, count);
    PutLE32(out, value);  // a SHORT value: its 16 bits, then two zero bytes
  };
  constexpr std::uint16_t Ascii = 2, Short = 3, Long = 4, Rational = 5;
  // Sides above 65535 do not fit a SHORT; everything else keeps the usual layout.
  const std::uint16_t widthType = width > 0xFFFF ? Long : Short;
  const std::uint16_t heightType = height > 0xFFFF ? Long : Short;
  PutLE16(out, 15);
  entry(254, Long, 1, 0);                            // NewSubfileType
  entry(256, widthType, 1, std::uint32_t(width));    // ImageWidth
  entry(257, heightType, 1, std::uint32_t(height));  // ImageLength
  entry(258, Short, 3, bitsPerSampleAt);             // BitsPerSample
  entry(259, Short, 1, 1);                           // Compression: none
  entry(262, Short, 1, 2);                           // PhotometricInterpretation: RGB
  entry(273, Long, 1, stripAt);                      // StripOffsets
  entry(277, Short, 1, 3);                           // SamplesPerPixel
  entry(278, Long, 1, std::uint32_t(height));        // RowsPerStrip
  entry(279, Long, 1, std::uint32_t(stripBytes));    // StripByteCounts
  entry(282, Rational, 1, xResolutionAt);            // XResolution
  entry(283, Rational, 1, yResolutionAt);            // YResolution
  entry(284, Short, 1, 1);                           // PlanarConfiguration: chunky
  entry(296, Short, 1, 2);                           // ResolutionUnit: inch
  entry(305, Ascii, sizeof Software, softwareAt);    // Software
  PutLE32(out, 0);                                   // no further IFD

  for (int i = 0; i < 4; ++i) out[base + 4 + size_t(i)] = std::uint8_t(ifdAt >> (8 * i));
}
