#include "imagefiles/ZlibStream.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "raster/ParallelFor.h"

namespace {

constexpr std::size_t SegmentBytes = 512 * 1024;
constexpr std::size_t WindowBytes = 32 * 1024;

struct TSegment {
  int firstRow = 0;
  int endRow = 0;
  TByteBuffer compressed;
  uLong adler = 1;
  std::size_t length = 0;
};

class TDeflater {
 public:
  explicit TDeflater(int level) {
    if (deflateInit2(&m_z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      throw EImageError("zlib: cannot start compression");
  }
  ~TDeflater() { deflateEnd(&m_z); }
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;

  void Dictionary(const std::uint8_t* data, std::size_t size) {
    if (size && deflateSetDictionary(&m_z, data, uInt(size)) != Z_OK) throw EImageError("zlib: bad dictionary");
  }

  // Compresses `size` bytes, flushing to a byte boundary or finishing.
  void Compress(const std::uint8_t* data, std::size_t size, bool last, TByteBuffer& out) {
    m_z.next_in = const_cast<Bytef*>(data);
    m_z.avail_in = uInt(size);
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    out.resize(deflateBound(&m_z, uLong(size)) + 16);
    std::size_t used = 0;
    for (;;) {
      m_z.next_out = out.data() + used;
      m_z.avail_out = uInt(out.size() - used);
      const int rc = deflate(&m_z, flush);
      used = out.size() - m_z.avail_out;
      if (rc == Z_STREAM_END || (rc == Z_OK && !last && m_z.avail_in == 0 && m_z.avail_out > 0)) break;
      if (rc != Z_OK && rc != Z_BUF_ERROR) throw EImageError("zlib: compression failed");
      out.resize(out.size() * 2);
    }
    out.resize(used);
  }

 private:
  z_stream m_z{};
};

void CompressSegment(TSegment& s, std::size_t rowBytes, const TRowSource& rows, int level, bool last) {
  // The rows just before the segment, up to a window's worth, prime the dictionary.
  const int windowRows = int(std::min<std::size_t>((WindowBytes + rowBytes - 1) / rowBytes, std::size_t(s.firstRow)));
  const int first = s.firstRow - windowRows;
  TByteBuffer data(std::size_t(s.endRow - first) * rowBytes);
  for (int r = first; r < s.endRow; ++r) rows(r, data.data() + std::size_t(r - first) * rowBytes);
  const std::size_t before = std::size_t(windowRows) * rowBytes;
  const std::size_t dictionary = std::min(before, WindowBytes);
  TDeflater deflater(level);
  deflater.Dictionary(data.data() + before - dictionary, dictionary);
  s.length = data.size() - before;
  s.adler = adler32(1, data.data() + before, uInt(s.length));
  deflater.Compress(data.data() + before, s.length, last, s.compressed);
}

}  // namespace

void DeflateRows(int rowCount, std::size_t rowBytes, const TRowSource& rows, int level, TByteBuffer& out) {
  if (rowBytes == 0 || rowBytes > SegmentBytes * 64) throw EImageError("zlib: unsupported row size");
  const int rowsPerSegment = int(std::max<std::size_t>(1, SegmentBytes / rowBytes));
  std::vector<TSegment> segments;
  for (int r = 0; r < rowCount || segments.empty(); r += rowsPerSegment)
    segments.push_back(TSegment{r, std::min(rowCount, r + rowsPerSegment), {}, 1, 0});

  ParallelFor(segments.size(),
              [&](std::size_t i) { CompressSegment(segments[i], rowBytes, rows, level, i + 1 == segments.size()); });

  // The zlib header of a 32 KiB window at a level above 6, then the pieces.
  out.push_back(0x78);
  out.push_back(level > 6 ? 0xDA : level == 6 ? 0x9C : level > 1 ? 0x5E : 0x01);
  uLong adler = 1;
  for (const TSegment& s : segments) {
    out.insert(out.end(), s.compressed.begin(), s.compressed.end());
    adler = adler32_combine(adler, s.adler, z_off_t(s.length));
  }
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(adler >> shift));
}
