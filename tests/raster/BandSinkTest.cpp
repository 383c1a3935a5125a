#include "raster/BandSink.h"

#include <gtest/gtest.h>

namespace {

// Keeps what it is sent, and fails at the band it is told to, or at the end.
struct TRecordingSink : TBandSink {
  int FailAtBand = -1;
  bool FailFinish = false;
  int Width = 0, Height = 0, Bands = 0, Abandoned = 0;
  bool Finished = false;
  QString Why = QStringLiteral("disk full");
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
  bool Finish() override { return Finished = !FailFinish; }
  void Abandon() override { ++Abandoned; }
  QString Error() const override { return Why; }
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

// The tee's error is the reason of the sink that failed, whichever it is and
// wherever it failed: the tool prints it as why the file was not written.
TEST(BandSinkTest, ATeeSaysWhyTheSinkThatFailedDid) {
  for (const bool atFinish : {false, true})
    for (const int failing : {0, 1}) {
      SCOPED_TRACE(testing::Message() << "sink " << failing << (atFinish ? " fails to finish" : " fails a band"));
      TRecordingSink sinks[2];
      sinks[0].Why = QStringLiteral("the file's disk is full");
      sinks[1].Why = QStringLiteral("the pyramid's folder is gone");
      if (atFinish)
        sinks[failing].FailFinish = true;
      else
        sinks[failing].FailAtBand = 1;
      TBandTee tee({&sinks[0], &sinks[1]});
      EXPECT_FALSE(WriteInBands(Gradient(4, 10), tee, 3));
      EXPECT_EQ(tee.Error(), sinks[failing].Why);
      EXPECT_GE(sinks[0].Abandoned, 1);
      EXPECT_GE(sinks[1].Abandoned, 1);
    }
}

// A sink that fails to finish is abandoned too: a pyramid whose last step
// failed leaves no half-made folder behind.
TEST(BandSinkTest, ASinkThatFailsToFinishIsAbandoned) {
  TRecordingSink sink;
  sink.FailFinish = true;
  EXPECT_FALSE(WriteInBands(Gradient(4, 10), sink, 3));
  EXPECT_EQ(sink.Bands, 4);
  EXPECT_EQ(sink.Abandoned, 1);
}

}  // namespace
