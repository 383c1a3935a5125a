#include "imagefiles/PngImage.h"

#include <png.h>
#include <zlib.h>

#include "imagefiles/CodecHelpers.h"
#include "imagefiles/ZlibStream.h"

#include <QList>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t SignatureSize = 8;
constexpr std::size_t MaxIdatBytes = 65535;
// Ancillary chunks (text, profiles) are not worth more memory than this.
constexpr png_alloc_size_t MaxChunkBytes = 8 << 20;

const std::uint8_t PngSignature[SignatureSize] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Length, type, data and the CRC of type and data.
void PutChunk(TByteBuffer& out, const char type[4], const std::uint8_t* data, std::size_t size) {
  PutBE32(out, std::uint32_t(size));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  if (size) out.insert(out.end(), data, data + size);
  PutBE32(out, std::uint32_t(crc32(0, out.data() + start, uInt(out.size() - start))));
}

[[noreturn]] void Fail(const char* what) { throw EImageError(std::string("PNG: ") + what); }

// What the libpng calls share. Plain data only: ReadHeader and ReadRows call
// setjmp and hold nothing with a destructor, so a longjmp out
// of libpng skips no C++ clean-up. The owners of libpng's structures live in
// the callers of these functions.
struct TPngState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  char message[160] = {};
  const std::uint8_t* data = nullptr;  // reading from memory
  std::size_t size = 0;
  std::size_t pos = 0;
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 0;
  int colorType = 0;
  int fileChannels = 0;  // before our transformations
  png_size_t rowBytes = 0;
  int orientation = 1;  // from an eXIf chunk before the image data
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
  // Browsers turn a PNG upright by its eXIf chunk as they do a JPEG photo;
  // one after the image data comes too late, and they, libvips, ImageMagick
  // and Qt leave the picture as stored (see ReadRows).
  png_uint_32 exifSize = 0;
  png_bytep exif = nullptr;
  if (png_get_eXIf_1(st->png, st->info, &exifSize, &exif) && exif)
    st->orientation = ExifBlockOrientation(exif, exifSize);
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
    default: png_set_bgr(st->png);
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

// The bytes of image data the file holds, found by walking its chunks.
std::uint64_t IdatBytes(TBytes d) {
  std::uint64_t total = 0;
  std::size_t pos = SignatureSize;
  while (d.size() - pos >= 12) {
    const std::uint64_t length = ReadBE32(d, pos);
    const std::uint8_t* type = &d[pos + 4];
    const std::uint64_t present = std::min<std::uint64_t>(length, d.size() - pos - 8);
    if (std::memcmp(type, "IDAT", 4) == 0) total += present;
    if (std::memcmp(type, "IEND", 4) == 0 || d.size() - pos - 12 < length) break;
    pos += std::size_t(12 + length);
  }
  return total;
}

// Whether every chunk before the image data lies within the file. libpng
// allocates some chunks' buffers (eXIf) by their stated length before reading
// them, so a short file claiming a huge one is refused before that.
bool ChunksBeforeDataFit(TBytes d) {
  std::size_t pos = SignatureSize;
  while (d.size() - pos >= 8) {
    const std::uint64_t length = ReadBE32(d, pos);
    if (std::memcmp(&d[pos + 4], "IDAT", 4) == 0) return true;
    if (length + 12 > d.size() - pos) return false;
    pos += std::size_t(12 + length);
  }
  return true;  // what libpng finds missing, it says so itself
}

struct TReadStructs {
  TPngState& st;
  ~TReadStructs() { png_destroy_read_struct(&st.png, st.info ? &st.info : nullptr, nullptr); }
};

// The header read and checks that start every read, and the quick header
// read on its own; st's owner frees what it creates.
void StartRead(TPngState& st, TBytes data) {
  if (data.size() < SignatureSize || png_sig_cmp(data.data(), 0, SignatureSize) != 0) Fail("not a PNG file");
  if (!ChunksBeforeDataFit(data)) Fail("file is truncated");
  st.data = data.data();
  st.size = data.size();
  st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &st, OnError, OnWarning);
  if (!st.png) Fail("not enough memory");
  st.info = png_create_info_struct(st.png);
  if (!st.info) Fail("not enough memory");
  png_set_read_fn(st.png, &st, ReadFromMemory);
  png_set_user_limits(st.png, png_uint_32(MaxPictureSide), png_uint_32(MaxPictureSide));
  png_set_chunk_malloc_max(st.png, MaxChunkBytes);

  if (!ReadHeader(&st)) Fail(st.message);
  // Deflate bounds the bytes of pixel data a file byte may give: pictures of
  // fewer than 8 bits a pixel (a scanned page) hold more pixels for each.
  const int bitsPerPixel = st.fileChannels * st.bitDepth;
  CheckPictureSize(st.width, st.height, bitsPerPixel < 8 ? MaxDeflateRatio * 8 / bitsPerPixel : MaxDeflateRatio);
  const std::uint64_t pixelBits = std::uint64_t(st.width) * st.height * st.fileChannels * st.bitDepth;
  if (pixelBits / 8 > IdatBytes(data) * std::uint64_t(MaxDeflateRatio) + 1024)
    Fail("image data is too short for the picture");
}

}  // namespace

bool TPngImage::ReadHeaderBytes(TBytes data, TPictureHeader& header) {
  TPngState st;
  TReadStructs owner{st};
  StartRead(st, data);
  header.Width = int(st.width);
  header.Height = int(st.height);
  if (st.orientation >= 5) std::swap(header.Width, header.Height);  // as shown: turned a quarter
  header.BitsPerPixel = st.fileChannels * st.bitDepth;
  return true;
}

void TPngImage::ReadBytes(TBytes data) {
  try {
    TPngState st;
    TReadStructs owner{st};
    StartRead(st, data);

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
        PadColorTable(table, LargestIndex(img));
      } else {
        table = GreyRamp(256);
      }
      img.setColorTable(table);
    }
    if (st.orientation != 1) img = ExifUpright(img, st.orientation);
    TBitmap result;
    result.SetImage(std::move(img), pf);
    m_bitmap = std::move(result);
  } catch (const std::bad_alloc&) {
    Fail("not enough memory for the picture");
  }
}

void PutPngHead(TByteBuffer& out, int width, int height, double resolution) {
  double perMetre = resolution * 100.0 / 2.54;
  if (!(perMetre >= 0.0)) perMetre = 0.0;  // also a NaN
  perMetre = std::min(perMetre, 2147483647.0);
  out.insert(out.end(), PngSignature, PngSignature + SignatureSize);
  TByteBuffer header;
  PutBE32(header, std::uint32_t(width));
  PutBE32(header, std::uint32_t(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive filters, not interlaced
  PutChunk(out, "IHDR", header.data(), header.size());
  TByteBuffer physical;
  PutBE32(physical, std::uint32_t(perMetre));
  PutBE32(physical, std::uint32_t(perMetre));
  physical.push_back(1);  // per metre
  PutChunk(out, "pHYs", physical.data(), physical.size());
}

void FilterPngRow(const std::uint8_t* p, int width, std::uint8_t* o) {
  // Filter Sub, from the BGR scan line to RGB samples.
  *o++ = 1;
  std::uint8_t left[3] = {0, 0, 0};
  for (int x = 0; x < width; ++x, p += 3, o += 3) {
    o[0] = std::uint8_t(p[2] - left[0]);
    o[1] = std::uint8_t(p[1] - left[1]);
    o[2] = std::uint8_t(p[0] - left[2]);
    left[0] = p[2], left[1] = p[1], left[2] = p[0];
  }
}

void TPngImageData::Add(const std::uint8_t* data, std::size_t size, TByteBuffer& out) {
  if (m_chunk.capacity() < MaxIdatBytes) m_chunk.reserve(MaxIdatBytes);
  while (size) {
    const std::size_t take = std::min(size, MaxIdatBytes - m_chunk.size());
    m_chunk.insert(m_chunk.end(), data, data + take);
    data += take;
    size -= take;
    if (m_chunk.size() == MaxIdatBytes) {
      PutChunk(out, "IDAT", m_chunk.data(), m_chunk.size());
      m_chunk.clear();
    }
  }
}

void TPngImageData::Finish(TByteBuffer& out) {
  if (!m_chunk.empty()) PutChunk(out, "IDAT", m_chunk.data(), m_chunk.size());
  m_chunk.clear();
  PutChunk(out, "IEND", nullptr, 0);
}

void TPngImage::WriteBytes(TByteBuffer& out) {
  if (m_bitmap.Empty()) Fail("there is no picture to write");
  try {
    TBitmap converted;
    const TBitmap* source = &m_bitmap;
    if (m_bitmap.PixelFormat() != pf24bit || m_bitmap.Image().format() != QImage::Format_BGR888) {
      converted = m_bitmap;
      converted.SetPixelFormat(pf24bit);
      source = &converted;
    }
    const int width = source->Width();
    // The layout is fixed, so the file is written here rather than through
    // libpng: that lets the image data be compressed on every core, and
    // written into the file as it comes, without a copy of the whole stream.
    const std::size_t rowBytes = 1 + std::size_t(width) * 3;
    const std::size_t rawBytes = rowBytes * std::size_t(source->Height());
    try {
      // Room for the stream's worst case; pages not written cost nothing.
      out.reserve(out.size() + rawBytes + rawBytes / 512 + 4096);
    } catch (const std::bad_alloc&) {
      // The buffer then grows as it fills.
    }
    PutPngHead(out, width, source->Height(), Options.Resolution);
    TPngImageData chunks;
    DeflateRows(
        source->Height(), rowBytes,
        [source, width](int row, std::uint8_t* o) { FilterPngRow(source->ScanLine(row), width, o); },
        PngCompressionLevel, [&](const std::uint8_t* data, std::size_t size) { chunks.Add(data, size, out); });
    chunks.Finish(out);
  } catch (const std::bad_alloc&) {
    Fail("not enough memory to write the picture");
  }
}
