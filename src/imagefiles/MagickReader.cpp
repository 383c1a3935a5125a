#include "imagefiles/MagickReader.h"

#include "imagefiles/CodecHelpers.h"
#include "imagefiles/PictureFormats.h"

#include <Magick++.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr MagickCore::MagickSizeType MiB = 1024 * 1024;

std::atomic<long long> g_timeLimitMs{30000};

struct TFormatInfo {
  const char* name;   // FormatName()
  const char* coder;  // the ImageMagick coder that alone may decode it
};

TFormatInfo InfoOf(TMagickFormat format) {
  switch (format) {
    case TMagickFormat::Rla: return {"RLA", "RLA"};
    case TMagickFormat::Cut: return {"CUT", "CUT"};
    case TMagickFormat::Ico: return {"ICO", "ICO"};
    case TMagickFormat::Wmf: return {"WMF", "WMF"};
    case TMagickFormat::Emf: return {"EMF", "EMF"};
    case TMagickFormat::Pcx: return {"PCX", "PCX"};
    case TMagickFormat::Pcd: return {"PCD", "PCD"};
    case TMagickFormat::Psd: return {"PSD", "PSD"};
    case TMagickFormat::Pnm: return {"PNM", "PNM"};
    case TMagickFormat::Sgi: return {"SGI", "SGI"};
  }
  return {"?", "?"};
}

[[noreturn]] void Fail(TMagickFormat format, const std::string& what) {
  throw EImageError(std::string(InfoOf(format).name) + ": " + what);
}

// ---- library set-up ----

// Once per process: the library itself, then limits that make a hostile file
// fail inside the library instead of exhausting the machine. Pixels never go
// to disk, so the memory limit is the ceiling; the system policy may lower
// any of these further. ImageMagick's own time limit is not used: in this
// version it counts from the first decode of the process and ends the whole
// process when reached. Each read has its own deadline instead (ReadWatch).
void InitialiseMagick() {
  static std::once_flag once;
  std::call_once(once, [] {
    Magick::InitializeMagick(nullptr);
    Magick::ResourceLimits::memory(256 * MiB);
    Magick::ResourceLimits::map(256 * MiB);
    Magick::ResourceLimits::disk(0);
    Magick::ResourceLimits::area(MagickCore::MagickSizeType(MaxPicturePixels));
    Magick::ResourceLimits::width(MagickCore::MagickSizeType(MaxPictureSide));
    Magick::ResourceLimits::height(MagickCore::MagickSizeType(MaxPictureSide));
    Magick::ResourceLimits::thread(1);
    Magick::ResourceLimits::listLength(16);
  });
}

bool CoderCanRead(const char* coder) {
  try {
    return Magick::CoderInfo(coder).isReadable();
  } catch (const Magick::Exception&) {
    return false;
  }
}

// A decode's deadline, checked from the progress callbacks the coders make
// row by row; answering false makes the coder stop.
struct TReadWatch {
  std::chrono::steady_clock::time_point deadline;
  bool expired = false;
};

MagickCore::MagickBooleanType ReadWatch(const char*, const MagickCore::MagickOffsetType,
                                        const MagickCore::MagickSizeType, void* data) {
  auto* watch = static_cast<TReadWatch*>(data);
  if (std::chrono::steady_clock::now() >= watch->deadline) watch->expired = true;
  return watch->expired ? MagickCore::MagickFalse : MagickCore::MagickTrue;
}

// ---- signatures ----
// ImageMagick trusts the coder it is given; these checks make sure the bytes
// are of that format at all before any coder parses them.

std::int64_t SignedBE16(TBytes d, std::size_t at) { return std::int16_t(std::uint16_t(ReadBE16(d, at))); }

void CheckPcx(TBytes d) {
  const TMagickFormat f = TMagickFormat::Pcx;
  if (d.size() < 128 || d[0] != 0x0A) Fail(f, "not a PCX file");
  const unsigned version = d[1], encoding = d[2], bits = d[3], planes = d[65];
  if (version > 5 || version == 1 || encoding > 1) Fail(f, "not a PCX file");
  if ((bits != 1 && bits != 2 && bits != 4 && bits != 8) || planes < 1 || planes > 4)
    Fail(f, "unsupported pixel layout");
  const std::int64_t xMin = ReadLE16(d, 4), yMin = ReadLE16(d, 6), xMax = ReadLE16(d, 8), yMax = ReadLE16(d, 10);
  CheckPictureSize(xMax - xMin + 1, yMax - yMin + 1);
}

void CheckPcd(TBytes d) {
  // Image packs only: the identification sits in the second 2 KiB sector.
  if (d.size() < 0x800 + 7 || std::memcmp(d.data() + 0x800, "PCD_IPI", 7) != 0)
    Fail(TMagickFormat::Pcd, "not a Photo-CD image pack");
}

// The library fills a truncated Photoshop or SGI picture with black without a
// word, so the sizes of the stored data are checked against the file here.
void CheckPsd(TBytes d) {
  const TMagickFormat f = TMagickFormat::Psd;
  if (d.size() < 26 || std::memcmp(d.data(), "8BPS", 4) != 0 || ReadBE16(d, 4) != 1) Fail(f, "not a Photoshop file");
  const std::uint64_t channels = ReadBE16(d, 12), depth = ReadBE16(d, 22);
  if (channels < 1 || channels > 56 || (depth != 1 && depth != 8 && depth != 16 && depth != 32))
    Fail(f, "unsupported pixel layout");
  const std::uint64_t width = ReadBE32(d, 18), height = ReadBE32(d, 14);
  CheckPictureSize(std::int64_t(width), std::int64_t(height));
  // Colour mode data, image resources, layers and masks: each a 4-byte length
  // and its data. Then the merged picture: a compression word and its data.
  std::uint64_t pos = 26;
  for (int section = 0; section < 3; ++section) {
    if (d.size() - pos < 4) Fail(f, "the file is truncated");
    pos += 4 + std::uint64_t(ReadBE32(d, std::size_t(pos)));
    if (pos > d.size()) Fail(f, "the file is truncated");
  }
  if (d.size() - pos < 2) Fail(f, "the merged picture is missing");
  const unsigned compression = ReadBE16(d, std::size_t(pos));
  pos += 2;
  const std::uint64_t rows = channels * height, left = d.size() - pos;
  if (compression == 0) {
    if (left < rows * ((width * depth + 7) / 8)) Fail(f, "the merged picture is truncated");
  } else if (compression == 1) {
    // Run-length rows: a 2-byte length per row of every channel, then the rows.
    if (left < 2 * rows) Fail(f, "the merged picture is truncated");
    std::uint64_t total = 0;
    for (std::uint64_t r = 0; r < rows; ++r) total += ReadBE16(d, std::size_t(pos + 2 * r));
    if (left - 2 * rows < total) Fail(f, "the merged picture is truncated");
  } else if (left == 0) {
    Fail(f, "the merged picture is missing");
  }
}

// Reads the next decimal number of a portable map header, past white space
// and comments; -1 when there is none.
std::int64_t PnmNumber(TBytes d, std::size_t& pos) {
  while (pos < d.size() && (std::isspace(d[pos]) || d[pos] == '#')) {
    if (d[pos] == '#')
      while (pos < d.size() && d[pos] != '\n' && d[pos] != '\r') ++pos;
    else
      ++pos;
  }
  std::int64_t value = -1;
  for (int digits = 0; pos < d.size() && std::isdigit(d[pos]); ++pos, ++digits) {
    if (digits == 9) return -1;
    value = (value < 0 ? 0 : value * 10) + (d[pos] - '0');
  }
  return value;
}

void CheckPnm(TBytes d) {
  // Plain and raw bitmaps, greymaps and pixmaps (P1 to P6), whichever of the
  // three extensions they carry. The header is read here so that the size is
  // checked, and the raster's length too, before the library sees the file.
  const TMagickFormat f = TMagickFormat::Pnm;
  if (d.size() < 3 || d[0] != 'P' || d[1] < '1' || d[1] > '6' || !(std::isspace(d[2]) || d[2] == '#'))
    Fail(f, "not a portable bitmap, greymap or pixmap");
  const int kind = d[1] - '0';
  std::size_t pos = 2;
  const std::int64_t width = PnmNumber(d, pos), height = PnmNumber(d, pos);
  const bool bitmap = kind == 1 || kind == 4;
  const std::int64_t maxValue = bitmap ? 1 : PnmNumber(d, pos);
  if (width < 0 || height < 0 || maxValue < 1 || maxValue > 65535) Fail(f, "damaged header");
  CheckPictureSize(width, height);
  if (pos >= d.size() || !std::isspace(d[pos])) Fail(f, "damaged header");
  const std::uint64_t left = d.size() - pos - 1, pixels = std::uint64_t(width) * std::uint64_t(height);
  const std::uint64_t samples = pixels * (kind == 3 || kind == 6 ? 3 : 1), bytes = maxValue > 255 ? 2 : 1;
  std::uint64_t needed = 0;
  switch (kind) {
    case 1: needed = pixels; break;  // at least a digit a pixel
    case 2:
    case 3: needed = 2 * samples - 1; break;  // a digit and a separator a sample
    case 4: needed = (std::uint64_t(width) + 7) / 8 * std::uint64_t(height); break;
    default: needed = samples * bytes; break;
  }
  if (left < needed) Fail(f, "the raster is truncated");
}

void CheckSgi(TBytes d) {
  const TMagickFormat f = TMagickFormat::Sgi;
  if (d.size() < 512 || ReadBE16(d, 0) != 474) Fail(f, "not an SGI image");
  const unsigned storage = d[2], bytesPerChannel = d[3], dimension = ReadBE16(d, 4);
  if (storage > 1 || bytesPerChannel < 1 || bytesPerChannel > 2 || dimension < 1 || dimension > 3)
    Fail(f, "unsupported pixel layout");
  const std::uint64_t width = ReadBE16(d, 6), height = dimension > 1 ? ReadBE16(d, 8) : 1;
  const std::uint64_t depth = dimension > 2 ? ReadBE16(d, 10) : 1;
  CheckPictureSize(std::int64_t(width), std::int64_t(height));
  if (depth < 1) Fail(f, "unsupported pixel layout");
  const std::uint64_t rows = height * depth;
  if (storage == 0) {
    if (d.size() - 512 < rows * width * bytesPerChannel) Fail(f, "the file is truncated");
    return;
  }
  // Run-length rows: a table of row starts, then one of row lengths.
  if ((d.size() - 512) / 8 < rows) Fail(f, "the row tables are truncated");
  for (std::uint64_t r = 0; r < rows; ++r) {
    const std::uint64_t start = ReadBE32(d, std::size_t(512 + 4 * r)),
                        length = ReadBE32(d, std::size_t(512 + 4 * (rows + r)));
    if (start < 512 + 8 * rows || start > d.size() || length > d.size() - start) Fail(f, "damaged row table");
  }
}

void CheckWmf(TBytes d) {
  // A placeable metafile starts with its own 22-byte header, then the
  // standard one: type 1 (memory) or 2 (disk), 9 words long, version 1 or 3.
  std::size_t at = 0;
  if (d.size() >= 4 && ReadLE32(d, 0) == 0x9AC6CDD7u) at = 22;
  if (d.size() < at + 18 || (ReadLE16(d, at) != 1 && ReadLE16(d, at) != 2) || ReadLE16(d, at + 2) != 9 ||
      (ReadLE16(d, at + 4) != 0x0100 && ReadLE16(d, at + 4) != 0x0300))
    Fail(TMagickFormat::Wmf, "not a Windows metafile");
}

void CheckCut(TBytes d) {
  // No signature: width, height and a reserved word that must be zero.
  if (d.size() < 8 || ReadLE16(d, 4) != 0) Fail(TMagickFormat::Cut, "not a Dr. Halo picture");
  CheckPictureSize(ReadLE16(d, 0), ReadLE16(d, 2));
}

// ---- Alias/Wavefront RLA, read here ----
// The library's RLA coder in the ImageMagick 6.9.11 we build on rejects every
// picture of more than one row (its column counter is never reset per row), so
// these files are decoded here instead. Layout, big-endian: a 740-byte header
// (active window at 8, channel counts at 20 and 22, bits per channel at 658,
// matte bits at 662), then one 4-byte offset per row, bottom row first. At
// each offset, every channel of the row in turn (colour, matte, auxiliary):
// a 2-byte length, then that many bytes of runs, where a count byte c >= 0
// repeats the next byte c + 1 times and c < 0 copies -c bytes.
TBitmap DecodeRla(TBytes d) {
  const TMagickFormat f = TMagickFormat::Rla;
  constexpr std::size_t HeaderSize = 740;
  if (d.size() < HeaderSize) Fail(f, "not an RLA file");
  const std::int64_t left = SignedBE16(d, 8), bottom = SignedBE16(d, 12);
  const std::int64_t width = SignedBE16(d, 10) - left + 1, height = SignedBE16(d, 14) - bottom + 1;
  CheckPictureSize(width, height);
  const unsigned colour = ReadBE16(d, 20), matte = ReadBE16(d, 22), bits = ReadBE16(d, 658),
                 matteBits = ReadBE16(d, 662);
  if ((colour != 1 && colour != 3) || matte > 1 || bits != 8 || (matte && matteBits != 8 && matteBits != 0))
    Fail(f, "only 8-bit grey or RGB channels, with at most one matte channel, are supported");
  const std::size_t rowsEnd = HeaderSize + 4 * std::size_t(height);
  if (rowsEnd > d.size()) Fail(f, "the row table is truncated");

  const int w = int(width), h = int(height);
  const unsigned channels = colour + matte;
  const bool alpha = matte != 0;
  QImage out(w, h, alpha ? QImage::Format_ARGB32 : colour == 1 ? QImage::Format_Indexed8 : QImage::Format_BGR888);
  if (out.isNull()) Fail(f, "not enough memory for the picture");
  if (!alpha && colour == 1) {
    out.setColorTable(GreyRamp(256));
  }
  std::vector<std::uint8_t> samples(static_cast<std::size_t>(w));
  for (int fileRow = 0; fileRow < h; ++fileRow) {
    const std::uint32_t offset = ReadBE32(d, HeaderSize + 4 * std::size_t(fileRow));
    if (offset < rowsEnd || offset >= d.size()) Fail(f, "damaged row table");
    std::size_t pos = offset;
    uchar* row = out.scanLine(h - 1 - fileRow);
    for (unsigned channel = 0; channel < channels; ++channel) {
      if (d.size() - pos < 2) Fail(f, "a row is truncated");
      const std::size_t length = std::size_t(SignedBE16(d, pos) < 0 ? 0 : ReadBE16(d, pos));
      pos += 2;
      if (length > d.size() - pos) Fail(f, "a row is truncated");
      const std::size_t stop = pos + length;
      std::size_t x = 0;
      while (x < samples.size() && pos < stop) {
        const int count = std::int8_t(d[pos++]);
        if (count < 0) {
          const std::size_t n = std::size_t(-count);
          if (n > stop - pos || n > samples.size() - x) Fail(f, "damaged run");
          std::memcpy(samples.data() + x, d.data() + pos, n);
          pos += n, x += n;
        } else {
          const std::size_t n = std::size_t(count) + 1;
          if (pos >= stop || n > samples.size() - x) Fail(f, "damaged run");
          std::memset(samples.data() + x, d[pos++], n);
          x += n;
        }
      }
      if (x < samples.size()) Fail(f, "a row is short of pixels");
      pos = stop;
      // Channel order is red, green, blue, then matte; a grey picture has one.
      const int slot = alpha ? (channel == colour ? 3
                                : colour == 1     ? -1
                                                  : 2 - int(channel))
                             : (colour == 1 ? 0 : 2 - int(channel));
      for (int px = 0; px < w; ++px) {
        const std::uint8_t v = samples[std::size_t(px)];
        if (alpha && colour == 1 && channel == 0) {
          row[4 * px] = row[4 * px + 1] = row[4 * px + 2] = v;
        } else if (alpha) {
          row[4 * px + slot] = v;
        } else if (colour == 1) {
          row[px] = v;
        } else {
          row[3 * px + slot] = v;
        }
      }
    }
  }
  TBitmap result;
  result.SetImage(std::move(out), alpha ? pf32bit : colour == 1 ? pf8bit : pf24bit);
  return result;
}

// Icons hold several pictures; the largest (then the deepest) is handed over
// alone, in a one-entry icon file built here, so that the library reads just
// that one. Cursors share the layout and are accepted too.
TBytes PrepareIcon(TBytes d, TByteBuffer& scratch) {
  const TMagickFormat f = TMagickFormat::Ico;
  if (d.size() < 6 + 16 || ReadLE16(d, 0) != 0 || (ReadLE16(d, 2) != 1 && ReadLE16(d, 2) != 2) || ReadLE16(d, 4) == 0)
    Fail(f, "not an icon file");
  const std::size_t count = ReadLE16(d, 4);
  if (6 + 16 * count > d.size()) Fail(f, "the icon directory is truncated");
  std::size_t best = count;
  std::int64_t bestArea = 0;
  unsigned bestBits = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t e = 6 + 16 * i;
    const std::uint32_t size = ReadLE32(d, e + 8), offset = ReadLE32(d, e + 12);
    if (size < 16 || offset >= d.size() || size > d.size() - offset) continue;
    const std::int64_t area = std::int64_t(d[e] ? d[e] : 256) * (d[e + 1] ? d[e + 1] : 256);
    const unsigned bits = ReadLE16(d, e + 6);
    if (best == count || area > bestArea || (area == bestArea && bits > bestBits))
      best = i, bestArea = area, bestBits = bits;
  }
  if (best == count) Fail(f, "no readable picture in the icon");
  const std::size_t e = 6 + 16 * best;
  const std::uint32_t size = ReadLE32(d, e + 8), offset = ReadLE32(d, e + 12);
  scratch.clear();
  scratch.reserve(22 + size);
  PutLE16(scratch, 0);
  PutLE16(scratch, ReadLE16(d, 2));
  PutLE16(scratch, 1);
  scratch.insert(scratch.end(), d.begin() + std::ptrdiff_t(e), d.begin() + std::ptrdiff_t(e + 12));
  PutLE32(scratch, 22);
  scratch.insert(scratch.end(), d.begin() + std::ptrdiff_t(offset), d.begin() + std::ptrdiff_t(offset + size));
  return TBytes(scratch);
}

TBytes Prepare(TMagickFormat format, TBytes data, TByteBuffer& scratch) {
  switch (format) {
    case TMagickFormat::Rla: break;  // decoded here, see DecodeRla
    case TMagickFormat::Cut: CheckCut(data); break;
    case TMagickFormat::Ico: return PrepareIcon(data, scratch);
    case TMagickFormat::Wmf: CheckWmf(data); break;
    case TMagickFormat::Emf: Fail(format, "enhanced metafiles cannot be rendered");
    case TMagickFormat::Pcx: CheckPcx(data); break;
    case TMagickFormat::Pcd: CheckPcd(data); break;
    case TMagickFormat::Psd: CheckPsd(data); break;
    case TMagickFormat::Pnm: CheckPnm(data); break;
    case TMagickFormat::Sgi: CheckSgi(data); break;
  }
  return data;
}

// ---- decoding ----

void SetUp(Magick::Image& image, TMagickFormat format, TReadWatch& watch) {
  const char* coder = InfoOf(format).coder;
  image.quiet(true);  // warnings that still leave a picture are not failures
  // Only the first picture of multi-picture files. Photo-CD chooses its
  // resolution by the scene number instead; its default is the 768 x 512 base.
  if (format != TMagickFormat::Pcd) {
    image.subImage(0);
    image.subRange(1);
  }
  image.magick(coder);
  MagickCore::ImageInfo* info = image.imageInfo();
  // The coder must be affirmed: otherwise the library would go by the bytes.
  if (!info->affirm || std::strcmp(info->magick, coder) != 0) Fail(format, "the coder could not be selected");
  // A name under a path that cannot exist: some coders look for companion
  // files beside the picture (Dr. Halo its palette); with no name at all the
  // library's Dr. Halo coder writes one byte before the name's buffer and
  // opens "PAL" in the working folder.
  image.fileName("/dev/null/picture");
  MagickCore::SetImageInfoProgressMonitor(info, ReadWatch, &watch);
}

QImage NewImage(TMagickFormat format, int w, int h, QImage::Format f) {
  QImage image(w, h, f);
  if (image.isNull()) Fail(format, "not enough memory for the picture");
  return image;
}

bool IsGreyColormap(const MagickCore::Image* c) {
  if (!c->colormap) return false;
  for (std::size_t i = 0; i < c->colors; ++i)
    if (c->colormap[i].red != c->colormap[i].green || c->colormap[i].red != c->colormap[i].blue) return false;
  return true;
}

unsigned char ToByte(MagickCore::Quantum q) { return MagickCore::ScaleQuantumToChar(q); }

// Palette pictures keep their table: 2 colours make pf1bit, up to 16 pf4bit.
TBitmap FromPalette(TMagickFormat format, const Magick::Image& image) {
  const MagickCore::Image* c = image.constImage();
  const int w = int(c->columns), h = int(c->rows), colors = int(c->colors);
  QList<QRgb> table;
  for (int i = 0; i < colors; ++i)
    table.append(qRgb(ToByte(c->colormap[i].red), ToByte(c->colormap[i].green), ToByte(c->colormap[i].blue)));
  const TPixelFormat pf = colors <= 2 ? pf1bit : colors <= 16 ? pf4bit : pf8bit;
  if (pf == pf1bit) PadColorTable(table, 1);
  QImage out = NewImage(format, w, h, pf == pf1bit ? QImage::Format_Mono : QImage::Format_Indexed8);
  out.setColorTable(table);
  for (int y = 0; y < h; ++y) {
    image.getConstPixels(0, y, std::size_t(w), 1);
    const MagickCore::IndexPacket* indexes = image.getConstIndexes();
    if (!indexes) Fail(format, "the picture has no colour indexes");
    uchar* row = out.scanLine(y);
    if (pf == pf1bit) {
      std::memset(row, 0, std::size_t(out.bytesPerLine()));
      for (int x = 0; x < w; ++x)
        if (indexes[x] == 1) row[x >> 3] |= uchar(0x80 >> (x & 7));
    } else {
      for (int x = 0; x < w; ++x) row[x] = int(indexes[x]) < colors ? uchar(indexes[x]) : 0;
    }
  }
  TBitmap result;
  result.SetImage(std::move(out), pf);
  return result;
}

// Grey pictures become a grey-ramp palette picture (pf1bit for bilevel ones).
TBitmap FromGrey(TMagickFormat format, Magick::Image& image) {
  const MagickCore::Image* c = image.constImage();
  const int w = int(c->columns), h = int(c->rows);
  const bool bilevel = c->depth == 1;
  QImage out = NewImage(format, w, h, bilevel ? QImage::Format_Mono : QImage::Format_Indexed8);
  out.setColorTable(GreyRamp(bilevel ? 2 : 256));
  std::vector<uchar> levels(std::size_t(w), 0);
  for (int y = 0; y < h; ++y) {
    uchar* row = out.scanLine(y);
    image.write(0, y, std::size_t(w), 1, "R", MagickCore::CharPixel, bilevel ? levels.data() : row);
    if (bilevel) {
      std::memset(row, 0, std::size_t(out.bytesPerLine()));
      for (int x = 0; x < w; ++x)
        if (levels[std::size_t(x)] >= 128) row[x >> 3] |= uchar(0x80 >> (x & 7));
    }
  }
  TBitmap result;
  result.SetImage(std::move(out), bilevel ? pf1bit : pf8bit);
  return result;
}

// Photo-CD pictures come as stored: luma and two chroma samples (PhotoYCC,
// chroma doubled up to every pixel). They are turned into colours by Kodak's
// own equations, as the other Photo-CD readers do (the library's conversion
// gives darker, duller colours), then clamped to 0..255.
TBitmap FromPhotoYcc(TMagickFormat format, Magick::Image& image) {
  const int w = int(image.columns()), h = int(image.rows());
  QImage out = NewImage(format, w, h, QImage::Format_BGR888);
  std::vector<std::uint8_t> ycc(std::size_t(w) * 3);
  const auto level = [](double v) { return uchar(std::lround(std::clamp(v, 0.0, 255.0))); };
  for (int y = 0; y < h; ++y) {
    image.write(0, y, std::size_t(w), 1, "RGB", MagickCore::CharPixel, ycc.data());
    uchar* d = out.scanLine(y);
    for (int x = 0; x < w; ++x, d += 3) {
      const std::uint8_t* p = &ycc[std::size_t(x) * 3];
      const double luma = 1.3584 * p[0], c1 = 2.2179 * (p[1] - 156.0), c2 = 1.8215 * (p[2] - 137.0);
      d[0] = level(luma + c1);
      d[1] = level(luma - 0.194 * c1 - 0.509 * c2);
      d[2] = level(luma + c2);
    }
  }
  TBitmap result;
  result.SetImage(std::move(out), pf24bit);
  return result;
}

// Colour pictures: blue, green, red (and alpha) bytes straight into the rows.
TBitmap FromColour(TMagickFormat format, Magick::Image& image, bool alpha) {
  const MagickCore::Image* c = image.constImage();
  // Some Photoshop files come in CMYK or Lab.
  if (c->colorspace != MagickCore::sRGBColorspace && c->colorspace != MagickCore::GRAYColorspace)
    image.colorSpace(MagickCore::sRGBColorspace);
  const int w = int(image.columns()), h = int(image.rows());
  QImage out = NewImage(format, w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_BGR888);
  for (int y = 0; y < h; ++y)
    image.write(0, y, std::size_t(w), 1, alpha ? "BGRA" : "BGR", MagickCore::CharPixel, out.scanLine(y));
  TBitmap result;
  result.SetImage(std::move(out), alpha ? pf32bit : pf24bit);
  return result;
}

TBitmap Decode(TMagickFormat format, TBytes data) {
  const Magick::Blob blob(data.data(), data.size());
  TReadWatch watch{std::chrono::steady_clock::now() + MagickReadTimeLimit()};

  // The header first: the picture size is checked before any pixel exists.
  // Portable maps skip this: their header is read and checked by CheckPnm,
  // and the library's portable-map coder leaks a buffer on every ping.
  if (format != TMagickFormat::Pnm) {
    Magick::Image probe;
    SetUp(probe, format, watch);
    probe.ping(blob);
    if (watch.expired) Fail(format, "reading took too long");
    CheckPictureSize(std::int64_t(probe.columns()), std::int64_t(probe.rows()));
  }

  Magick::Image image;
  SetUp(image, format, watch);
  try {
    image.read(blob);
  } catch (const Magick::Exception&) {
    if (watch.expired) Fail(format, "reading took too long");
    throw;
  }
  if (watch.expired) Fail(format, "reading took too long");
  const MagickCore::Image* c = image.constImage();
  if (!image.isValid() || !c || c->columns == 0 || c->rows == 0) Fail(format, "the file holds no picture");
  CheckPictureSize(std::int64_t(c->columns), std::int64_t(c->rows));

  if (format == TMagickFormat::Pcd && c->colorspace == MagickCore::YCCColorspace && !c->matte)
    return FromPhotoYcc(format, image);
  if (c->matte) return FromColour(format, image, true);
  if (c->storage_class == MagickCore::PseudoClass && c->colormap && c->colors >= 1 && c->colors <= 256)
    return FromPalette(format, image);
  const bool grey = c->colorspace == MagickCore::GRAYColorspace || c->type == MagickCore::BilevelType ||
                    c->type == MagickCore::GrayscaleType ||
                    (c->storage_class == MagickCore::PseudoClass && IsGreyColormap(c));
  if (grey) return FromGrey(format, image);
  return FromColour(format, image, false);
}

}  // namespace

std::optional<TMagickFormat> MagickFormatForExtension(std::string_view extension) {
  std::string e(extension);
  for (char& ch : e) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  const TFormatDescriptor* row = ReadableFormat(QString::fromLatin1(e.data(), qsizetype(e.size())));
  if (!row || !row->Magick) return std::nullopt;
  return row->Magick(e);
}

const char* TMagickImage::FormatName() const { return InfoOf(m_format).name; }

void TMagickImage::ReadBytes(TBytes data) {
  if (m_format == TMagickFormat::Rla) {
    m_bitmap = DecodeRla(data);
    return;
  }
  TByteBuffer scratch;
  const TBytes bytes = Prepare(m_format, data, scratch);
  InitialiseMagick();
  if (!CoderCanRead(InfoOf(m_format).coder)) Fail(m_format, "this ImageMagick cannot read the format");
  // The library's exceptions, like any other, become the load error in
  // LoadFromBytes.
  m_bitmap = Decode(m_format, bytes);
}

void SetMagickReadTimeLimit(std::chrono::milliseconds limit) { g_timeLimitMs = limit.count(); }

std::chrono::milliseconds MagickReadTimeLimit() { return std::chrono::milliseconds(g_timeLimitMs.load()); }
