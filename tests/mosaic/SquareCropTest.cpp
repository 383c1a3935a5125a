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

TEST(SquareCrop, CentredRegionOfEachShape) {
  const struct {
    int w, h, shapeW, shapeH;
    TCropRegion region;
  } cases[] = {
      {400, 300, 4, 3, {0, 0, 400, 300}},
      {400, 300, 16, 9, {0, 37, 400, 225}},  // the odd pixel of margin goes to the bottom
      {400, 300, 3, 2, {0, 16, 400, 267}},   // 266.7 rounded
      {300, 400, 3, 4, {0, 0, 300, 400}},
      {400, 300, 9, 16, {115, 0, 169, 300}},  // 168.75 rounded, odd margin on the right
      {400, 300, 2, 3, {100, 0, 200, 300}},
      {1000, 10, 16, 9, {491, 0, 18, 10}},
      {40, 30, 20, 13, {0, 2, 40, 26}},  // a tile's own pixel shape
      {1, 1000, 16, 9, {0, 499, 1, 1}},  // never less than a pixel
      {31, 10, 1, 1, {10, 0, 10, 10}},
      {10, 31, 7, 7, {0, 10, 10, 10}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.w << " x " << c.h << " to " << c.shapeW << ":" << c.shapeH);
    const TCropRegion r = CentredRegion(c.w, c.h, c.shapeW, c.shapeH);
    EXPECT_EQ(r.Left, c.region.Left);
    EXPECT_EQ(r.Top, c.region.Top);
    EXPECT_EQ(r.Width, c.region.Width);
    EXPECT_EQ(r.Height, c.region.Height);
  }
  // A square shape is the centred square, whatever the picture.
  for (int w = 1; w < 12; ++w)
    for (int h = 1; h < 12; ++h) {
      const TSquareRegion sq = CentredSquare(w, h);
      const TCropRegion r = CentredRegion(w, h, 5, 5);
      EXPECT_TRUE(r.Left == sq.Left && r.Top == sq.Top && r.Width == sq.Side && r.Height == sq.Side) << w << " x " << h;
    }
}

TEST(SquareCrop, TileShapesAndSizes) {
  const struct {
    const char* text;
    int cell;
    TTileSize size;
  } cases[] = {
      {"1:1", 20, {20, 20}}, {"4:3", 20, {20, 15}}, {"3:2", 20, {20, 13}}, {"16:9", 20, {20, 11}},
      {"16:9", 10, {10, 6}}, {"3:4", 15, {11, 15}}, {"2:3", 40, {27, 40}}, {"9:16", 20, {11, 20}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.text << " at " << c.cell);
    TTileAspect aspect{7, 7};
    ASSERT_TRUE(ParseTileAspect(QString::fromLatin1(c.text), aspect));
    EXPECT_EQ(QStringLiteral("%1:%2").arg(aspect.Width).arg(aspect.Height), QString::fromLatin1(c.text));
    const TTileSize size = TileSize(c.cell, aspect);
    EXPECT_EQ(size.Width, c.size.Width);
    EXPECT_EQ(size.Height, c.size.Height);
  }
  for (const char* text : {"", "4:3 ", " 4:3", "5:4", "8:6", "4/3", "16:09", "1", "0:0", "-4:-3"}) {
    TTileAspect aspect{7, 7};
    EXPECT_FALSE(ParseTileAspect(QString::fromLatin1(text), aspect)) << '"' << text << '"';
    EXPECT_EQ(aspect, (TTileAspect{7, 7}));
  }
  EXPECT_EQ(TileAspectList(), QStringLiteral("1:1, 4:3, 3:2, 16:9, 3:4, 2:3 or 9:16"));
}

TEST(SquareCrop, CropsToTheTilesShapeByAreaAveraging) {
  // A red picture whose centred region of the tile's shape is made of 2 x 2
  // blocks, each of one colour but one, a black and white checkerboard: each
  // block becomes one pixel of the tile, and no red comes in.
  const struct {
    int w, h, tileW, tileH;
    TCropRegion region;
  } cases[] = {
      {10, 6, 4, 3, {1, 0, 8, 6}},  // 4:3 in a wider picture
      {8, 6, 4, 2, {0, 1, 8, 4}},   // 2:1 in a higher one
      {8, 6, 2, 3, {2, 0, 4, 6}},   // portrait
      {9, 6, 3, 3, {1, 0, 6, 6}},   // the square
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.w << " x " << c.h << " to " << c.tileW << " x " << c.tileH);
    const auto block = [](int bx, int by) { return RGBColor(bx * 60, by * 60, 100); };
    TBitmap picture = Solid(c.w, c.h, clRed);
    for (int y = 0; y < c.region.Height; ++y)
      for (int x = 0; x < c.region.Width; ++x) {
        const bool checker = x / 2 == 1 && y / 2 == 1;
        picture.SetPixel(c.region.Left + x, c.region.Top + y,
                         checker ? ((x + y) % 2 ? clWhite : clBlack) : block(x / 2, y / 2));
      }
    const TBitmap tile = CropToShape(picture, c.tileW, c.tileH);
    ASSERT_EQ(tile.Width(), c.tileW);
    ASSERT_EQ(tile.Height(), c.tileH);
    for (int by = 0; by < c.tileH; ++by)
      for (int bx = 0; bx < c.tileW; ++bx) {
        const TColor expected = bx == 1 && by == 1 ? RGBColor(128, 128, 128) : block(bx, by);
        EXPECT_EQ(Hex(tile.Pixel(bx, by)), Hex(expected)) << "pixel " << bx << ", " << by;
      }
    if (c.tileW == c.tileH) {
      EXPECT_TRUE(SamePixels(CropToSquare(picture, c.tileW), tile));
    }
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
