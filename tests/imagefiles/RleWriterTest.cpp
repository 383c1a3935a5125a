#include "imagefiles/RleWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "TestBitmaps.h"

using namespace testing_bitmaps;

namespace {

std::uint32_t LE32(const TByteBuffer& b, std::size_t at) {
  return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
         std::uint32_t(b[at + 3]) << 24;
}
std::uint16_t LE16(const TByteBuffer& b, std::size_t at) { return std::uint16_t(b[at] | b[at + 1] << 8); }

// A strict RLE8 decoder: every row ends with end-of-line, the last one is
// followed by end-of-bitmap and nothing else; absolute runs hold at least 3
// pixels and are padded to a word; no run crosses the row's end; no deltas.
::testing::AssertionResult DecodeRle8(const TByteBuffer& data, int w, int h, std::vector<std::uint8_t>& rows) {
  rows.assign(std::size_t(w) * std::size_t(h), 0);
  std::size_t p = 0;
  auto fail = [&](const std::string& what) { return ::testing::AssertionFailure() << what << " at byte " << p; };
  for (int row = 0; row < h; ++row) {
    const int y = h - 1 - row;  // bottom-up
    int x = 0;
    for (;;) {
      if (p + 2 > data.size()) return fail("data ends inside a row");
      const int a = data[p], b = data[p + 1];
      p += 2;
      if (a > 0) {
        if (x + a > w) return fail("run past the row");
        for (int i = 0; i < a; ++i) rows[std::size_t(y) * std::size_t(w) + std::size_t(x++)] = std::uint8_t(b);
      } else if (b == 0) {
        break;  // end of line
      } else if (b == 1 || b == 2) {
        return fail("end of bitmap or delta inside the picture");
      } else {
        if (x + b > w) return fail("absolute run past the row");
        if (p + std::size_t(b) > data.size()) return fail("absolute run past the data");
        for (int i = 0; i < b; ++i) rows[std::size_t(y) * std::size_t(w) + std::size_t(x++)] = data[p++];
        if (b & 1) {
          if (p >= data.size() || data[p] != 0) return fail("absolute run not word aligned");
          ++p;
        }
      }
    }
    if (x != w) return fail("row " + std::to_string(y) + " has " + std::to_string(x) + " pixels");
  }
  if (p + 2 != data.size() || data[p] != 0 || data[p + 1] != 1) return fail("no end of bitmap at the end");
  return ::testing::AssertionSuccess();
}

TBitmap PhotoLike(int w, int h) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double t = std::sin(x * 0.3) * std::cos(y * 0.2) * 50;
      b.SetPixel(x, y, RGBColor(int(128 + t) & 0xFF, (x * 5 + y) & 0xFF, int(200 - 2 * y + t / 3) & 0xFF));
    }
  return b;
}

struct THeaderChecked {
  std::uint32_t n = 0, s = 0;
};

// The fixed layout: file header, information header, N colours, S bytes.
THeaderChecked CheckHeader(const TByteBuffer& f, int w, int h) {
  THeaderChecked r;
  EXPECT_GE(f.size(), 54u);
  if (f.size() < 54) return r;
  EXPECT_EQ(f[0], 'B');
  EXPECT_EQ(f[1], 'M');
  r.n = LE32(f, 46);
  r.s = LE32(f, 34);
  EXPECT_GE(r.n, 1u);
  EXPECT_LE(r.n, 256u);
  EXPECT_EQ(LE32(f, 2), 54 + 4 * r.n + r.s);
  EXPECT_EQ(f.size(), 54 + 4 * r.n + r.s);
  EXPECT_EQ(LE16(f, 6), 0);
  EXPECT_EQ(LE16(f, 8), 0);
  EXPECT_EQ(LE32(f, 10), 54 + 4 * r.n);
  EXPECT_EQ(LE32(f, 14), 40u);
  EXPECT_EQ(LE32(f, 18), std::uint32_t(w));
  EXPECT_EQ(LE32(f, 22), std::uint32_t(h));
  EXPECT_EQ(LE16(f, 26), 1);
  EXPECT_EQ(LE16(f, 28), 8);
  EXPECT_EQ(LE32(f, 30), 1u);
  EXPECT_EQ(LE32(f, 38), 0u);
  EXPECT_EQ(LE32(f, 42), 0u);
  EXPECT_EQ(LE32(f, 50), 0u);
  for (std::uint32_t i = 0; i < r.n && 54 + 4 * i + 3 < f.size(); ++i) EXPECT_EQ(f[54 + 4 * i + 3], 0) << i;
  return r;
}

// Writes the picture, checks the header and that the pixel data decode to
// the reduced picture, index for index and colour for colour.
void CheckFile(const TBitmap& source) {
  TByteBuffer f;
  WriteRle(source, f);
  const THeaderChecked hdr = CheckHeader(f, source.Width(), source.Height());
  TBitmap reduced(source);
  ReduceColors(reduced);
  ASSERT_EQ(reduced.PixelFormat(), pf8bit);
  const QList<QRgb> table = reduced.Palette();
  ASSERT_EQ(hdr.n, std::uint32_t(table.size()));
  for (qsizetype i = 0; i < table.size(); ++i) {
    const std::size_t at = 54 + 4 * std::size_t(i);
    EXPECT_EQ(f[at], qBlue(table[i]));
    EXPECT_EQ(f[at + 1], qGreen(table[i]));
    EXPECT_EQ(f[at + 2], qRed(table[i]));
  }
  const TByteBuffer data(f.begin() + 54 + 4 * std::ptrdiff_t(hdr.n), f.end());
  std::vector<std::uint8_t> pixels;
  ASSERT_TRUE(DecodeRle8(data, source.Width(), source.Height(), pixels));
  for (int y = 0; y < source.Height(); ++y)
    for (int x = 0; x < source.Width(); ++x)
      ASSERT_EQ(pixels[std::size_t(y) * std::size_t(source.Width()) + std::size_t(x)], reduced.ScanLine(y)[x])
          << "pixel " << x << "," << y;
}

}  // namespace

TEST(RleWriter, FewColoursGiveExactlyTheirTable) {
  const TBitmap three = FromRows({{clRed, clRed, clRed, clBlue, clLime}, {clLime, clRed, clBlue, clBlue, clBlue}});
  TByteBuffer f;
  WriteRle(three, f);
  const THeaderChecked hdr = CheckHeader(f, 5, 2);
  EXPECT_EQ(hdr.n, 3u);
  CheckFile(three);
  TBitmap reduced(three);
  ReduceColors(reduced);
  EXPECT_TRUE(SamePixels(reduced, three));
}

TEST(RleWriter, RowsOfEveryShapeDecodeBack) {
  // Each case is one row of palette colours given as a pattern of indices.
  struct TCase {
    const char* name;
    std::vector<int> row;
  };
  auto repeat = [](int value, int n) { return std::vector<int>(std::size_t(n), value); };
  auto concat = [](std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  std::vector<int> alternating, distinct300;
  for (int i = 0; i < 7; ++i) alternating.push_back(i & 1);
  for (int i = 0; i < 300; ++i) distinct300.push_back(i % 200);
  const TCase cases[] = {
      {"one pixel", {5}},
      {"two different", {1, 2}},
      {"three different", {1, 2, 3}},
      {"pair then singles", {4, 4, 1, 2}},
      {"alternating, odd length", alternating},
      {"long run past 255", repeat(3, 600)},
      {"run of exactly 255", repeat(9, 255)},
      {"literals past 255", distinct300},
      {"literal, run, literal", concat(concat({1, 2, 3, 4}, repeat(7, 9)), {5, 6, 8})},
      {"pairs inside literals", {1, 2, 2, 3, 4, 4, 5, 6, 6, 6}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int w = int(c.row.size());
    QImage img(w, 2, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i) table.append(qRgb(i, 255 - i, i / 2));
    img.setColorTable(table);
    for (int x = 0; x < w; ++x) {
      img.setPixel(x, 0, uint(c.row[std::size_t(x)]));
      img.setPixel(x, 1, uint(c.row[std::size_t(w - 1 - x)]));
    }
    std::vector<std::uint8_t> pixels;
    ASSERT_TRUE(DecodeRle8(EncodeRle8(img), w, 2, pixels));
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < w; ++x) ASSERT_EQ(pixels[std::size_t(y * w + x)], img.pixelIndex(x, y)) << x << "," << y;
  }
}

TEST(RleWriter, RowPacketsUseRunsAndAbsoluteStretches) {
  // One row each, as palette indices, and its packets worked out by hand:
  // a repeat of 2 or more is a run (count, index); 3 or more pixels without
  // such a run are one absolute stretch (0, count, indices, a pad byte when
  // the count is odd); 1 or 2 lone pixels are runs of 1. Then end of line
  // (0, 0) and end of bitmap (0, 1).
  const struct {
    const char* name;
    std::vector<int> row;
    TByteBuffer packets;
  } cases[] = {
      {"one pixel", {5}, {1, 5, 0, 0, 0, 1}},
      {"two different", {1, 2}, {1, 1, 1, 2, 0, 0, 0, 1}},
      {"three different", {1, 2, 3}, {0, 3, 1, 2, 3, 0, 0, 0, 0, 1}},
      {"four different", {1, 2, 3, 4}, {0, 4, 1, 2, 3, 4, 0, 0, 0, 1}},
      {"run then two singles", {4, 4, 1, 2}, {2, 4, 1, 1, 1, 2, 0, 0, 0, 1}},
      {"absolute, run, absolute",
       {1, 2, 3, 4, 7, 7, 7, 7, 7, 5, 6, 8},
       {0, 4, 1, 2, 3, 4, 5, 7, 0, 3, 5, 6, 8, 0, 0, 0, 0, 1}},
      {"pairs kept inside an absolute stretch",
       {1, 2, 2, 3, 4, 4, 5, 6, 6, 6},
       {0, 7, 1, 2, 2, 3, 4, 4, 5, 0, 3, 6, 0, 0, 0, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QImage img(int(c.row.size()), 1, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i) table.append(qRgb(i, i, i));
    img.setColorTable(table);
    for (int x = 0; x < img.width(); ++x) img.setPixel(x, 0, uint(c.row[std::size_t(x)]));
    EXPECT_EQ(EncodeRle8(img), c.packets);
  }
}

TEST(RleWriter, ManyColoursReduceAndDecodeBack) {
  const TBitmap photo = PhotoLike(97, 41);
  CheckFile(photo);
  TByteBuffer f;
  WriteRle(photo, f);
  EXPECT_GT(LE32(f, 46), 16u);
}

TEST(RleWriter, SourceIsLeftUnchanged) {
  TBitmap source = PhotoLike(30, 20);
  source.Transparent = true;
  const TBitmap before(source);
  TRleImage rle;
  rle.Bitmap().Assign(&source);
  TByteBuffer f;
  rle.SaveToBytes(f);
  EXPECT_GT(f.size(), 54u);
  EXPECT_EQ(rle.Bitmap().PixelFormat(), pf24bit);
  EXPECT_TRUE(rle.Bitmap().Transparent);
  EXPECT_TRUE(SamePixels(rle.Bitmap(), before));
  WriteRle(source, f);
  EXPECT_EQ(source.PixelFormat(), pf24bit);
  EXPECT_TRUE(SamePixels(source, before));
}

TEST(RleWriter, WriteOnlyAndNothingToWrite) {
  TRleImage rle;
  EXPECT_STREQ(rle.FormatName(), "RLE");
  TByteBuffer out;
  EXPECT_THROW(rle.SaveToBytes(out), EImageError);
  const std::uint8_t bytes[2] = {'B', 'M'};
  EXPECT_THROW(rle.LoadFromBytes(bytes), EImageError);
}
