#include "raster/BandSink.h"

#include <gtest/gtest.h>

namespace {

// Keeps what it is sent, and fails at the band it is told to.
struct TRecordingSink : TBandSink {
  int FailAtBand = -1;
  int Width = 0, Height = 0, Bands = 0, Abandoned = 0;
  bool Finished = false;
  TBitmap Picture;
  bool Begin(int width, int height) override {
    Width = width;
    Height = height;
    Picture = TBitmap(width, height, pf24bit);
    return true;
  }
  bool Write(const TBitmap& band, int top) override {
    if (Bands++ == FailAtBand) return false;
    EXPECT_EQ(band.Width(), Width);
    for (int y = 0; y < band.Height(); ++y)
      for (int x = 0; x < band.Width(); ++x) Picture.SetPixel(x, top + y, band.Pixel(x, y));
    return true;
  }
  bool Finish() override { return Finished = true; }
  void Abandon() override { ++Abandoned; }
  QString Error() const override { return QStringLiteral("disk full"); }
};

TBitmap Gradient(int w, int h) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, RGBColor(x * 20, y * 10, (x + y) * 5));
  return b;
}

TEST(BandSinkTest, BandsRebuildThePictureWhateverTheirHeight) {
  const TBitmap picture = Gradient(7, 23);
  for (int rows : {1, 5, 23, 100}) {
    SCOPED_TRACE(rows);
    TRecordingSink sink;
    ASSERT_TRUE(WriteInBands(picture, sink, rows));
    EXPECT_EQ(sink.Bands, (23 + rows - 1) / rows);
    EXPECT_TRUE(sink.Finished);
    EXPECT_EQ(sink.Abandoned, 0);
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 7; ++x) ASSERT_EQ(sink.Picture.Pixel(x, y), picture.Pixel(x, y)) << x << "," << y;
  }
}

TEST(BandSinkTest, OneFailingSinkOfATeeAbandonsThemAll) {
  TRecordingSink good, bad;
  bad.FailAtBand = 1;
  TBandTee tee({&good, &bad});
  EXPECT_FALSE(WriteInBands(Gradient(4, 10), tee, 3));
  EXPECT_EQ(tee.Error(), QStringLiteral("disk full"));
  EXPECT_GE(good.Abandoned, 1);
  EXPECT_GE(bad.Abandoned, 1);
  EXPECT_FALSE(good.Finished);
  EXPECT_EQ(good.Bands, 2);  // the band that failed in the second sink went to the first
}

}  // namespace
