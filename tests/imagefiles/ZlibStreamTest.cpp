#include "imagefiles/ZlibStream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Rows of a byte function, the way a picture's rows are handed over.
TRowSource RowsOf(std::size_t rowBytes, std::uint8_t (*value)(std::size_t)) {
  return [rowBytes, value](int row, std::uint8_t* out) {
    for (std::size_t i = 0; i < rowBytes; ++i) out[i] = value(std::size_t(row) * rowBytes + i);
  };
}

Bytes Plain(int rows, std::size_t rowBytes, std::uint8_t (*value)(std::size_t)) {
  Bytes b(std::size_t(rows) * rowBytes);
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = value(i);
  return b;
}

std::uint8_t Noise(std::size_t i) { return std::uint8_t((i * 2654435761u) >> 13); }
// Repeats every 20 000 bytes: only a dictionary reaching back across a
// segment boundary finds the repeat right after it.
std::uint8_t Periodic(std::size_t i) { return Noise(i % 20000); }
// A megabyte of noise between megabytes of repeats: pieces of both
// compressors (libdeflate, and zlib with the history before it) in one stream.
std::uint8_t Alternating(std::size_t i) { return (i >> 20) & 1 ? Noise(i) : std::uint8_t(i % 251); }

}  // namespace

TEST(ZlibStream, SegmentedStreamInflatesToTheDataAndCompressesLikeOneStream) {
  struct Case {
    const char* name;
    int rows;
    std::size_t rowBytes;
    std::uint8_t (*value)(std::size_t);
  } cases[] = {
      {"no rows", 0, 10, Noise},
      {"one short row", 1, 7, Noise},
      {"many segments of noise", 3000, 1001, Noise},
      {"repeats across segments", 2000, 3001, Periodic},
      {"rows wider than a segment", 3, 700001, Periodic},
      {"noise between repeats", 3000, 1001, Alternating},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes stream;
    DeflateRows(c.rows, c.rowBytes, RowsOf(c.rowBytes, c.value), 7, stream);
    const Bytes expected = Plain(c.rows, c.rowBytes, c.value);
    ASSERT_GE(stream.size(), 6u);
    EXPECT_EQ(stream[0], 0x78);
    EXPECT_EQ(stream[1], 0xDA);  // level 7's header, as zlib writes it
    // uncompress checks the Adler-32 and that the stream ends where it should.
    Bytes inflated(expected.size() + 1);
    uLongf size = uLongf(inflated.size());
    ASSERT_EQ(uncompress(inflated.data(), &size, stream.data(), uLong(stream.size())), Z_OK);
    inflated.resize(size);
    EXPECT_EQ(inflated, expected);

    Bytes single(compressBound(uLong(expected.size())));
    uLongf singleSize = uLongf(single.size());
    ASSERT_EQ(compress2(single.data(), &singleSize, expected.data(), uLong(expected.size()), 7), Z_OK);
    EXPECT_LE(double(stream.size()), double(singleSize) * 1.002 + 64);
  }
}
