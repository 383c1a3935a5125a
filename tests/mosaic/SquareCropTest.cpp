#include "mosaic/SquareCrop.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "TestBitmaps.h"
#include "imagefiles/PictureFiles.h"
#include "mosaic/ThumbnailLibrary.h"

using namespace testing_bitmaps;

namespace {

// A red picture whose centred square is numbered pixel by pixel.
TBitmap FramedSquare(int w, int h) {
  TBitmap b = Solid(w, h, clRed);
  const TSquareRegion sq = CentredSquare(w, h);
  b.Draw(sq.Left, sq.Top, Numbered(sq.Side, sq.Side));
  return b;
}

}  // namespace

TEST(SquareCrop, KeepsTheCentredSquare) {
  const struct {
    int w, h;
    TSquareRegion square;
  } cases[] = {
      {30, 10, {10, 0, 10}},
      {10, 31, {0, 10, 10}},  // the odd pixel of margin goes to the bottom
      {11, 10, {0, 0, 10}},
      {12, 12, {0, 0, 12}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.w << " x " << c.h);
    const TSquareRegion sq = CentredSquare(c.w, c.h);
    EXPECT_EQ(sq.Left, c.square.Left);
    EXPECT_EQ(sq.Top, c.square.Top);
    EXPECT_EQ(sq.Side, c.square.Side);
    // At the square's own size the crop is the square, pixel for pixel.
    EXPECT_TRUE(SamePixels(CropToSquare(FramedSquare(c.w, c.h), sq.Side), Numbered(sq.Side, sq.Side)));
  }
}

TEST(SquareCrop, ReducesByAreaAveraging) {
  // A 40 x 20 picture: a red margin of 10 on each side around a square of
  // 5 x 5 blocks, each block of one colour, one block a black and white
  // checkerboard.
  TBitmap picture = Solid(40, 20, clRed);
  for (int by = 0; by < 5; ++by)
    for (int bx = 0; bx < 5; ++bx)
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
          const bool checker = bx == 2 && by == 2;
          const TColor c = checker ? ((x + y) % 2 ? clWhite : clBlack) : RGBColor(bx * 50, by * 50, 100);
          picture.SetPixel(10 + bx * 4 + x, by * 4 + y, c);
        }
  const TBitmap square = CropToSquare(picture, 5);
  ASSERT_EQ(square.Width(), 5);
  ASSERT_EQ(square.Height(), 5);
  for (int by = 0; by < 5; ++by)
    for (int bx = 0; bx < 5; ++bx) {
      SCOPED_TRACE(::testing::Message() << "block " << bx << ", " << by);
      const TColor expected = bx == 2 && by == 2 ? RGBColor(128, 128, 128) : RGBColor(bx * 50, by * 50, 100);
      EXPECT_EQ(Hex(square.Pixel(bx, by)), Hex(expected));
    }
  // A reduction by a fraction weighs the pixels it covers in part: 3 pixels
  // 0, 90, 180 onto 2: (0 + 90 / 2) / 1.5 and (90 / 2 + 180) / 1.5.
  const TBitmap row = FromRows({{RGBColor(0, 0, 0), RGBColor(90, 90, 90), RGBColor(180, 180, 180)},
                                {RGBColor(0, 0, 0), RGBColor(90, 90, 90), RGBColor(180, 180, 180)},
                                {RGBColor(0, 0, 0), RGBColor(90, 90, 90), RGBColor(180, 180, 180)}});
  const TBitmap two = CropToSquare(row, 2);
  EXPECT_EQ(Hex(two.Pixel(0, 0)), Hex(RGBColor(30, 30, 30)));
  EXPECT_EQ(Hex(two.Pixel(1, 1)), Hex(RGBColor(150, 150, 150)));
}

TEST(SquareCrop, ThumbnailLoadCropsOnlyWhenAsked) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  TBitmap wide = Solid(300, 100, clRed);
  for (int y = 0; y < 100; ++y)
    for (int x = 100; x < 200; ++x) wide.SetPixel(x, y, clBlue);
  const QString path = dir.filePath("wide.png");
  TPictureFileContext files;
  ASSERT_EQ(SavePicture(files, path, wide), 1);
  for (bool crop : {false, true}) {
    SCOPED_TRACE(crop ? "crop" : "squash");
    TThumbnailList list;
    list.SetHeight(20);
    list.SetWidth(20);
    TThumbnailLoadOptions options;
    options.CellSize = 20;
    options.CropSquare = crop;
    ASSERT_TRUE(AddThumbnailFile(list, dir.path() + u'/', QStringLiteral("wide.png"), options));
    const TBitmap& t = list.Entry(0);
    EXPECT_EQ(t.Pixel(0, 10), crop ? clBlue : clRed);
    EXPECT_EQ(t.Pixel(10, 10), clBlue);
    EXPECT_EQ(t.Pixel(19, 10), crop ? clBlue : clRed);
  }
}
