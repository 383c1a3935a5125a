#pragma once
// A zlib stream compressed on all cores. The data is cut into segments of
// whole rows; each segment is deflated on its own with the 32 KiB of data
// before it as its dictionary and ends on a byte boundary, so the pieces join
// into one ordinary zlib stream that any inflater reads, compressed within a
// few bytes a segment of what one deflate call would give. The segments do not
// depend on the number of cores: the bytes are the same on every machine.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "imagefiles/Graphic.h"

// Writes row `row` (rowBytes bytes) into `out`. Called from worker threads,
// for any row, possibly more than once: it must only read shared data.
using TRowSource = std::function<void(int row, std::uint8_t* out)>;

// Appends to `out` the zlib stream (header, deflate data at `level`, Adler-32)
// of rows 0..rowCount-1. Throws EImageError when zlib fails and
// std::bad_alloc when memory runs out.
void DeflateRows(int rowCount, std::size_t rowBytes, const TRowSource& rows, int level, TByteBuffer& out);
