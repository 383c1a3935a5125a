#include "document/ResizeCommand.h"

#include <gtest/gtest.h>

#include <QSet>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "TestBitmaps.h"

using namespace testing_bitmaps;

// Results by name in failure messages.
void PrintTo(TResizeResult result, std::ostream* os) {
  static const char* const names[] = {"Done", "NoMemoryForUndo", "NoPicture", "SizeRefused", "NoMemory"};
  *os << names[int(result)];
}

namespace {

// A document opened on picture, with its notices written down as "P" (the
// picture) and "H" (undo and count) per notice.
class ResizeCommandTest : public ::testing::Test {
 protected:
  void Open(const TBitmap& picture) {
    Doc.Opened(picture, QStringLiteral("a.png"));
    Notices.clear();
  }
  void SetUp() override {
    m_subscription = Doc.Subscribe([this](const TDocumentChange& c) {
      Notices.push_back(std::string(c.Picture ? "P" : "") + (c.History ? "H" : ""));
    });
  }

  TDocument Doc;
  std::vector<std::string> Notices;

 private:
  TDocument::TSubscription m_subscription;
};

// A resize is one change: counted, with the picture before it as the undo
// copy, told to the viewers once made; the undo gives the old picture back.
TEST_F(ResizeCommandTest, ResizeIsOneUndoableChange) {
  struct Case {
    const char* name;
    TBitmap picture;
    int width, height;
    bool smooth;
  };
  TBitmap transparent = FromRows({{clRed, clBlue}, {clLime, clRed}});
  transparent.Transparent = true;
  transparent.SetTransparentColor(clRed);
  TBitmap palette = Numbered(5, 3);
  palette.SetPixelFormat(pf8bit);
  const Case cases[] = {
      {"plain, larger", FromRows({{clRed, clBlue}, {clLime, clWhite}}), 4, 4, false},
      {"plain, transparent", transparent, 3, 5, false},
      {"plain, palette", palette, 10, 3, false},
      {"smooth, larger", Numbered(8, 6), 13, 9, true},
      {"smooth, smaller", Numbered(8, 6), 3, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Open(c.picture);
    EXPECT_EQ(ResizePicture(Doc, c.width, c.height, c.smooth), TResizeResult::Done);
    EXPECT_EQ(Doc.Picture().Width(), c.width);
    EXPECT_EQ(Doc.Picture().Height(), c.height);
    EXPECT_EQ(Doc.ChangeCount(), 1);
    ASSERT_TRUE(Doc.CanUndo());
    EXPECT_TRUE(SamePixels(Doc.UndoCopy(), c.picture));
    // The snapshot first, then the picture once whole.
    EXPECT_EQ(Notices, (std::vector<std::string>{"H", "P"}));
    if (c.smooth) {
      EXPECT_EQ(Doc.Picture().PixelFormat(), pf24bit);
      EXPECT_FALSE(Doc.Picture().Transparent);
    } else {
      EXPECT_EQ(Doc.Picture().PixelFormat(), c.picture.PixelFormat());
      EXPECT_EQ(Doc.Picture().Transparent, c.picture.Transparent);
    }
    ASSERT_TRUE(Doc.Undo());
    EXPECT_TRUE(SamePixels(Doc.Picture(), c.picture));
    EXPECT_EQ(Doc.ChangeCount(), 0);
  }
}

// Nearest pixel keeps the colours and doubles each pixel into a 2 x 2
// block; smoothing blends them.
TEST_F(ResizeCommandTest, SmoothFlagChoosesTheResampling) {
  const TBitmap quads = FromRows({{clRed, clBlue}, {clLime, clWhite}});
  Open(quads);
  ASSERT_EQ(ResizePicture(Doc, 4, 4, false), TResizeResult::Done);
  EXPECT_TRUE(SamePixels(Doc.Picture(), FromRows({{clRed, clRed, clBlue, clBlue},
                                                  {clRed, clRed, clBlue, clBlue},
                                                  {clLime, clLime, clWhite, clWhite},
                                                  {clLime, clLime, clWhite, clWhite}})));
  Open(quads);
  ASSERT_EQ(ResizePicture(Doc, 4, 4, true), TResizeResult::Done);
  QSet<TColor> colours;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) colours.insert(Doc.Picture().Pixel(x, y));
  EXPECT_GT(colours.size(), 4);
}

// Every way a resize can fail leaves the picture as it was and the change
// not counted. A size refused is found before the snapshot, so the undo of
// the change before stays; a failure after the snapshot gives the change up
// (the snapshot had replaced that undo), the viewers told.
TEST_F(ResizeCommandTest, FailureLeavesThePicture) {
  struct Case {
    const char* name;
    int width, height;
    TResample resample;
    bool failedCopy;
    TResizeResult result;
    bool undoKept;
  };
  const TResample partThenNoMemory = [](int w, int h, bool, const TBitmap&, TBitmap& target) -> bool {
    target.SetSize(w, h);
    target.Fill(clRed);
    throw std::bad_alloc();
  };
  const TResample refused = [](int, int, bool, const TBitmap&, TBitmap&) { return false; };
  const TResample empty = [](int, int, bool, const TBitmap&, TBitmap&) { return true; };
  const Case cases[] = {
      {"no side", 0, 5, ResampleForResize, false, TResizeResult::SizeRefused, true},
      {"negative side", 5, -1, ResampleForResize, false, TResizeResult::SizeRefused, true},
      {"side too long", 65536, 1, ResampleForResize, false, TResizeResult::SizeRefused, true},
      {"too many pixels", 40000, 40000, ResampleForResize, false, TResizeResult::SizeRefused, true},
      {"no memory for undo", 3, 3, ResampleForResize, true, TResizeResult::NoMemoryForUndo, false},
      {"no memory part way", 3, 3, partThenNoMemory, false, TResizeResult::NoMemory, false},
      {"resampler refused", 3, 3, refused, false, TResizeResult::SizeRefused, false},
      {"resampler made nothing", 3, 3, empty, false, TResizeResult::SizeRefused, false},
  };
  for (const Case& c : cases) {
    for (bool smooth : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (smooth ? ", smooth" : ", plain"));
      // A change before this one, with its undo copy.
      const TBitmap first = Numbered(6, 4);
      Open(first);
      Doc.SnapshotBeforeChange();
      Doc.Picture().SetPixel(0, 0, clBlack);
      Doc.ChangeMade();
      const TBitmap picture = Doc.Picture();
      Notices.clear();
      if (c.failedCopy)
        Doc.CopyForUndo = [](const TBitmap&, TBitmap& undo) {
          undo.SetSize(2, 2);
          throw std::bad_alloc();
        };
      EXPECT_EQ(ResizePicture(Doc, c.width, c.height, smooth, c.resample), c.result);
      EXPECT_TRUE(SamePixels(Doc.Picture(), picture));
      EXPECT_EQ(Doc.ChangeCount(), 1) << "the change before is still unsaved; this one is not counted";
      EXPECT_EQ(Doc.CanUndo(), c.undoKept);
      if (c.undoKept) {
        EXPECT_TRUE(SamePixels(Doc.UndoCopy(), first));
        EXPECT_TRUE(Notices.empty());
      } else {
        EXPECT_EQ(Notices, (std::vector<std::string>{"H", "PH"}));
      }
      Doc.CopyForUndo = TDocument().CopyForUndo;
    }
  }
}

TEST_F(ResizeCommandTest, NoPictureIsNoChange) {
  EXPECT_EQ(ResizePicture(Doc, 10, 10, true), TResizeResult::NoPicture);
  EXPECT_TRUE(Doc.Picture().Empty());
  EXPECT_EQ(Doc.ChangeCount(), 0);
  EXPECT_TRUE(Notices.empty());
}

}  // namespace
