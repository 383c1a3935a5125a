#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestBitmaps.h"
#include "app/MyMsgDlg.h"
#include "display/ShapeManager.h"
#include "imagefiles/BksImage.h"

using namespace testing_bitmaps;

namespace {

TByteBuffer Text(const std::string& s) { return TByteBuffer(s.begin(), s.end()); }

struct TFlagged {
  int x, y, flags;
};

TByteBuffer BinarySelection(const std::vector<TFlagged>& pts) {
  TByteBuffer out = Text("Brindlemark Selection\r\nBinary\r\n");
  PutLE32(out, std::uint32_t(pts.size()));
  for (const TFlagged& p : pts) {
    PutLE32(out, std::uint32_t(p.x + 33));
    PutLE32(out, std::uint32_t(p.flags + 77));
    PutLE32(out, std::uint32_t(p.y + 33));
  }
  return out;
}

// The boundary pixels of a w x h block with their side flags, in row order.
std::vector<TFlagged> Block(int w, int h) {
  std::vector<TFlagged> pts;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int f =
          (x == 0 ? mpLeft : 0) | (y == 0 ? mpTop : 0) | (x == w - 1 ? mpRight : 0) | (y == h - 1 ? mpBottom : 0);
      if (f) pts.push_back({x, y, f});
    }
  return pts;
}

// Black exactly inside r, white elsewhere.
::testing::AssertionResult BlackRectOnWhite(const TBitmap& b, TRect r) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const bool inside = x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
      if (b.Pixel(x, y) != (inside ? clBlack : clWhite))
        return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << Hex(b.Pixel(x, y));
    }
  return ::testing::AssertionSuccess();
}

// Records messages so that the tests can see none is shown.
class BksImage : public testing::Test {
 protected:
  void SetUp() override {
    m_previous = SetMsgPresenter([this](const TMsgRequest& r) {
      m_calls.push_back(r);
      return int(idOk);
    });
  }
  void TearDown() override { SetMsgPresenter(m_previous); }

  TBitmap Load(const TByteBuffer& data) {
    TBksImage image;
    image.LoadFromBytes(data);
    return image.Bitmap();
  }

  std::vector<TMsgRequest> m_calls;

 private:
  TMsgPresenter m_previous;
};

TEST_F(BksImage, BareRectangleGetsAMarginAndNoSmoothing) {
  const TBitmap b = Load(Text("-1\r\n100\r\n50\r\n"));
  ASSERT_EQ(b.Width(), 116);
  ASSERT_EQ(b.Height(), 66);
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  EXPECT_FALSE(b.Transparent);
  EXPECT_TRUE(BlackRectOnWhite(b, Rect(8, 8, 108, 58)));
}

TEST_F(BksImage, TextPolygonWithHeaderIsSmoothed) {
  const TBitmap b = Load(Text("Brindlemark Selection\r\nwhatever\r\n3\r\n0;0\r\n10;0\r\n0;10\r\n"));
  ASSERT_EQ(b.Width(), 11);
  ASSERT_EQ(b.Height(), 11);
  for (TPoint p : {TPoint{0, 0}, TPoint{10, 0}, TPoint{0, 10}}) EXPECT_EQ(b.Pixel(p.X, p.Y), clBlack);
  EXPECT_EQ(b.Pixel(10, 10), clWhite);
  // The steps of the slanted side are softened: there are greys, and only greys.
  int greys = 0;
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 11; ++x) {
      const TColor c = b.Pixel(x, y);
      EXPECT_TRUE(GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c)) << x << "," << y;
      if (c != clBlack && c != clWhite) ++greys;
    }
  EXPECT_GT(greys, 0);
}

TEST_F(BksImage, BinaryBlockIsAFilledRectangle) {
  const TBitmap b = Load(BinarySelection(Block(24, 12)));
  ASSERT_EQ(b.Width(), 28);  // margin 24 div 12 = 2
  ASSERT_EQ(b.Height(), 16);
  EXPECT_TRUE(BlackRectOnWhite(b, Rect(2, 2, 26, 14)));
}

TEST_F(BksImage, BinaryStepIsFilledAndSoftened) {
  // Row 0: pixels 0..5; row 1: pixels 0..1.
  const std::vector<TFlagged> pts = {{0, 0, mpLeft | mpTop},    {1, 0, mpTop},
                                     {2, 0, mpTop | mpBottom},  {3, 0, mpTop | mpBottom},
                                     {4, 0, mpTop | mpBottom},  {5, 0, mpTop | mpRight | mpBottom},
                                     {0, 1, mpLeft | mpBottom}, {1, 1, mpRight | mpBottom}};
  const TBitmap b = Load(BinarySelection(pts));
  ASSERT_EQ(b.Width(), 6);
  ASSERT_EQ(b.Height(), 2);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(b.Pixel(x, 0), clBlack) << x;
  EXPECT_EQ(b.Pixel(0, 1), clBlack);
  EXPECT_EQ(b.Pixel(1, 1), clBlack);
  for (int x = 2; x < 6; ++x) EXPECT_NE(b.Pixel(x, 1), clBlack) << x;
}

TEST_F(BksImage, EveryShapeCodeGivesAMask) {
  for (int code = -10; code <= -1; ++code) {
    SCOPED_TRACE(code);
    const TBitmap b = Load(Text(std::to_string(code) + "\n24\n12\n"));
    ASSERT_EQ(b.Width(), 28);
    ASSERT_EQ(b.Height(), 16);
    bool black = false, outside = false;
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        if (b.Pixel(x, y) == clBlack) black = true;
        // Lines end on the corner (R, B), which the plain line leaves out but
        // may round next to; the widened line's corners round out a pixel more.
        const int reach = code == -5 ? 2 : code == -4 ? 1 : 0;
        const bool inPlace = x >= 2 && y >= 2 && x < 26 + reach && y < 14 + reach;
        if (!inPlace && b.Pixel(x, y) != clWhite) outside = true;
      }
    EXPECT_TRUE(black);
    EXPECT_FALSE(outside);
  }
}

TEST_F(BksImage, InvalidFilesFailWithoutAMessage) {
  const std::vector<TByteBuffer> files = {
      Text(""),
      Text("0\n"),
      Text("zero\n"),
      Text("-11\n5\n5\n"),
      Text("-1\n5\n"),
      Text("2\n1;1\n"),
      Text("-1\n0\n0\n"),
      Text("-1\n70000\n10\n"),
      Text("-1\n30000\n30000\n"),
      Text("Brindlemark Selection\r\nBinary\r\n\x05"),
  };
  for (std::size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(i);
    TBksImage image;
    EXPECT_THROW(image.LoadFromBytes(files[i]), EImageError);
    EXPECT_TRUE(image.Bitmap().Empty());
  }
  EXPECT_TRUE(m_calls.empty());
  EXPECT_TRUE(ShapeFileErrors);
}

// The shape read that reports: "Fichier de données invalide !" once per bad
// file while the switch is on, nothing while it is off or the file is good.
TEST_F(BksImage, InvalidShapeFileIsReportedOnlyWhenTheSwitchIsOn) {
  TShapeManager m;
  TMyShape kind;
  TRect bounds;
  EXPECT_FALSE(LoadShapeFromStream(m, Text("0\n"), kind, bounds));
  ASSERT_EQ(m_calls.size(), 1u);
  EXPECT_EQ(m_calls[0].Text, QStringLiteral("Fichier de données invalide !"));
  EXPECT_EQ(m_calls[0].Kind, mkError);
  EXPECT_EQ(m_calls[0].Buttons, btOk);

  ShapeFileErrors = false;
  EXPECT_FALSE(LoadShapeFromStream(m, Text("-11\n1\n1\n"), kind, bounds));
  ShapeFileErrors = true;
  EXPECT_TRUE(LoadShapeFromStream(m, Text("-4\n1\n1\n"), kind, bounds));
  EXPECT_EQ(kind, ssLine);
  EXPECT_EQ(m_calls.size(), 1u);
}

TEST_F(BksImage, PixelLimitIsChecked) {
  TBksImage image;
  image.Options.PixelLimit = 1000;
  EXPECT_THROW(image.LoadFromBytes(Text("-1\n40\n40\n")), EImageError);  // 46 x 46
  image.Options.PixelLimit = 46 * 46;
  image.LoadFromBytes(Text("-1\n40\n40\n"));
  EXPECT_EQ(image.Bitmap().Width(), 46);
  EXPECT_EQ(image.Bitmap().Height(), 46);
  EXPECT_TRUE(BlackRectOnWhite(image.Bitmap(), Rect(3, 3, 43, 43)));  // margin 40 div 12
}

TEST_F(BksImage, IsReadOnly) {
  TBksImage image;
  TByteBuffer out;
  EXPECT_THROW(image.SaveToBytes(out), EImageError);
}

}  // namespace
