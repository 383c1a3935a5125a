#include "imagefiles/JpegImage.h"

#include "imagefiles/CodecHelpers.h"
#include "imagefiles/FileBytes.h"

// jpeglib.h needs FILE and size_t declared first.
// clang-format off
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <array>
#include <climits>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "raster/MemoryHints.h"

// libjpeg reports errors by calling error_exit, which must not return: ours
// longjmps back to the function that armed the jump. Every function below
// that calls setjmp holds only plain C data in its frame and touches the
// session through a pointer, so the jump skips no destructor and no local
// variable is read after it. The C++ objects (pixel memory, row tables, the
// guard that destroys the library object) live in the caller's frame.

namespace {

// Progressive files are decoded scan by scan; a file with this many scans is
// hostile, not a photograph, and would only burn time.
constexpr int MaxScans = 500;

// The grey ramp of grey files: 236 levels from black to white.
constexpr int GreyLevels = 236;

struct TJpegError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JumpWith(j_common_ptr cinfo, const char* text) {
  auto* error = reinterpret_cast<TJpegError*>(cinfo->err);
  std::snprintf(error->message, sizeof error->message, "%s", text);
  std::longjmp(error->jump, 1);
}

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* error = reinterpret_cast<TJpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, error->message);
  std::longjmp(error->jump, 1);
}

// Warnings (corrupt but decodable data) are counted by the library and not
// printed: a damaged photograph still shows what could be decoded.
void OutputMessage(j_common_ptr) {}

void InitError(TJpegError& error) {
  jpeg_std_error(&error.pub);
  error.pub.error_exit = ErrorExit;
  error.pub.output_message = OutputMessage;
  error.message[0] = '\0';
}

void OnProgress(j_common_ptr cinfo) {
  if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > MaxScans)
    JumpWith(cinfo, "JPEG file has too many scans");
}

enum TOutputKind { okColour, okGrey, okCmyk };

struct TDecompressSession {
  jpeg_decompress_struct cinfo;
  TJpegError error;
  jpeg_progress_mgr progress;
  bool created;
  TOutputKind kind;
  // Set by the caller before ReadPixels.
  JSAMPROW* rows;    // one per output row, pointing into the picture
  JSAMPLE* scratch;  // one CMYK row
};

bool ReadHeader(TDecompressSession* s, const unsigned char* data, unsigned long size, int scale) {
  if (setjmp(s->error.jump)) return false;
  jpeg_create_decompress(&s->cinfo);
  s->created = true;
  s->progress.progress_monitor = OnProgress;
  s->cinfo.progress = &s->progress;
  jpeg_mem_src(&s->cinfo, data, size);
  // Kept for the EXIF orientation; a segment holds at most 64 KiB.
  jpeg_save_markers(&s->cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(&s->cinfo, TRUE);
  switch (s->cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
      s->kind = okGrey;
      s->cinfo.out_color_space = JCS_GRAYSCALE;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      s->kind = okCmyk;
      s->cinfo.out_color_space = JCS_CMYK;
      break;
    default:
      // Straight to blue, green, red: the rows need no swapping afterwards.
      s->kind = okColour;
      s->cinfo.out_color_space = JCS_EXT_BGR;
  }
  s->cinfo.scale_num = 1;
  s->cinfo.scale_denom = 1u << scale;
  s->cinfo.dct_method = JDCT_ISLOW;
  s->cinfo.do_fancy_upsampling = TRUE;
  s->cinfo.do_block_smoothing = TRUE;
  jpeg_calc_output_dimensions(&s->cinfo);
  return true;
}

bool ReadPixels(TDecompressSession* s, JDIMENSION width, JDIMENSION height) {
  if (setjmp(s->error.jump)) return false;
  jpeg_start_decompress(&s->cinfo);
  if (s->cinfo.output_width != width || s->cinfo.output_height != height)
    JumpWith(reinterpret_cast<j_common_ptr>(&s->cinfo), "JPEG output size changed");
  if (s->kind == okCmyk) {
    // Adobe's files store the inks inverted (255 = no ink).
    const bool inverted = s->cinfo.saw_Adobe_marker;
    while (s->cinfo.output_scanline < height) {
      const JDIMENSION y = s->cinfo.output_scanline;
      JSAMPROW scratch = s->scratch;
      if (jpeg_read_scanlines(&s->cinfo, &scratch, 1) != 1)
        JumpWith(reinterpret_cast<j_common_ptr>(&s->cinfo), "JPEG data ended");
      const JSAMPLE* in = s->scratch;
      JSAMPLE* out = s->rows[y];
      for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
        unsigned c = in[0], m = in[1], ye = in[2], k = in[3];
        if (!inverted) c = 255 - c, m = 255 - m, ye = 255 - ye, k = 255 - k;
        out[0] = JSAMPLE((ye * k + 127) / 255);
        out[1] = JSAMPLE((m * k + 127) / 255);
        out[2] = JSAMPLE((c * k + 127) / 255);
      }
    }
  } else {
    while (s->cinfo.output_scanline < height) {
      const JDIMENSION y = s->cinfo.output_scanline;
      if (jpeg_read_scanlines(&s->cinfo, s->rows + y, height - y) == 0)
        JumpWith(reinterpret_cast<j_common_ptr>(&s->cinfo), "JPEG data ended");
    }
  }
  // The rest of the file (trailing markers) is not needed: the session is
  // destroyed without reading it.
  return true;
}

struct TDecompressGuard {
  TDecompressSession& s;
  ~TDecompressGuard() {
    if (s.created) jpeg_destroy_decompress(&s.cinfo);
  }
};

// Index of the nearest ramp level for every 8-bit grey, and the ramp itself.
struct TGreyRamp {
  std::array<std::uint8_t, 256> index{};
  QList<QRgb> palette;
  TGreyRamp() : palette(::GreyRamp(GreyLevels)) {
    for (int v = 0; v < 256; ++v) {
      int best = 0;
      for (int i = 1; i < GreyLevels; ++i)
        if (std::abs(qRed(palette[i]) - v) < std::abs(qRed(palette[best]) - v)) best = i;
      index[size_t(v)] = std::uint8_t(best);
    }
  }
};

const TGreyRamp& JpegGreyRamp() {
  static const TGreyRamp ramp;
  return ramp;
}

// The orientation (1 to 8) that an APP1 segment's EXIF data gives its
// picture, 1 when the segment says nothing about it or cannot be read.
int ExifOrientation(const std::uint8_t* data, std::size_t size) {
  static constexpr std::uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (size < 6 + 8 || std::memcmp(data, kExif, 6) != 0) return 1;
  return ExifBlockOrientation(data + 6, size - 6);
}

int SavedOrientation(const jpeg_decompress_struct& cinfo) {
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next)
    if (m->marker == JPEG_APP0 + 1) {
      const int orientation = ExifOrientation(m->data, m->data_length);
      if (orientation != 1) return orientation;
    }
  return 1;
}

// The header read and checks that start every decode, and the quick header
// read on its own. s must have been set up by InitSession.
void StartDecode(TDecompressSession& s, TBytes data, int scale) {
  if (data.size() > ULONG_MAX) throw EImageError("JPEG file too large");
  if (!ReadHeader(&s, data.data(), static_cast<unsigned long>(data.size()), scale)) throw EImageError(s.error.message);

  // The library's own buffers grow with the stored size, ours with the
  // output size: both are checked before either is allocated, the stored
  // size against the file too (a progressive file's coefficients are all
  // held at once).
  CheckPictureSize(s.cinfo.image_width, s.cinfo.image_height);
  CheckPictureSize(s.cinfo.output_width, s.cinfo.output_height);
}

void InitSession(TDecompressSession& s) {
  InitError(s.error);
  s.cinfo.err = &s.error.pub;
}

TBitmap DecodeJpeg(TBytes data, int scale) {
  TDecompressSession s{};
  InitSession(s);
  const TDecompressGuard guard{s};
  StartDecode(s, data, scale);
  const JDIMENSION width = s.cinfo.output_width, height = s.cinfo.output_height;

  QImage image(int(width), int(height), s.kind == okGrey ? QImage::Format_Indexed8 : QImage::Format_BGR888);
  if (image.isNull()) throw std::bad_alloc();
  PreferHugePages(image.bits(), size_t(image.sizeInBytes()));
  std::vector<JSAMPROW> rows(height);
  for (JDIMENSION y = 0; y < height; ++y) rows[y] = image.scanLine(int(y));
  std::vector<JSAMPLE> scratch(s.kind == okCmyk ? size_t(width) * 4 : 0);
  s.rows = rows.data();
  s.scratch = scratch.data();
  if (!ReadPixels(&s, width, height)) throw EImageError(s.error.message);

  TBitmap bitmap;
  if (s.kind == okGrey) {
    const TGreyRamp& ramp = JpegGreyRamp();
    for (JDIMENSION y = 0; y < height; ++y) {
      std::uint8_t* p = rows[y];
      for (JDIMENSION x = 0; x < width; ++x) p[x] = ramp.index[p[x]];
    }
    image.setColorTable(ramp.palette);
  }
  // Photographs from phones and cameras are stored as the sensor lay.
  if (const int orientation = SavedOrientation(s.cinfo); orientation != 1) image = ExifUpright(image, orientation);
  bitmap.SetImage(std::move(image), s.kind == okGrey ? pf8bit : pf24bit);
  return bitmap;
}

// Byte sources for the header probe: a whole file in memory, or a file read
// as it goes (the probe of a large photograph reads a few hundred bytes).
class TByteReader {
 public:
  explicit TByteReader(TBytes data) : m_data(data) {}
  bool Read(std::uint8_t* out, int n) {
    if (m_pos < 0 || m_pos > std::int64_t(m_data.size()) || std::int64_t(m_data.size()) - m_pos < n) return false;
    std::memcpy(out, m_data.data() + m_pos, size_t(n));
    m_pos += n;
    return true;
  }
  bool Seek(std::int64_t pos) {
    m_pos = pos;
    return pos >= 0;
  }
  std::int64_t Pos() const { return m_pos; }

 private:
  TBytes m_data;
  std::int64_t m_pos = 0;
};

// Every pass through the loop moves at least two bytes on, so the walk ends
// at the end of the input whatever the segment lengths say.
template <class Reader>
void ProbeJpegSize(Reader& reader, int& width, int& height) {
  std::uint8_t b[2];
  if (!reader.Read(b, 2) || b[0] != 0xFF || b[1] != 0xD8) return;
  int orientation = 1;
  for (;;) {
    if (!reader.Read(b, 2)) return;
    if (b[0] == 0xFF && b[1] == 0xC0) break;
    const bool app1 = b[0] == 0xFF && b[1] == 0xE1;
    if (!reader.Read(b, 2)) return;
    const int length = int(LoadBE16(b));
    if (app1 && orientation == 1 && length > 2) {
      // The EXIF orientation: a picture turned a quarter has its sides swapped.
      std::vector<std::uint8_t> segment(std::size_t(length - 2));
      if (!reader.Read(segment.data(), length - 2)) return;
      orientation = ExifOrientation(segment.data(), segment.size());
      continue;
    }
    if (!reader.Seek(reader.Pos() + length - 2)) return;
  }
  std::uint8_t skipped[3];  // the frame header's length and sample precision
  if (!reader.Read(skipped, 3)) return;
  if (!reader.Read(b, 2)) return;
  height = int(LoadBE16(b));
  if (!reader.Read(b, 2)) return;
  width = int(LoadBE16(b));
  if (orientation >= 5) std::swap(width, height);
}

}  // namespace

void TJpegImage::ReadBytes(TBytes data) { m_bitmap = DecodeJpeg(data, std::clamp(Options.JpegScale, 0, 3)); }

bool TJpegImage::ReadHeaderBytes(TBytes data, TPictureHeader& header) {
  TDecompressSession s{};
  InitSession(s);
  const TDecompressGuard guard{s};
  StartDecode(s, data, 0);
  header.Width = int(s.cinfo.image_width);
  header.Height = int(s.cinfo.image_height);
  // Reported as it opens: a photo turned a quarter has its sides swapped.
  if (SavedOrientation(s.cinfo) >= 5) std::swap(header.Width, header.Height);
  header.BitsPerPixel = s.cinfo.num_components * s.cinfo.data_precision;
  return true;
}

void TJpegImage::WriteBytes(TByteBuffer& out) {
  if (m_bitmap.Empty()) throw EImageError("no picture to write");
  const TBitmap* source = &m_bitmap;
  TBitmap copy;
  if (m_bitmap.PixelFormat() != pf24bit && m_bitmap.PixelFormat() != pf32bit) {
    copy = m_bitmap;
    copy.SetPixelFormat(pf24bit);
    source = &copy;
  }
  const int height = source->Height();
  std::vector<const std::uint8_t*> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) rows[size_t(y)] = source->ScanLine(y);
  TJpegEncoder encoder;
  encoder.Start(
      source->Width(), height, std::clamp(Options.JpegQuality, 1, 100), Options.JpegProgressive,
      [&out](const std::uint8_t* data, size_t size) {
        try {
          out.insert(out.end(), data, data + size);
        } catch (const std::bad_alloc&) {
          throw EImageError("not enough memory");
        }
      },
      source->PixelFormat() == pf32bit ? 4 : 3);
  encoder.Write(rows.data(), height);
  encoder.Finish();
}

namespace {

// Compressed bytes gather here before going to the encoder's sink.
constexpr size_t StreamBufferBytes = 1 << 20;

// The compressor of a TJpegEncoder, for the functions below that arm the
// error jump (see the rules at the top). The sink reports a failed write by
// returning false; the picture then stops with the sink's message.
struct TStreamSession {
  jpeg_compress_struct cinfo;
  TJpegError error;
  jpeg_destination_mgr destination;
  bool created;
  unsigned char* buffer;
  TJpegEncoder* owner;
  JDIMENSION width, height;
  J_COLOR_SPACE inputSpace;
  int inputComponents;
  int quality;
  bool progressive;
};

TStreamSession* SessionOf(j_compress_ptr cinfo) {
  return reinterpret_cast<TStreamSession*>(reinterpret_cast<char*>(cinfo) - offsetof(TStreamSession, cinfo));
}

void InitDestination(j_compress_ptr cinfo) {
  TStreamSession* s = SessionOf(cinfo);
  s->destination.next_output_byte = s->buffer;
  s->destination.free_in_buffer = StreamBufferBytes;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  TStreamSession* s = SessionOf(cinfo);
  if (!s->owner->Put(s->buffer, StreamBufferBytes))
    JumpWith(reinterpret_cast<j_common_ptr>(cinfo), "the file could not be written");
  InitDestination(cinfo);
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  TStreamSession* s = SessionOf(cinfo);
  const size_t used = StreamBufferBytes - s->destination.free_in_buffer;
  if (used > 0 && !s->owner->Put(s->buffer, used))
    JumpWith(reinterpret_cast<j_common_ptr>(cinfo), "the file could not be written");
}

// Creates the library object on the session's first picture only.
bool StartStream(TStreamSession* s) {
  if (setjmp(s->error.jump)) return false;
  if (!s->created) {
    jpeg_create_compress(&s->cinfo);
    s->created = true;
  }
  s->destination.init_destination = InitDestination;
  s->destination.empty_output_buffer = EmptyOutputBuffer;
  s->destination.term_destination = TermDestination;
  s->cinfo.dest = &s->destination;
  s->cinfo.image_width = s->width;
  s->cinfo.image_height = s->height;
  s->cinfo.input_components = s->inputComponents;
  s->cinfo.in_color_space = s->inputSpace;
  jpeg_set_defaults(&s->cinfo);
  jpeg_set_quality(&s->cinfo, s->quality, TRUE);
  if (s->progressive) jpeg_simple_progression(&s->cinfo);
  jpeg_start_compress(&s->cinfo, TRUE);
  return true;
}

bool StreamRows(TStreamSession* s, JSAMPROW* rows, JDIMENSION count) {
  if (setjmp(s->error.jump)) return false;
  JDIMENSION done = 0;
  while (done < count) {
    const JDIMENSION n = jpeg_write_scanlines(&s->cinfo, rows + done, count - done);
    if (n == 0) JumpWith(reinterpret_cast<j_common_ptr>(&s->cinfo), "JPEG encoder stalled");
    done += n;
  }
  return true;
}

bool FinishStream(TStreamSession* s) {
  if (setjmp(s->error.jump)) return false;
  jpeg_finish_compress(&s->cinfo);
  return true;
}

}  // namespace

struct TJpegEncoder::TSession : TStreamSession {};

TJpegEncoder::TJpegEncoder() : m_session(new TSession{}) {
  TSession* s = m_session;
  InitError(s->error);
  s->cinfo.err = &s->error.pub;
  s->owner = this;
  s->buffer = static_cast<unsigned char*>(std::malloc(StreamBufferBytes));
  if (!s->buffer) {
    delete s;
    throw EImageError("not enough memory");
  }
}

TJpegEncoder::~TJpegEncoder() {
  if (m_session->created) jpeg_destroy_compress(&m_session->cinfo);
  std::free(m_session->buffer);
  delete m_session;
}

void TJpegEncoder::Stop() {
  const std::string message = m_failure.empty() ? std::string(m_session->error.message) : m_failure;
  // Ready for the next picture: the library object and its pools stay.
  if (m_session->created) jpeg_abort_compress(&m_session->cinfo);
  m_started = false;
  m_put = nullptr;
  throw EImageError(message);
}

void TJpegEncoder::Start(int width, int height, int quality, bool progressive, TPut put, int bytesPerPixel) {
  if (width < 1 || height < 1 || width > JpegMaxSide || height > JpegMaxSide)
    throw EImageError("JPEG pictures are at most 65535 pixels a side");
  TSession* s = m_session;
  // libjpeg leaves traces of a progressive picture, or of one given up
  // half-way, in the object (the next file differs from a fresh object's):
  // only a baseline picture that finished hands it on as it found it.
  if (s->created && !m_reusable) {
    jpeg_destroy_compress(&s->cinfo);
    s->created = false;
  }
  m_reusable = false;
  m_put = std::move(put);
  m_failure.clear();
  s->error.message[0] = '\0';
  s->width = JDIMENSION(width);
  s->height = JDIMENSION(height);
  s->inputSpace = bytesPerPixel == 4 ? JCS_EXT_BGRX : JCS_EXT_BGR;
  s->inputComponents = bytesPerPixel == 4 ? 4 : 3;
  s->quality = std::clamp(quality, 1, 100);
  s->progressive = progressive;
  m_started = true;
  if (!StartStream(s)) Stop();
}

bool TJpegEncoder::Put(const std::uint8_t* data, size_t size) {
  try {
    m_put(data, size);
    return true;
  } catch (const std::exception& e) {
    m_failure = e.what();
    return false;
  }
}

void TJpegEncoder::Write(const std::uint8_t* const* rows, int count) {
  if (!m_started) throw EImageError("the JPEG encoder has stopped");
  if (!StreamRows(m_session, const_cast<JSAMPROW*>(rows), JDIMENSION(count))) Stop();
}

void TJpegEncoder::Write(const TBitmap& band) {
  std::vector<const std::uint8_t*> rows(size_t(band.Height()));
  for (int y = 0; y < band.Height(); ++y) rows[size_t(y)] = band.ScanLine(y);
  Write(rows.data(), band.Height());
}

void TJpegEncoder::Finish() {
  if (!m_started) throw EImageError("the JPEG encoder has stopped");
  if (!FinishStream(m_session)) Stop();
  m_started = false;
  m_reusable = !m_session->progressive;
  m_put = nullptr;
}

void ReadJpegSize(const QString& fileName, int& width, int& height) {
  width = 0;
  height = 0;
  try {
    const TFileBytes file(fileName);
    TByteReader reader(file.Bytes());
    ProbeJpegSize(reader, width, height);
  } catch (const std::exception&) {
    // an unreadable file has no size to tell
  }
}

void ReadJpegSize(TBytes data, int& width, int& height) {
  width = 0;
  height = 0;
  TByteReader reader(data);
  ProbeJpegSize(reader, width, height);
}

int JpegScaleFor(int width, int height, int target) {
  if (width <= 0 || height <= 0 || target <= 0) return 0;
  const int q = std::max(width, height) / target;
  if (q <= 1) return 0;
  if (q <= 3) return 1;
  if (q <= 7) return 2;
  return 3;
}
