#include "PngImage.h"

#include <png.h>

#include <QList>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr std::size_t SignatureSize = 8;
constexpr std::size_t MaxIdatBytes = 65535;
constexpr int CompressionLevel = 7;
// Deflate turns one compressed byte into at most 1032 bytes; a picture larger
// than its image data can hold is refused before its pixels are allocated.
constexpr std::uint64_t MaxInflateRatio = 1032;
// Ancillary chunks (text, profiles) are not worth more memory than this.
constexpr png_alloc_size_t MaxChunkBytes = 8 << 20;

[[noreturn]] void Fail(const char* what) { throw EImageError(std::string("PNG: ") + what); }

// What the libpng calls share. Plain data only: ReadHeader, ReadRows and
// WriteImage call setjmp and hold nothing with a destructor, so a longjmp out
// of libpng skips no C++ clean-up. The owners of libpng's structures live in
// the callers of these functions.
struct TPngState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  char message[160] = {};
  const std::uint8_t* data = nullptr;  // reading from memory
  std::size_t size = 0;
  std::size_t pos = 0;
  TByteBuffer* out = nullptr;  // writing to memory
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 0;
  int colorType = 0;
  int fileChannels = 0;  // before our transformations
  png_size_t rowBytes = 0;
};

void OnError(png_structp png, png_const_charp msg) {
  auto* st = static_cast<TPngState*>(png_get_error_ptr(png));
  std::snprintf(st->message, sizeof st->message, "%s", msg ? msg : "libpng error");
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadFromMemory(png_structp png, png_bytep buf, png_size_t len) {
  auto* st = static_cast<TPngState*>(png_get_io_ptr(png));
  if (st->size - st->pos < len) png_error(png, "file is truncated");
  std::memcpy(buf, st->data + st->pos, len);
  st->pos += len;
}

void WriteToMemory(png_structp png, png_bytep data, png_size_t len) {
  auto* st = static_cast<TPngState*>(png_get_io_ptr(png));
  bool stored = true;
  try {
    st->out->insert(st->out->end(), data, data + len);
  } catch (const std::bad_alloc&) {
    stored = false;
  }
  if (!stored) png_error(png, "not enough memory");  // outside the handler: it longjmps
}

void FlushMemory(png_structp) {}

// Reads the chunks up to the image data and sets the transformations to our
// pixel layouts: palette indexes one a byte (1-bit kept packed), grey
// expanded to 8 bits, colour as blue, green, red (, alpha), 16 bits scaled
// to 8, interlaced passes combined.
bool ReadHeader(TPngState* st) {
  if (setjmp(png_jmpbuf(st->png))) return false;
  png_read_info(st->png, st->info);
  int interlace = PNG_INTERLACE_NONE;
  png_get_IHDR(st->png, st->info, &st->width, &st->height, &st->bitDepth, &st->colorType, &interlace, nullptr, nullptr);
  st->fileChannels = png_get_channels(st->png, st->info);
  switch (st->colorType) {
    case PNG_COLOR_TYPE_PALETTE:
      if (st->bitDepth == 2 || st->bitDepth == 4) png_set_packing(st->png);
      break;
    case PNG_COLOR_TYPE_GRAY:
      if (st->bitDepth < 8) png_set_expand_gray_1_2_4_to_8(st->png);
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      png_set_gray_to_rgb(st->png);
      png_set_bgr(st->png);
      break;
    default:
      png_set_bgr(st->png);
  }
  if (st->bitDepth == 16) png_set_scale_16(st->png);
  if (interlace != PNG_INTERLACE_NONE) png_set_interlace_handling(st->png);
  png_read_update_info(st->png, st->info);
  st->rowBytes = png_get_rowbytes(st->png, st->info);
  return true;
}

// Whatever follows the last row (text, the end chunk) is not read: the
// picture is complete without it.
bool ReadRows(TPngState* st, png_bytepp rows) {
  if (setjmp(png_jmpbuf(st->png))) return false;
  png_read_image(st->png, rows);
  return true;
}

bool WriteImage(TPngState* st, png_bytepp rows, png_uint_32 pixelsPerMetre) {
  if (setjmp(png_jmpbuf(st->png))) return false;
  png_set_IHDR(st->png, st->info, st->width, st->height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_pHYs(st->png, st->info, pixelsPerMetre, pixelsPerMetre, PNG_RESOLUTION_METER);
  png_set_compression_level(st->png, CompressionLevel);
  png_set_filter(st->png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  // libpng writes one IDAT chunk per filled compression buffer.
  png_set_compression_buffer_size(st->png, MaxIdatBytes);
  png_write_info(st->png, st->info);
  png_set_bgr(st->png);
  png_write_image(st->png, rows);
  png_write_end(st->png, nullptr);
  return true;
}

std::uint32_t Be32(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | std::uint32_t(p[3]);
}

// The bytes of image data the file holds, found by walking its chunks.
std::uint64_t IdatBytes(TBytes d) {
  std::uint64_t total = 0;
  std::size_t pos = SignatureSize;
  while (d.size() - pos >= 12) {
    const std::uint64_t length = Be32(&d[pos]);
    const std::uint8_t* type = &d[pos + 4];
    const std::uint64_t present = std::min<std::uint64_t>(length, d.size() - pos - 8);
    if (std::memcmp(type, "IDAT", 4) == 0) total += present;
    if (std::memcmp(type, "IEND", 4) == 0 || d.size() - pos - 12 < length) break;
    pos += std::size_t(12 + length);
  }
  return total;
}

struct TReadStructs {
  TPngState& st;
  ~TReadStructs() { png_destroy_read_struct(&st.png, st.info ? &st.info : nullptr, nullptr); }
};

struct TWriteStructs {
  TPngState& st;
  ~TWriteStructs() { png_destroy_write_struct(&st.png, st.info ? &st.info : nullptr); }
};

}  // namespace

void TPngImage::LoadFromBytes(TBytes data) {
  if (data.size() < SignatureSize || png_sig_cmp(data.data(), 0, SignatureSize) != 0) Fail("not a PNG file");
  try {
    TPngState st;
    st.data = data.data();
    st.size = data.size();
    st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &st, OnError, OnWarning);
    if (!st.png) Fail("not enough memory");
    TReadStructs owner{st};
    st.info = png_create_info_struct(st.png);
    if (!st.info) Fail("not enough memory");
    png_set_read_fn(st.png, &st, ReadFromMemory);
    png_set_user_limits(st.png, png_uint_32(MaxPictureSide), png_uint_32(MaxPictureSide));
    png_set_chunk_malloc_max(st.png, MaxChunkBytes);

    if (!ReadHeader(&st)) Fail(st.message);
    CheckPictureSize(st.width, st.height);
    const std::uint64_t pixelBits = std::uint64_t(st.width) * st.height * st.fileChannels * st.bitDepth;
    if (pixelBits / 8 > IdatBytes(data) * MaxInflateRatio + 1024) Fail("image data is too short for the picture");

    QImage::Format format = QImage::Format_Indexed8;
    TPixelFormat pf = pf8bit;
    const bool palette = st.colorType == PNG_COLOR_TYPE_PALETTE;
    if (palette && st.bitDepth == 1) {
      format = QImage::Format_Mono;
      pf = pf1bit;
    } else if (palette && st.bitDepth < 8) {
      pf = pf4bit;
    } else if (st.colorType == PNG_COLOR_TYPE_RGB) {
      format = QImage::Format_BGR888;
      pf = pf24bit;
    } else if (st.colorType & PNG_COLOR_MASK_ALPHA) {
      format = QImage::Format_ARGB32;
      pf = pf32bit;
    }
    QImage img(int(st.width), int(st.height), format);
    if (img.isNull()) Fail("not enough memory for the picture");
    if (st.rowBytes > std::size_t(img.bytesPerLine())) Fail("unexpected row layout");
    std::vector<png_bytep> rows(st.height);
    for (png_uint_32 y = 0; y < st.height; ++y) rows[y] = img.scanLine(int(y));
    if (!ReadRows(&st, rows.data())) Fail(st.message);

    if (format == QImage::Format_Mono || format == QImage::Format_Indexed8) {
      QList<QRgb> table;
      if (palette) {
        png_colorp colors = nullptr;
        int count = 0;
        png_bytep alpha = nullptr;
        int alphaCount = 0;
        png_get_PLTE(st.png, st.info, &colors, &count);
        png_get_tRNS(st.png, st.info, &alpha, &alphaCount, nullptr);
        count = std::min(count, 1 << st.bitDepth);
        for (int i = 0; i < count; ++i)
          table.append(qRgba(colors[i].red, colors[i].green, colors[i].blue, i < alphaCount && alpha ? alpha[i] : 255));
        // Indexes the palette does not cover show as black.
        int maxIndex = 0;
        if (format == QImage::Format_Mono) {
          maxIndex = 1;
        } else {
          for (int y = 0; y < img.height() && maxIndex < 255; ++y) {
            const uchar* row = img.constScanLine(y);
            maxIndex = std::max<int>(maxIndex, *std::max_element(row, row + img.width()));
          }
        }
        while (table.size() <= maxIndex) table.append(qRgb(0, 0, 0));
      } else {
        for (int i = 0; i < 256; ++i) table.append(qRgb(i, i, i));
      }
      img.setColorTable(table);
    }
    TBitmap result;
    result.SetImage(std::move(img), pf);
    m_bitmap = std::move(result);
  } catch (const std::bad_alloc&) {
    Fail("not enough memory for the picture");
  }
}

void TPngImage::SaveToBytes(TByteBuffer& out) {
  if (m_bitmap.Empty()) Fail("there is no picture to write");
  try {
    TBitmap converted;
    const TBitmap* source = &m_bitmap;
    if (m_bitmap.PixelFormat() != pf24bit || m_bitmap.Image().format() != QImage::Format_BGR888) {
      converted = m_bitmap;
      converted.SetPixelFormat(pf24bit);
      source = &converted;
    }
    // libpng copies each row before it transforms it, so the rows stay untouched.
    std::vector<png_bytep> rows(std::size_t(source->Height()));
    for (int y = 0; y < source->Height(); ++y) rows[std::size_t(y)] = const_cast<png_bytep>(source->ScanLine(y));
    double perMetre = Resolution * 100.0 / 2.54;
    if (!(perMetre >= 0.0)) perMetre = 0.0;  // also a NaN
    perMetre = std::min(perMetre, 2147483647.0);

    TByteBuffer file;
    TPngState st;
    st.out = &file;
    st.width = png_uint_32(source->Width());
    st.height = png_uint_32(source->Height());
    st.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &st, OnError, OnWarning);
    if (!st.png) Fail("not enough memory");
    TWriteStructs owner{st};
    st.info = png_create_info_struct(st.png);
    if (!st.info) Fail("not enough memory");
    png_set_write_fn(st.png, &st, WriteToMemory, FlushMemory);
    png_set_user_limits(st.png, 0x7FFFFFFF, 0x7FFFFFFF);
    if (!WriteImage(&st, rows.data(), png_uint_32(perMetre))) Fail(st.message);
    out.insert(out.end(), file.begin(), file.end());
  } catch (const std::bad_alloc&) {
    Fail("not enough memory to write the picture");
  }
}
