#include "document/Document.h"

#include <gtest/gtest.h>

#include <new>

#include "TestBitmaps.h"

using namespace testing_bitmaps;

namespace {

// The change count through a working session: every way in sets it, every
// change adds one, every undo takes one, saving leaves it alone.
TEST(Document, ChangeCountFollowsTheSession) {
  TDocument d;
  EXPECT_FALSE(d.NeedsSaveQuestion());
  const TBitmap first = Numbered(4, 3);
  d.Opened(first, QStringLiteral("/p/a.png"));
  EXPECT_EQ(d.ChangeCount(), 0);
  EXPECT_EQ(d.FileName(), QStringLiteral("/p/a.png"));
  EXPECT_FALSE(d.CanUndo());

  ASSERT_TRUE(d.SnapshotBeforeChange());
  d.Picture().Fill(clRed);
  EXPECT_EQ(d.ChangeCount(), 1);
  EXPECT_TRUE(d.CanUndo());
  d.Saved(QStringLiteral("/p/b.png"));
  EXPECT_EQ(d.ChangeCount(), 1);  // leaving after a save still asks
  EXPECT_TRUE(d.NeedsSaveQuestion());
  EXPECT_EQ(d.FileName(), QStringLiteral("/p/b.png"));

  ASSERT_TRUE(d.Undo());
  EXPECT_TRUE(SamePixels(d.Picture(), first));
  EXPECT_EQ(d.ChangeCount(), 0);
  EXPECT_FALSE(d.CanUndo());
  EXPECT_FALSE(d.Undo());  // one step only
  EXPECT_EQ(d.ChangeCount(), 0);

  d.Pasted(Solid(2, 2, clBlue));
  EXPECT_EQ(d.ChangeCount(), 1);
  EXPECT_EQ(d.FileName(), QStringLiteral("Untitled"));
  EXPECT_FALSE(d.CanUndo());

  d.Closed();
  EXPECT_TRUE(d.Picture().Empty());
  EXPECT_EQ(d.ChangeCount(), 0);
  EXPECT_EQ(d.FileName(), QStringLiteral("Untitled"));  // closing keeps the name
}

// The undo copy is a copy of its own: changing the picture in place leaves it.
TEST(Document, SnapshotIsIndependentOfThePicture) {
  TDocument d;
  const TBitmap original = Numbered(5, 5);
  d.Opened(original, QStringLiteral("a.png"));
  ASSERT_TRUE(d.SnapshotBeforeChange());
  d.Picture().SetPixel(0, 0, clLime);
  EXPECT_TRUE(SamePixels(d.UndoCopy(), original));
}

// Without memory for the copy the change still counts (the picture is about
// to change) but there is nothing to undo; giving the change up takes the
// count back.
TEST(Document, FailedSnapshotCountsWithoutUndo) {
  TDocument d;
  d.Opened(Numbered(5, 5), QStringLiteral("a.png"));
  d.CopyForUndo = [](const TBitmap&, TBitmap& undo) {
    undo.Assign(nullptr);
    throw std::bad_alloc();
  };
  EXPECT_FALSE(d.SnapshotBeforeChange());
  EXPECT_EQ(d.ChangeCount(), 1);
  EXPECT_FALSE(d.CanUndo());
  d.ChangeAbandoned();
  EXPECT_EQ(d.ChangeCount(), 0);
}

// A change given up after its snapshot puts the picture back.
TEST(Document, AbandonedChangeRestoresThePicture) {
  TDocument d;
  const TBitmap original = Numbered(6, 4);
  d.Opened(original, QStringLiteral("a.png"));
  ASSERT_TRUE(d.SnapshotBeforeChange());
  d.Picture().SetSize(12, 8);
  d.ChangeAbandoned();
  EXPECT_TRUE(SamePixels(d.Picture(), original));
  EXPECT_EQ(d.ChangeCount(), 0);
  EXPECT_FALSE(d.CanUndo());
}

}  // namespace
