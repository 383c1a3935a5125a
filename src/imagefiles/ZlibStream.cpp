#include "imagefiles/ZlibStream.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "raster/ParallelFor.h"

namespace {

constexpr std::size_t SegmentBytes = 1024 * 1024;
constexpr std::size_t WindowBytes = 32 * 1024;
// A segment whose libdeflate output is smaller than its data by this factor
// is tried with zlib and the history before it as well.
constexpr std::size_t HistoryWorthTrying = 8;
// A whole stream this many times smaller than its data is held back and
// compared with one zlib stream over all of it: the few bytes each piece adds
// count there, and zlib is quick on such data.
constexpr std::uint64_t SmallStreamRatio = 32;

// A buffer that is not cleared when allocated: every byte used is written first.
struct TRawBuffer {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t capacity = 0;
  std::uint8_t* Reserve(std::size_t size) {
    if (size > capacity) {
      bytes.reset(new std::uint8_t[size]);
      capacity = size;
    }
    return bytes.get();
  }
};

struct TCompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
using TCompressor = std::unique_ptr<libdeflate_compressor, TCompressorDeleter>;

// What one worker keeps from segment to segment.
struct TWorkspace {
  TCompressor compressor;
  TRawBuffer data;        // the segment's rows, after the rows before it
  TRawBuffer compressed;  // the segment's piece of the stream
};

struct TSegment {
  int firstRow = 0;
  int endRow = 0;
  std::size_t length = 0;  // bytes of data
  std::uint32_t adler = 1;
  std::size_t size = 0;  // bytes of compressed data, in the workspace
};

// Raw deflate of `size` bytes by zlib, primed with the `dictionary` bytes
// before them, ended by a sync flush (or finished when last).
void ZlibDeflate(const std::uint8_t* dictionary, std::size_t dictionarySize, const std::uint8_t* data, std::size_t size,
                 int level, bool last, TByteBuffer& out) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw EImageError("zlib: cannot start compression");
  struct TEnd {
    z_stream& z;
    ~TEnd() { deflateEnd(&z); }
  } end{z};
  if (dictionarySize && deflateSetDictionary(&z, dictionary, uInt(dictionarySize)) != Z_OK)
    throw EImageError("zlib: bad dictionary");
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = uInt(size);
  const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
  out.resize(deflateBound(&z, uLong(size)) + 16);
  std::size_t used = 0;
  for (;;) {
    z.next_out = out.data() + used;
    z.avail_out = uInt(out.size() - used);
    const int rc = deflate(&z, flush);
    used = out.size() - z.avail_out;
    if (rc == Z_STREAM_END || (rc == Z_OK && !last && z.avail_in == 0 && z.avail_out > 0)) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) throw EImageError("zlib: compression failed");
    out.resize(out.size() * 2);
  }
  out.resize(used);
}

// Turns a complete raw deflate stream into one that continues: the final
// block's flag is cleared and the stream is brought to a byte boundary with an
// empty stored block, as a sync flush would end it. The block boundaries are
// found by inflating the stream block by block.
// `stream` has room for five more bytes than `size`.
void MakeContinuable(std::uint8_t* stream, std::size_t& size, std::size_t length) {
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw EImageError("zlib: cannot start decompression");
  struct TEnd {
    z_stream& z;
    ~TEnd() { inflateEnd(&z); }
  } end{z};
  std::vector<std::uint8_t> scratch(64 * 1024);
  z.next_in = stream;
  z.avail_in = uInt(size);
  std::size_t lastBlockBit = 0, inflated = 0;
  int unusedBits = 0;
  for (;;) {
    z.next_out = scratch.data();
    z.avail_out = uInt(scratch.size());
    const int rc = inflate(&z, Z_BLOCK);
    inflated += scratch.size() - z.avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK) throw EImageError("zlib: compressed segment does not inflate");
    if (z.data_type & 128) {
      if (z.data_type & 64)  // the end of the final block
        unusedBits = z.data_type & 7;
      else  // between two blocks: the next one's header starts at this bit
        lastBlockBit = (size - z.avail_in) * 8 - std::size_t(z.data_type & 7);
    }
  }
  if (inflated != length || z.avail_in != 0) throw EImageError("zlib: compressed segment has the wrong length");
  stream[lastBlockBit / 8] &= std::uint8_t(~(1u << (lastBlockBit % 8)));
  if (unusedBits == 0) return;  // the final block already ends a byte
  stream[size - 1] &= std::uint8_t((1u << (8 - unusedBits)) - 1);
  // The stored block's three header bits (all zero) need one more byte when
  // fewer bits are left in the last one.
  if (unusedBits < 3) stream[size++] = 0;
  for (std::uint8_t b : {0x00, 0x00, 0xFF, 0xFF}) stream[size++] = b;
}

void CompressSegment(TSegment& s, std::size_t rowBytes, const TRowSource& rows, int level, bool last,
                     TWorkspace& work) {
  // The rows just before the segment, up to a window's worth, are kept for
  // zlib's dictionary.
  const int windowRows = int(std::min<std::size_t>((WindowBytes + rowBytes - 1) / rowBytes, std::size_t(s.firstRow)));
  const int first = s.firstRow - windowRows;
  std::uint8_t* data = work.data.Reserve(std::size_t(s.endRow - first) * rowBytes);
  for (int r = first; r < s.endRow; ++r) rows(r, data + std::size_t(r - first) * rowBytes);
  const std::size_t before = std::size_t(windowRows) * rowBytes;
  const std::uint8_t* own = data + before;
  s.length = std::size_t(s.endRow - s.firstRow) * rowBytes;
  s.adler = libdeflate_adler32(1, own, s.length);

  const std::size_t bound = libdeflate_deflate_compress_bound(work.compressor.get(), s.length) + 8;
  std::uint8_t* out = work.compressed.Reserve(bound);
  s.size = libdeflate_deflate_compress(work.compressor.get(), own, s.length, out, bound - 8);
  if (s.size == 0) throw EImageError("libdeflate: compression failed");
  if (!last) MakeContinuable(out, s.size, s.length);

  if (s.size * HistoryWorthTrying < s.length) {
    const std::size_t dictionary = std::min(before, WindowBytes);
    TByteBuffer withHistory;
    ZlibDeflate(own - dictionary, dictionary, own, s.length, level, last, withHistory);
    if (withHistory.size() < s.size) {
      std::copy(withHistory.begin(), withHistory.end(), out);
      s.size = withHistory.size();
    }
  }
}

// The zlib stream of all the rows in one piece, unless it grows beyond `limit`
// bytes (then false).
bool ZlibWholeStream(int rowCount, std::size_t rowBytes, const TRowSource& rows, int level, std::size_t limit,
                     TByteBuffer& out) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw EImageError("zlib: cannot start compression");
  struct TEnd {
    z_stream& z;
    ~TEnd() { deflateEnd(&z); }
  } end{z};
  TByteBuffer row(rowBytes);
  out.resize(limit);
  z.next_out = out.data();
  z.avail_out = uInt(limit);
  for (int r = 0; r <= rowCount; ++r) {
    const bool last = r == rowCount;
    if (!last) rows(r, row.data());
    z.next_in = row.data();
    z.avail_in = last ? 0 : uInt(rowBytes);
    const int rc = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
    if (last ? rc != Z_STREAM_END : (rc != Z_OK || z.avail_in != 0)) return false;  // out of room, or failed
  }
  out.resize(limit - z.avail_out);
  return true;
}

}  // namespace

namespace {

// The zlib header of a 32 KiB window at a level above 6.
void PutHeader(int level, const TStreamSink& put) {
  const std::uint8_t header[2] = {0x78, std::uint8_t(level > 6 ? 0xDA : level == 6 ? 0x9C : level > 1 ? 0x5E : 0x01)};
  put(header, 2);
}

void PutTrailer(uLong adler, const TStreamSink& put) {
  std::uint8_t trailer[4];
  for (int i = 0; i < 4; ++i) trailer[i] = std::uint8_t(adler >> (24 - 8 * i));
  put(trailer, 4);
}

int SegmentRows(std::size_t rowBytes) {
  if (rowBytes == 0 || rowBytes > SegmentBytes * 64) throw EImageError("zlib: unsupported row size");
  return int(std::max<std::size_t>(1, SegmentBytes / rowBytes));
}

// A few segments a core at a time, each with its own compressor and buffers.
class TSegmentBatches {
 public:
  TSegmentBatches(int rowCount, std::size_t rowBytes, int level)
      : m_rowCount(rowCount),
        m_rowBytes(rowBytes),
        m_level(level),
        m_rowsPerSegment(SegmentRows(rowBytes)),
        m_segmentCount(std::max(1, int((std::int64_t(rowCount) + m_rowsPerSegment - 1) / m_rowsPerSegment))),
        m_work(Batch()),
        m_segments(Batch()) {}
  static std::size_t Batch() { return 4 * std::size_t(std::max(1u, std::thread::hardware_concurrency())); }
  int RowsPerSegment() const { return m_rowsPerSegment; }
  int SegmentCount() const { return m_segmentCount; }
  // Compresses segments start..start+count-1 (count at most Batch()) and
  // puts them in order.
  void Compress(int start, int count, const TRowSource& rows, const TStreamSink& put) {
    ParallelFor(std::size_t(count), [&](std::size_t i) {
      TWorkspace& w = m_work[i];
      if (!w.compressor) w.compressor.reset(libdeflate_alloc_compressor(m_level));
      if (!w.compressor) throw std::bad_alloc();
      const int index = start + int(i);
      TSegment& s = m_segments[i];
      s.firstRow = index * m_rowsPerSegment;
      s.endRow = std::min(m_rowCount, s.firstRow + m_rowsPerSegment);
      CompressSegment(s, m_rowBytes, rows, m_level, index + 1 == m_segmentCount, w);
    });
    for (int i = 0; i < count; ++i) {
      const TSegment& s = m_segments[std::size_t(i)];
      put(m_work[std::size_t(i)].compressed.bytes.get(), s.size);
      m_adler = adler32_combine(m_adler, s.adler, z_off_t(s.length));
    }
  }
  uLong Adler() const { return m_adler; }

 private:
  int m_rowCount;
  std::size_t m_rowBytes;
  int m_level;
  int m_rowsPerSegment, m_segmentCount;
  std::vector<TWorkspace> m_work;
  std::vector<TSegment> m_segments;
  uLong m_adler = 1;
};

}  // namespace

void DeflateRows(int rowCount, std::size_t rowBytes, const TRowSource& rows, int level, const TStreamSink& sink) {
  TSegmentBatches batches(rowCount, rowBytes, level);
  const std::uint64_t small = std::uint64_t(rowCount) * rowBytes / SmallStreamRatio;
  TByteBuffer held;
  bool holding = true;
  const TStreamSink put = [&](const std::uint8_t* data, std::size_t size) {
    if (holding && held.size() + size <= small) {
      held.insert(held.end(), data, data + size);
      return;
    }
    if (holding) {
      sink(held.data(), held.size());
      TByteBuffer().swap(held);
      holding = false;
    }
    sink(data, size);
  };
  PutHeader(level, put);
  const int batch = int(TSegmentBatches::Batch());
  for (int start = 0; start < batches.SegmentCount(); start += batch)
    batches.Compress(start, std::min(batches.SegmentCount() - start, batch), rows, put);
  PutTrailer(batches.Adler(), put);
  if (!holding) return;
  TByteBuffer whole;
  if (held.size() > 0 && ZlibWholeStream(rowCount, rowBytes, rows, level, held.size() - 1, whole)) held.swap(whole);
  sink(held.data(), held.size());
}

struct TDeflateStream::TState {
  TSegmentBatches Batches;
  // Rows from FirstRow on: those the next segments read before them (their
  // history), then those not yet compressed.
  TByteBuffer Rows;
  int FirstRow = 0, EndRow = 0;
  int NextSegment = 0;
};

TDeflateStream::TDeflateStream(int rowCount, std::size_t rowBytes, int level, TStreamSink sink)
    : m_rowCount(rowCount),
      m_rowBytes(rowBytes),
      m_sink(std::move(sink)),
      m_state(std::make_unique<TState>(TState{TSegmentBatches(rowCount, rowBytes, level), {}, 0, 0, 0})) {
  PutHeader(level, m_sink);
}

TDeflateStream::~TDeflateStream() = default;

void TDeflateStream::Compress(bool all) {
  TState& st = *m_state;
  const int perSegment = st.Batches.RowsPerSegment(), batch = int(TSegmentBatches::Batch());
  const TRowSource rows = [&st, this](int row, std::uint8_t* out) {
    std::memcpy(out, st.Rows.data() + std::size_t(row - st.FirstRow) * m_rowBytes, m_rowBytes);
  };
  for (;;) {
    // Whole segments held, or what is left at the end.
    const int ready = all ? st.Batches.SegmentCount() - st.NextSegment
                          : std::min(st.Batches.SegmentCount(), st.EndRow / perSegment) - st.NextSegment;
    if (ready <= 0 || (!all && ready < batch)) break;
    const int count = std::min(ready, batch);
    st.Batches.Compress(st.NextSegment, count, rows, m_sink);
    st.NextSegment += count;
    // Only a window's worth of rows before the next segment is read again.
    const int done = std::min(m_rowCount, st.NextSegment * perSegment);
    const int keep = int(std::min<std::size_t>((WindowBytes + m_rowBytes - 1) / m_rowBytes, std::size_t(done)));
    const int drop = done - keep - st.FirstRow;
    if (drop > 0) {
      st.Rows.erase(st.Rows.begin(), st.Rows.begin() + std::ptrdiff_t(std::size_t(drop) * m_rowBytes));
      st.FirstRow += drop;
    }
  }
}

void TDeflateStream::Add(const std::uint8_t* rows, int count) {
  TState& st = *m_state;
  if (count < 0 || st.EndRow + count > m_rowCount) throw EImageError("zlib: more rows than announced");
  st.Rows.insert(st.Rows.end(), rows, rows + std::size_t(count) * m_rowBytes);
  st.EndRow += count;
  Compress(false);
}

void TDeflateStream::Finish() {
  TState& st = *m_state;
  if (st.EndRow != m_rowCount) throw EImageError("zlib: fewer rows than announced");
  Compress(true);
  PutTrailer(st.Batches.Adler(), m_sink);
}

void DeflateRows(int rowCount, std::size_t rowBytes, const TRowSource& rows, int level, TByteBuffer& out) {
  DeflateRows(rowCount, rowBytes, rows, level,
              [&out](const std::uint8_t* data, std::size_t size) { out.insert(out.end(), data, data + size); });
}
