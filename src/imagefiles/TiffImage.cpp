// TTiffImage: the TIFF reader (libtiff's RGBA reader, and our sample reader
// for the samples it refuses) and the class's load and save.
#include "imagefiles/TiffImage.h"

#include <tiffio.h>

#include "imagefiles/CodecHelpers.h"
#include "imagefiles/FileBytes.h"
#include "imagefiles/PictureFormats.h"
#include "imagefiles/TiffGlue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// libtiff may allocate a strip or tile buffer per the file's own claims;
// no single buffer of a picture we accept needs more than this.
constexpr tmsize_t MaxLibraryAllocation = tmsize_t(1) << 30;

[[noreturn]] void Fail(const TMemoryFile& file, const char* fallback) {
  throw EImageError(file.error.empty() ? std::string(fallback) : file.error);
}

struct TDecodedTiff {
  QImage image;  // Format_ARGB32 or Format_BGR888
  TPixelFormat format = pfDevice;
  std::uint16_t orientation = 1;
};

TPixelFormat StoredFormat(std::uint16_t samplesPerPixel, std::uint16_t bitsPerSample) {
  if (samplesPerPixel != 1) return pf24bit;
  switch (bitsPerSample) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    default: return pf24bit;
  }
}

bool IsLab(std::uint16_t photometric) {
  return photometric == PHOTOMETRIC_CIELAB || photometric == PHOTOMETRIC_ICCLAB || photometric == PHOTOMETRIC_ITULAB;
}

// Samples the RGBA reader refuses or misreads, in grey or RGB files of
// interleaved samples: 12 bits (packed, or one to a 16-bit word as some
// decoders leave them), 32-bit integers, signed 16-bit integers (which it
// takes as unsigned), floating point of 16, 32 or 64 bits; CMYK inks of 16 bits;
// and L*a*b* of 8 or 16 bits, in any of the three ways TIFF stores it. Each
// integer is scaled to 8 bits by the full range of its type: 0..4095,
// 0..65535, 0..2^32-1, or -2^15..2^15-1 and -2^31..2^31-1 for signed samples;
// floating point maps 0.0..1.0 to black..white, clamped.
bool NeedsSampleReader(std::uint16_t bitsPerSample, std::uint16_t photometric, std::uint16_t sampleFormat) {
  return bitsPerSample == 12 || bitsPerSample == 32 || bitsPerSample == 64 ||
         (bitsPerSample == 16 && (photometric == PHOTOMETRIC_SEPARATED || sampleFormat != SAMPLEFORMAT_UINT)) ||
         IsLab(photometric);
}

// sRGB, 8 bits, of a CIE L*a*b* colour. As ImageMagick converts it, the
// reference white is D65 (a neutral a* = b* = 0 stays grey) and no white
// point tag is consulted; the RGBA reader's own conversion tints greys.
void LabToRgb(double L, double a, double b, std::uint8_t rgb[3]) {
  constexpr double Xn = 0.95047, Yn = 1.0, Zn = 1.08883, Delta = 6.0 / 29.0;
  const auto inverse = [](double t) { return t > Delta ? t * t * t : 3 * Delta * Delta * (t - 4.0 / 29.0); };
  const double fy = (L + 16) / 116;
  const double X = Xn * inverse(fy + a / 500), Y = Yn * inverse(fy), Z = Zn * inverse(fy - b / 200);
  const double linear[3] = {3.2404542 * X - 1.5371385 * Y - 0.4985314 * Z,
                            -0.9692660 * X + 1.8760108 * Y + 0.0415560 * Z,
                            0.0556434 * X - 0.2040259 * Y + 1.0572252 * Z};
  for (int i = 0; i < 3; ++i) {
    const double c = std::clamp(linear[i], 0.0, 1.0);
    const double v = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
    rgb[i] = std::uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255));
  }
}

// The picture as shown: its stored rows and columns placed by the
// Orientation tag. 2 to 4 mirror it; 5 to 8 transpose it as well, so that
// its sides swap, as every other reader shows such a file.
QImage Oriented(QImage stored, std::uint16_t orientation) {
  if (orientation < ORIENTATION_TOPRIGHT || orientation > ORIENTATION_LEFTBOT) return stored;
  const int w = stored.width(), h = stored.height(), bytes = stored.depth() / 8;
  const bool transposed = orientation >= ORIENTATION_LEFTTOP;
  QImage shown(transposed ? h : w, transposed ? w : h, stored.format());
  if (shown.isNull()) throw std::bad_alloc();
  for (int y = 0; y < shown.height(); ++y) {
    std::uint8_t* d = shown.scanLine(y);
    for (int x = 0; x < shown.width(); ++x, d += bytes) {
      int sx = x, sy = y;  // the stored column and row of the shown pixel
      switch (orientation) {
        case ORIENTATION_TOPRIGHT: sx = w - 1 - x; break;
        case ORIENTATION_BOTRIGHT: sx = w - 1 - x, sy = h - 1 - y; break;
        case ORIENTATION_BOTLEFT: sy = h - 1 - y; break;
        case ORIENTATION_LEFTTOP: sx = y, sy = x; break;
        case ORIENTATION_RIGHTTOP: sx = y, sy = h - 1 - x; break;
        case ORIENTATION_RIGHTBOT: sx = w - 1 - y, sy = h - 1 - x; break;
        default: sx = w - 1 - y, sy = x; break;  // LEFTBOT
      }
      std::memcpy(d, stored.constScanLine(sy) + std::ptrdiff_t(sx) * bytes, std::size_t(bytes));
    }
  }
  return shown;
}

QImage ReadSamples(TIFF* tif, const TMemoryFile& file, std::uint32_t width, std::uint32_t height,
                   std::uint16_t samplesPerPixel, std::uint16_t bitsPerSample) {
  std::uint16_t photometric = PHOTOMETRIC_MINISBLACK, planar = PLANARCONFIG_CONTIG, sampleFormat = SAMPLEFORMAT_UINT;
  TIFFGetFieldDefaulted(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
  const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
  const bool cmyk = photometric == PHOTOMETRIC_SEPARATED;
  std::uint16_t inks = INKSET_CMYK;
  TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inks);
  const bool lab = IsLab(photometric);
  if (!(grey && samplesPerPixel >= 1) && !(photometric == PHOTOMETRIC_RGB && samplesPerPixel >= 3) &&
      !(cmyk && inks == INKSET_CMYK && samplesPerPixel >= 4 && bitsPerSample == 16) &&
      !(lab && samplesPerPixel >= 3 && (bitsPerSample == 8 || bitsPerSample == 16)))
    Fail(file, "TIFF colour space not supported for these samples");
  if (planar != PLANARCONFIG_CONTIG || TIFFIsTiled(tif)) Fail(file, "TIFF layout not supported for these samples");
  const bool integer = sampleFormat == SAMPLEFORMAT_UINT ||
                       (sampleFormat == SAMPLEFORMAT_INT && (bitsPerSample == 16 || bitsPerSample == 32));
  const bool real =
      sampleFormat == SAMPLEFORMAT_IEEEFP && (bitsPerSample == 16 || bitsPerSample == 32 || bitsPerSample == 64);
  if (!(integer && bitsPerSample != 64) && !(real && !cmyk && !lab)) Fail(file, "TIFF sample format not supported");

  const std::uint64_t samplesPerRow = std::uint64_t(width) * samplesPerPixel;
  const tmsize_t lineBytes = TIFFScanlineSize(tif);
  if (std::uint64_t(lineBytes) !=
      (bitsPerSample == 12 ? (samplesPerRow * 12 + 7) / 8 : samplesPerRow * bitsPerSample / 8))
    Fail(file, "TIFF scan lines of an unexpected size");
  // Some writers keep 12-bit samples one to a 16-bit word, in the file's byte
  // order, and say so only through the strips' lengths.
  std::uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  const std::uint64_t wordLine = samplesPerRow * 2;
  bool words = false;
  if (bitsPerSample == 12 && compression == COMPRESSION_NONE) {
    std::uint64_t stored = 0;
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(tif); ++s) stored += std::uint64_t(TIFFRawStripSize64(tif, s));
    words = stored == wordLine * height;
  }
  const bool bigEndianFile = TIFFIsBigEndian(tif) != 0;

  // One 16-bit ink, in native byte order as the library hands it over.
  auto ink = [](const std::uint8_t* line, std::uint64_t i) -> std::uint32_t {
    std::uint16_t v;
    std::memcpy(&v, line + 2 * i, 2);
    return v;
  };
  // Whether every 16-bit sample is 0 or 65535 (see below).
  bool twoLevel = true;
  // One sample scaled to 8 bits; the library hands over 32-bit samples in
  // native byte order and 12-bit ones packed, first sample in the high bits.
  auto sample = [&](const std::uint8_t* line, std::uint64_t i) -> std::uint8_t {
    if (bitsPerSample == 12) {
      unsigned v;
      if (words) {
        const std::uint8_t* p = line + 2 * i;
        v = bigEndianFile ? LoadBE16(p) : LoadLE16(p);
        v = std::min(v, 4095u);
      } else {
        const std::uint64_t bit = i * 12;
        const std::uint8_t* p = line + bit / 8;
        v = bit % 8 == 0 ? (unsigned(p[0]) << 4 | p[1] >> 4) : ((unsigned(p[0]) & 0x0F) << 8 | p[1]);
      }
      return std::uint8_t((v * 255 + 2047) / 4095);
    }
    if (real) {
      double v;
      if (bitsPerSample == 16) {
        std::uint16_t half;
        std::memcpy(&half, line + 2 * i, 2);
        v = HalfFloatValue(half);
      } else if (bitsPerSample == 32) {
        float f;
        std::memcpy(&f, line + 4 * i, 4);
        v = f;
      } else {
        std::memcpy(&v, line + 8 * i, 8);
      }
      return std::uint8_t(v > 0 ? std::lround(std::min(v, 1.0) * 255) : 0);  // a NaN too is black
    }
    if (bitsPerSample == 16) {
      std::uint16_t v;
      std::memcpy(&v, line + 2 * i, 2);
      twoLevel &= v == 0 || v == 0xFFFF;
      // Signed samples move up by 2^15, so that the most negative is black.
      if (sampleFormat == SAMPLEFORMAT_INT) v ^= 0x8000u;
      return std::uint8_t((std::uint32_t(v) * 255 + 32767) / 65535);
    }
    std::uint32_t v;
    std::memcpy(&v, line + 4 * i, 4);
    if (sampleFormat == SAMPLEFORMAT_INT) v ^= 0x80000000u;
    return std::uint8_t((std::uint64_t(v) * 255 + 0x7FFFFFFFu) / 0xFFFFFFFFu);
  };
  // L* (0..100), a* and b* of one pixel. CIELab stores a* and b* signed,
  // ICCLab moved up by half their range, and ITULab (the fax profile) maps
  // all three onto the sample's range: L* 0..100, a* -85..85, b* -75..125.
  const auto labOf = [&](const std::uint8_t* line, std::uint64_t first, double lab3[3]) {
    double raw[3];
    for (int k = 0; k < 3; ++k) {
      if (bitsPerSample == 8) {
        raw[k] = line[first + std::uint64_t(k)];
      } else {
        std::uint16_t v;
        std::memcpy(&v, line + 2 * (first + std::uint64_t(k)), 2);
        raw[k] = v;
      }
    }
    const double top = bitsPerSample == 8 ? 255.0 : 65535.0, unit = bitsPerSample == 8 ? 1.0 : 256.0;
    lab3[0] = raw[0] * 100 / top;
    if (photometric == PHOTOMETRIC_ITULAB) {
      lab3[1] = raw[1] * 170 / top - 85;
      lab3[2] = raw[2] * 200 / top - 75;
    } else {
      for (int k = 1; k < 3; ++k) {
        const double half = top / 2 + 0.5;  // 128 or 32768
        if (photometric == PHOTOMETRIC_ICCLAB)
          lab3[k] = (raw[k] - half) / unit;
        else
          lab3[k] = (raw[k] >= half ? raw[k] - (top + 1) : raw[k]) / unit;
      }
    }
  };

  // Raw strips for the word layout, decoded scan lines otherwise.
  std::vector<std::uint8_t> strip;
  tstrip_t stripIndex = tstrip_t(-1);
  std::uint32_t rowsPerStrip = height;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, height);
  std::vector<std::uint8_t> line(size_t(words ? wordLine : std::uint64_t(lineBytes)) + 1);
  auto readLine = [&](std::uint32_t y) -> const std::uint8_t* {
    if (!words) {
      if (TIFFReadScanline(tif, line.data(), y, 0) < 0) Fail(file, "TIFF scan line cannot be read");
      return line.data();
    }
    const tstrip_t s = tstrip_t(y / rowsPerStrip);
    if (s != stripIndex) {
      const tmsize_t size = TIFFRawStripSize(tif, s);
      if (size <= 0) Fail(file, "TIFF strip cannot be read");
      strip.assign(size_t(size), 0);
      if (TIFFReadRawStrip(tif, s, strip.data(), size) != size) Fail(file, "TIFF strip cannot be read");
      stripIndex = s;
    }
    const std::uint64_t at = std::uint64_t(y % rowsPerStrip) * wordLine;
    if (at + wordLine > strip.size()) Fail(file, "TIFF strip is too short");
    return strip.data() + at;
  };

  QImage image(int(width), int(height), QImage::Format_BGR888);
  if (image.isNull()) throw std::bad_alloc();
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t* l = readLine(y);
    std::uint8_t* d = image.scanLine(int(y));
    for (std::uint32_t x = 0; x < width; ++x, d += 3) {
      const std::uint64_t first = std::uint64_t(x) * samplesPerPixel;
      if (cmyk) {
        // Each colour is what its ink and the black leave of white.
        const std::uint64_t white = 65535 - ink(l, first + 3);
        const auto level = [&](std::uint32_t c) {
          return std::uint8_t(((65535 - c) * white / 65535 * 255 + 32767) / 65535);
        };
        d[2] = level(ink(l, first));
        d[1] = level(ink(l, first + 1));
        d[0] = level(ink(l, first + 2));
      } else if (lab) {
        double c[3];
        labOf(l, first, c);
        std::uint8_t rgb[3];
        LabToRgb(c[0], c[1], c[2], rgb);
        d[2] = rgb[0];
        d[1] = rgb[1];
        d[0] = rgb[2];
      } else if (grey) {
        std::uint8_t v = sample(l, first);
        if (photometric == PHOTOMETRIC_MINISWHITE) v = std::uint8_t(255 - v);
        d[0] = d[1] = d[2] = v;
      } else {
        d[2] = sample(l, first);
        d[1] = sample(l, first + 1);
        d[0] = sample(l, first + 2);
      }
    }
  }
  // Some writers label a two-level picture of 16-bit samples, 0 and 65535, as
  // signed: read as signed, it would be a flat grey of 0 and -1, which no
  // picture means. It is shown black and white, as the readers that take the
  // samples as unsigned show it; 0 and -1 became 128 and 127.
  if (sampleFormat == SAMPLEFORMAT_INT && bitsPerSample == 16 && twoLevel && !lab && !cmyk) {
    for (std::uint32_t y = 0; y < height; ++y) {
      std::uint8_t* d = image.scanLine(int(y));
      for (std::uint32_t x = 0; x < 3 * width; ++x) d[x] = d[x] == 128 ? 0 : 255;
    }
  }
  return image;
}

// libtiff's own routines for tiles of grey pixels of 16 bits, or of 8 bits
// with a second sample, step over the columns of a right-hand tile that lie
// past the picture's edge by as many bytes as there are such pixels, so
// that the rows of those tiles come out shifted. This one does what they do
// (the level from the map libtiff made, the 8-bit alpha sample kept) and
// steps by whole pixels.
void PutGreyTile(TIFFRGBAImage* img, std::uint32_t* cp, std::uint32_t, std::uint32_t, std::uint32_t w, std::uint32_t h,
                 std::int32_t fromskew, std::int32_t toskew, unsigned char* pp) {
  const std::ptrdiff_t bytes = img->bitspersample / 8, pixel = bytes * img->samplesperpixel;
  const bool alpha = bytes == 1 && img->alpha && img->samplesperpixel == 2;
  for (; h > 0; --h) {
    for (std::uint32_t x = 0; x < w; ++x, pp += pixel) {
      std::uint16_t level = pp[0];
      if (bytes == 2) {
        std::memcpy(&level, pp, 2);  // in native order, as libtiff hands it over
        level >>= 8;
      }
      std::uint32_t c = img->BWmap[level][0];
      if (alpha) c = (c & 0x00FFFFFFu) | std::uint32_t(pp[1]) << 24;
      *cp++ = c;
    }
    cp += toskew;
    pp += fromskew * pixel;
  }
}

// TIFFReadRGBAImageOriented, with PutGreyTile for the tiles it misplaces.
bool ReadRgbaRaster(TIFF* tif, std::uint32_t width, std::uint32_t height, std::uint32_t* raster,
                    std::uint16_t orientation) {
  char message[1024] = "";
  TIFFRGBAImage img;
  if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&img, tif, 0, message)) {
    TIFFErrorExtR(tif, TIFFFileName(tif), "%s", message);
    return false;
  }
  img.req_orientation = orientation;
  const bool grey = img.photometric == PHOTOMETRIC_MINISBLACK || img.photometric == PHOTOMETRIC_MINISWHITE;
  if (TIFFIsTiled(tif) && img.isContig && grey && img.BWmap &&
      (img.bitspersample == 16 || (img.bitspersample == 8 && img.samplesperpixel > 1)))
    img.put.contig = PutGreyTile;
  const bool read = TIFFRGBAImageGet(&img, raster, width, height) != 0;
  TIFFRGBAImageEnd(&img);
  return read;
}

// An uncompressed picture is its strips' (or tiles') bytes as they stand, so
// a large one whose strips, as far as they lie within the file, cannot cover
// it is refused before its pixels are allocated. Up to UnbackedPixels a
// damaged strip only leaves its rows empty, as with any other compression.
void CheckStoredBytes(TIFF* tif, const TMemoryFile& file, std::uint32_t width, std::uint32_t height) {
  if (std::int64_t(width) * height <= UnbackedPixels) return;
  const bool tiled = TIFFIsTiled(tif) != 0;
  const std::uint32_t count = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  // Each strip of an uncompressed picture holds at least a byte of its own.
  if (count == 0 || count > file.size) throw EImageError("TIFF strips do not fit the file");
  std::uint32_t rowsPerStrip = height;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, height);
  const std::uint32_t stripsPerPlane = std::uint32_t((std::uint64_t(height) + rowsPerStrip - 1) / rowsPerStrip);
  std::uint64_t needed = 0, held = 0;
  for (std::uint32_t s = 0; s < count; ++s) {
    const std::uint32_t top = (s % stripsPerPlane) * rowsPerStrip;
    const std::uint64_t size =
        tiled ? TIFFTileSize64(tif) : TIFFVStripSize64(tif, std::min(rowsPerStrip, height - top));
    if (size == 0) throw EImageError("TIFF strips of an unexpected size");
    needed += size;
    const std::uint64_t offset = TIFFGetStrileOffset(tif, s), bytes = TIFFGetStrileByteCount(tif, s);
    if (offset < file.size) held += std::min<std::uint64_t>(bytes, file.size - offset);
  }
  if (held < needed) throw EImageError("TIFF strips hold less than the picture needs");
}

// An open file and the fields every read of it starts with, checked. It
// stays where it is made: libtiff keeps the address of `file`.
struct TTiffHeader {
  TMemoryFile file;
  TTiffOptions options;
  TTiffHandle tif;
  std::uint32_t width = 0, height = 0;
  std::uint16_t samplesPerPixel = 1, bitsPerSample = 0, orientation = 1, photometric = PHOTOMETRIC_MINISBLACK;
  std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
};

void OpenTiff(TBytes data, TTiffHeader& h) {
  h.file.data = data.data();
  h.file.size = toff_t(data.size());
  h.options = NewTiffOptions(h.file.error);
  if (!h.options) throw std::bad_alloc();
  TIFFOpenOptionsSetMaxSingleMemAlloc(h.options.get(), MaxLibraryAllocation);
  h.tif = OpenMemoryTiff(h.file, h.options.get());
  if (!h.tif) Fail(h.file, "not a TIFF file");
  TIFF* tif = h.tif.get();
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &h.width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h.height))
    Fail(h.file, "TIFF picture without a size");
  TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &h.samplesPerPixel);
  TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &h.bitsPerSample);
  TIFFGetField(tif, TIFFTAG_ORIENTATION, &h.orientation);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &h.photometric);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &h.sampleFormat);

  // With a compression this build cannot decode, every strip would fail and
  // the reader, told to go on past damaged strips, would return a blank
  // picture as a success.
  std::uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  if (!TIFFIsCODECConfigured(compression)) throw EImageError("TIFF compression not supported");

  CheckPictureSize(h.width, h.height);
  if (compression == COMPRESSION_NONE) CheckStoredBytes(tif, h.file, h.width, h.height);
}

TDecodedTiff DecodeTiff(TBytes data) {
  InstallTiffQuietHandlers();
  const TTiffQuietScope quiet;
  TTiffHeader h;
  OpenTiff(data, h);
  TMemoryFile& file = h.file;
  TTiffHandle& tif = h.tif;
  const std::uint32_t width = h.width, height = h.height;
  const std::uint16_t samplesPerPixel = h.samplesPerPixel, bitsPerSample = h.bitsPerSample, orientation = h.orientation,
                      photometric = h.photometric;

  TDecodedTiff result;
  result.orientation = orientation;
  if (NeedsSampleReader(bitsPerSample, photometric, h.sampleFormat)) {
    result.image = Oriented(ReadSamples(tif.get(), file, width, height, samplesPerPixel, bitsPerSample), orientation);
    result.format = StoredFormat(samplesPerPixel, bitsPerSample);
    return result;
  }
  // libtiff's RGBA reader refuses an uncompressed tiled file ("Invalid tile
  // byte count", as ImageMagick writes one in tiles of 112 or 16 pixels)
  // unless the buffer it reads the first tile into holds exactly one tile,
  // and the buffer it makes itself is rounded up to 1024 bytes. It is given
  // ours, of one tile: no larger than the file, which holds the tiles.
  std::vector<std::uint8_t> tileBuffer;
  if (TIFFIsTiled(tif.get())) {
    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &compression);
    const tmsize_t tileSize = TIFFTileSize(tif.get());
    if (compression == COMPRESSION_NONE && tileSize > 0 && toff_t(tileSize) <= file.size) {
      tileBuffer.resize(std::size_t(tileSize));
      TIFFReadBufferSetup(tif.get(), tileBuffer.data(), tileSize);
    }
  }
  QImage image(int(width), int(height), QImage::Format_ARGB32);
  if (image.isNull() || image.bytesPerLine() != qsizetype(width) * 4) throw std::bad_alloc();
  // Rows of strips the reader cannot decode stay transparent black.
  image.fill(0);
  // The raster comes as stored (asked in the file's own orientation, the
  // library moves nothing), to be oriented below as the sample reader's is:
  // the library mirrors but never transposes. Damaged strips do not stop the
  // reader.
  if (!ReadRgbaRaster(tif.get(), width, height, reinterpret_cast<std::uint32_t*>(image.bits()), orientation))
    Fail(file, "TIFF picture cannot be converted");
  tif.reset();

  // The reader packs red in the low byte; our pixels hold blue, green, red,
  // alpha in memory. Every pixel is repacked, bilevel ones too: a 1-bit file
  // may carry a colour palette.
  bool hasAlpha = false;
  for (int y = 0; y < image.height(); ++y) {
    std::uint8_t* p = image.scanLine(y);
    for (std::uint32_t x = 0; x < width; ++x, p += 4) {
      std::uint32_t v;
      std::memcpy(&v, p, 4);
      p[0] = std::uint8_t(TIFFGetB(v));
      p[1] = std::uint8_t(TIFFGetG(v));
      p[2] = std::uint8_t(TIFFGetR(v));
      p[3] = std::uint8_t(TIFFGetA(v));
      hasAlpha |= p[3] != 255;
    }
  }
  // The reader hands colours multiplied by their alpha (associated alpha as
  // stored, unassociated alpha multiplied): our pixels hold them straight.
  if (hasAlpha) {
    for (int y = 0; y < image.height(); ++y) {
      std::uint8_t* p = image.scanLine(y);
      for (std::uint32_t x = 0; x < width; ++x, p += 4) {
        const unsigned a = p[3];
        if (a == 0 || a == 255) continue;
        for (int i = 0; i < 3; ++i) p[i] = std::uint8_t(std::min(255u, (p[i] * 255u + a / 2) / a));
      }
    }
  }

  if (hasAlpha) {
    result.image = Oriented(std::move(image), orientation);
    result.format = pf32bit;
  } else {
    QImage rgb(int(width), int(height), QImage::Format_BGR888);
    if (rgb.isNull()) throw std::bad_alloc();
    for (int y = 0; y < rgb.height(); ++y) {
      const std::uint8_t* s = image.constScanLine(y);
      std::uint8_t* d = rgb.scanLine(y);
      for (std::uint32_t x = 0; x < width; ++x, s += 4, d += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
      }
    }
    image = QImage();
    result.image = Oriented(std::move(rgb), orientation);
    result.format = StoredFormat(samplesPerPixel, bitsPerSample);
  }
  return result;
}

}  // namespace

double HalfFloatValue(std::uint16_t h) {
  const int exponent = (h >> 10) & 0x1F, fraction = h & 0x3FF;
  double v;
  if (exponent == 0)
    v = std::ldexp(fraction, -24);
  else if (exponent == 31)
    v = fraction ? std::nan("") : HUGE_VAL;
  else
    v = std::ldexp(fraction + 1024, exponent - 25);
  return h & 0x8000 ? -v : v;
}

bool IsTiffFile(const QString& fileName) { return HasDirectExtension(TPictureFormat::Tiff, fileName); }
void TTiffImage::ReadBytes(TBytes data) {
  SourceFormat = pfDevice;
  SourceOrientation = 0;
  // Everything read lands in this object: several may decode at once.
  TDecodedTiff decoded = DecodeTiff(data);
  m_bitmap.SetImage(std::move(decoded.image), decoded.format == pf32bit ? pf32bit : pf24bit);
  m_bitmap.Transparent = false;
  SourceFormat = decoded.format;
  SourceOrientation = decoded.orientation;
}

bool TTiffImage::ReadHeaderBytes(TBytes data, TPictureHeader& header) {
  InstallTiffQuietHandlers();
  const TTiffQuietScope quiet;
  TTiffHeader h;
  OpenTiff(data, h);
  // As the picture stands once read: orientations 5 to 8 are transposed.
  const bool transposed = h.orientation >= 5 && h.orientation <= 8;
  header.Width = int(transposed ? h.height : h.width);
  header.Height = int(transposed ? h.width : h.height);
  header.BitsPerPixel = int(h.samplesPerPixel) * int(h.bitsPerSample ? h.bitsPerSample : 1);
  return true;
}

void TTiffImage::WriteBytes(TByteBuffer& out) { WriteTiff(out, m_bitmap, TiffResolutionFraction(Options.Resolution)); }
