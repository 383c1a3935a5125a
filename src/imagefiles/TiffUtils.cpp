#include "imagefiles/TiffUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include "imagefiles/CodecHelpers.h"
#include "imagefiles/FileBytes.h"
#include "imagefiles/PictureFormats.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

// libtiff may allocate a strip or tile buffer per the file's own claims;
// no single buffer of a picture we accept needs more than this.
constexpr tmsize_t MaxLibraryAllocation = tmsize_t(1) << 30;

// The file as libtiff sees it: the caller's bytes, read through callbacks.
// Mapping is refused so that libtiff never holds a pointer into them.
struct TMemoryFile {
  const std::uint8_t* data = nullptr;
  toff_t size = 0;
  toff_t pos = 0;
  std::string error;  // the first error libtiff reported
};

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t n) {
  auto* file = static_cast<TMemoryFile*>(handle);
  if (n <= 0 || file->pos >= file->size) return 0;
  const toff_t count = std::min<toff_t>(toff_t(n), file->size - file->pos);
  std::memcpy(buffer, file->data + file->pos, size_t(count));
  file->pos += count;
  return tmsize_t(count);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return -1; }

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<TMemoryFile*>(handle);
  toff_t base = 0;
  if (whence == SEEK_CUR)
    base = file->pos;
  else if (whence == SEEK_END)
    base = file->size;
  else if (whence != SEEK_SET)
    return toff_t(-1);
  // A relative seek backwards arrives as a wrapped unsigned offset; going
  // past the end is allowed, the next read simply finds nothing.
  const toff_t target = base + offset;
  if (whence != SEEK_SET && std::int64_t(offset) < 0 && target > base) return toff_t(-1);
  file->pos = target;
  return target;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return static_cast<TMemoryFile*>(handle)->size; }
int MapProc(thandle_t, tdata_t*, toff_t*) { return 0; }
void UnmapProc(thandle_t, tdata_t, toff_t) {}

// Keeps the first error libtiff reports on a file (TMemoryFile or
// TWriteFile).
template <class TFile>
int OnTiffError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* file = static_cast<TFile*>(user);
  if (file->error.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    file->error = module ? std::string(module) + ": " + text : std::string(text);
  }
  return 1;  // handled: nothing reaches the global handlers
}

int OnTiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// The few messages libtiff still sends to its global handlers (those raised
// without a file handle) are dropped while one of our reads runs on this
// thread, and passed on as before otherwise.
thread_local int t_quietReads = 0;
TIFFErrorHandler g_previousError = nullptr;
TIFFErrorHandler g_previousWarning = nullptr;

void QuietError(const char* module, const char* fmt, va_list ap) {
  if (t_quietReads == 0 && g_previousError) g_previousError(module, fmt, ap);
}
void QuietWarning(const char* module, const char* fmt, va_list ap) {
  if (t_quietReads == 0 && g_previousWarning) g_previousWarning(module, fmt, ap);
}

void InstallQuietHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_previousError = TIFFSetErrorHandler(QuietError);
    g_previousWarning = TIFFSetWarningHandler(QuietWarning);
  });
}

struct TQuietScope {
  TQuietScope() { ++t_quietReads; }
  ~TQuietScope() { --t_quietReads; }
  TQuietScope(const TQuietScope&) = delete;
  TQuietScope& operator=(const TQuietScope&) = delete;
};

struct TOptionsDeleter {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};
struct TTiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};

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
  std::unique_ptr<TIFFOpenOptions, TOptionsDeleter> options;
  std::unique_ptr<TIFF, TTiffCloser> tif;
  std::uint32_t width = 0, height = 0;
  std::uint16_t samplesPerPixel = 1, bitsPerSample = 0, orientation = 1, photometric = PHOTOMETRIC_MINISBLACK;
  std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
};

void OpenTiff(TBytes data, TTiffHeader& h) {
  h.file.data = data.data();
  h.file.size = toff_t(data.size());
  h.options.reset(TIFFOpenOptionsAlloc());
  if (!h.options) throw std::bad_alloc();
  TIFFOpenOptionsSetErrorHandlerExtR(h.options.get(), OnTiffError<TMemoryFile>, &h.file);
  TIFFOpenOptionsSetWarningHandlerExtR(h.options.get(), OnTiffWarning, &h.file);
  TIFFOpenOptionsSetMaxSingleMemAlloc(h.options.get(), MaxLibraryAllocation);

  // "m": no memory mapping, so libtiff reads through ReadProc only.
  h.tif.reset(TIFFClientOpenExt("memory", "rm", &h.file, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                                UnmapProc, h.options.get()));
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
  InstallQuietHandlers();
  const TQuietScope quiet;
  TTiffHeader h;
  OpenTiff(data, h);
  TMemoryFile& file = h.file;
  std::unique_ptr<TIFF, TTiffCloser>& tif = h.tif;
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

namespace {

// The open file of a TTiffWriter, for libtiff's procedures: writes go
// straight to it, and the first failure's errno is kept.
struct TWriteFile {
  int fd = -1;
  int systemError = 0;
  std::string error;  // the first error libtiff reported
};

tmsize_t FileRead(thandle_t handle, void* buffer, tmsize_t n) {
  const ssize_t done = ::read(static_cast<TWriteFile*>(handle)->fd, buffer, size_t(n));
  return done < 0 ? 0 : tmsize_t(done);
}

tmsize_t FileWrite(thandle_t handle, void* buffer, tmsize_t n) {
  auto* file = static_cast<TWriteFile*>(handle);
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  tmsize_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(file->fd, bytes + done, size_t(n - done));
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) {
      if (file->systemError == 0) file->systemError = errno;
      return -1;
    }
    done += w;
  }
  return done;
}

toff_t FileSeek(thandle_t handle, toff_t offset, int whence) {
  const off_t at = ::lseek(static_cast<TWriteFile*>(handle)->fd, off_t(offset), whence);
  return at < 0 ? toff_t(-1) : toff_t(at);
}

toff_t FileSize(thandle_t handle) {
  struct stat st {};
  return ::fstat(static_cast<TWriteFile*>(handle)->fd, &st) == 0 ? toff_t(st.st_size) : 0;
}

}  // namespace

struct TTiffWriter::TState {
  TWriteFile file;
  std::unique_ptr<TIFFOpenOptions, TOptionsDeleter> options;
  std::unique_ptr<TIFF, TTiffCloser> tif;
  std::vector<std::uint8_t> strip;  // RGB rows of the strip being filled
  std::uint32_t width = 0, height = 0, rowsPerStrip = 0, rows = 0;
};

bool TiffNeedsBig(std::uint64_t width, std::uint64_t height) {
  // The pixels, a strip's offset and count each, and room for the rest.
  return 3 * width * height + 16 * height + 65536 > 0xFFFFFFFFu;
}

TTiffWriter::TTiffWriter(int fd, int width, int height, TTiffRational resolution) : m_state(new TState) {
  if (width < 1 || height < 1) throw EImageError("no picture to write");
  InstallQuietHandlers();
  TState& st = *m_state;
  st.file.fd = fd;
  st.width = std::uint32_t(width);
  st.height = std::uint32_t(height);
  st.options.reset(TIFFOpenOptionsAlloc());
  if (!st.options) throw EImageError("not enough memory");
  TIFFOpenOptionsSetErrorHandlerExtR(st.options.get(), OnTiffError<TWriteFile>, &st.file);
  TIFFOpenOptionsSetWarningHandlerExtR(st.options.get(), OnTiffWarning, &st.file);
  const bool big = TiffNeedsBig(st.width, st.height);
  st.tif.reset(TIFFClientOpenExt("output", big ? "w8" : "w", &st.file, FileRead, FileWrite, FileSeek, CloseProc,
                                 FileSize, MapProc, UnmapProc, st.options.get()));
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
    const std::uint8_t* s = band.ScanLine(y);
    const size_t at = st.strip.size();
    st.strip.resize(at + 3 * size_t(st.width));
    std::uint8_t* d = st.strip.data() + at;
    for (std::uint32_t x = 0; x < st.width; ++x, s += 3, d += 3) {
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
    }
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
  for (int y = 0; y < source->Height(); ++y, d += rowBytes) {
    const std::uint8_t* s = source->ScanLine(y);
    std::uint8_t* p = d;
    for (std::uint64_t x = 0; x < width; ++x, s += bytesPerPixel, p += 3) {
      p[0] = s[2];
      p[1] = s[1];
      p[2] = s[0];
    }
  }
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
  InstallQuietHandlers();
  const TQuietScope quiet;
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
