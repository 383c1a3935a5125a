#pragma once
// A zlib stream compressed on all cores. The data is cut into segments of
// whole rows, each deflated on its own by libdeflate and ended on a byte
// boundary, so that the pieces join into one ordinary zlib stream that any
// inflater reads. A segment that compresses very well (where the 32 KiB of
// history a segment starts without matter most) is also deflated by zlib with
// that history as its dictionary, and the smaller of the two is kept; a whole
// stream far smaller than its data is compared with one zlib stream over all
// of it, so that the pieces' own few bytes never make it larger. The
// segments do not depend on the number of cores: the bytes are the same on
// every machine. Segments are compressed a few at a time and handed on in
// order, so the memory used beside the result stays small.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "imagefiles/Graphic.h"

// Writes row `row` (rowBytes bytes) into `out`. Called from worker threads,
// for any row, possibly more than once: it must only read shared data.
using TRowSource = std::function<void(int row, std::uint8_t* out)>;
// Receives the stream's bytes, in order, on the calling thread.
using TStreamSink = std::function<void(const std::uint8_t* data, std::size_t size)>;

// Hands `sink` the zlib stream (header, deflate data at `level`, Adler-32) of
// rows 0..rowCount-1. Throws EImageError when compression fails and
// std::bad_alloc when memory runs out.
void DeflateRows(int rowCount, std::size_t rowBytes, const TRowSource& rows, int level, const TStreamSink& sink);
// The same, appended to `out`.
void DeflateRows(int rowCount, std::size_t rowBytes, const TRowSource& rows, int level, TByteBuffer& out);

// The same stream made as the rows come, for rows never all held at once:
// the segments are compressed as soon as a few cores' worth are in, and
// only they and a window of history before them are kept. The bytes are
// those of DeflateRows, except for a stream more than 32 times smaller than
// its data, which is not compared with one zlib stream over all of it (that
// would hold the whole stream back) and may take a few bytes more.
class TDeflateStream {
 public:
  TDeflateStream(int rowCount, std::size_t rowBytes, int level, TStreamSink sink);
  ~TDeflateStream();
  // The next `count` rows, rowBytes apart. Throws as DeflateRows does, and
  // EImageError for rows beyond rowCount; exceptions of the sink pass
  // through.
  void Add(const std::uint8_t* rows, int count);
  // After the last row: the rest of the stream.
  void Finish();

 private:
  struct TState;
  void Compress(bool all);
  int m_rowCount;
  std::size_t m_rowBytes;
  TStreamSink m_sink;
  std::unique_ptr<TState> m_state;
};
