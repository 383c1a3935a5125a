#pragma once
// Small fixtures and pixel checks shared by the tests.
#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "raster/Bitmap.h"

namespace testing_bitmaps {

// A 24-bit bitmap filled with one colour.
inline TBitmap Solid(int w, int h, TColor c) {
  TBitmap b(w, h, pf24bit);
  b.Fill(c);
  return b;
}

// A 24-bit bitmap whose pixels are given row by row as colour values.
inline TBitmap FromRows(std::initializer_list<std::initializer_list<TColor>> rows) {
  const int h = int(rows.size());
  const int w = h ? int(rows.begin()->size()) : 0;
  TBitmap b(w, h, pf24bit);
  int y = 0;
  for (const auto& row : rows) {
    int x = 0;
    for (TColor c : row) b.SetPixel(x++, y, c);
    ++y;
  }
  return b;
}

// A 24-bit bitmap where every pixel has a distinct colour derived from (x, y).
inline TColor Distinct(int x, int y) { return RGBColor(x * 7 + 1, y * 11 + 2, (x * 13 + y * 3) & 0xFF); }
inline TBitmap Numbered(int w, int h) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, Distinct(x, y));
  return b;
}

// The w x h part of b whose top-left corner is (x, y).
inline TBitmap Crop(const TBitmap& b, int x, int y, int w, int h) {
  TBitmap part(w, h, pf24bit);
  for (int dy = 0; dy < h; ++dy)
    for (int dx = 0; dx < w; ++dx) part.SetPixel(dx, dy, b.Pixel(x + dx, y + dy));
  return part;
}

inline std::string Hex(TColor c) {
  std::ostringstream s;
  s << "0x" << std::hex << c;
  return s.str();
}

// Compares every pixel and reports the first difference with its position.
inline ::testing::AssertionResult SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height())
    return ::testing::AssertionFailure() << "sizes differ: " << a.Width() << "x" << a.Height() << " vs " << b.Width()
                                         << "x" << b.Height();
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.Pixel(x, y) != b.Pixel(x, y))
        return ::testing::AssertionFailure()
               << "pixel (" << x << ", " << y << ") differs: " << Hex(a.Pixel(x, y)) << " vs " << Hex(b.Pixel(x, y));
  return ::testing::AssertionSuccess();
}

}  // namespace testing_bitmaps
