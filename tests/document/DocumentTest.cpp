#include "document/Document.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "TestBitmaps.h"

using namespace testing_bitmaps;

namespace {

// The notices a listener heard, as "P", "H", "F" letters per notice.
struct TNoticeLog {
  std::vector<std::string> Notices;
  TDocument::TListener Listener() {
    return [this](const TDocumentChange& c) {
      Notices.push_back(std::string(c.Picture ? "P" : "") + (c.History ? "H" : "") + (c.FileName ? "F" : ""));
    };
  }
};

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

// Every step tells the listeners once, naming what it touched; a step that
// does nothing tells no one.
TEST(DocumentNotice, EachStepTellsWhatItTouched) {
  struct Case {
    const char* name;
    std::function<void(TDocument&)> step;
    std::vector<std::string> heard;
  };
  const auto changed = [](TDocument& d) {
    d.SnapshotBeforeChange();
    d.Picture().Fill(clRed);
  };
  const Case cases[] = {
      {"opened", [](TDocument& d) { d.Opened(Numbered(3, 3), QStringLiteral("b.png")); }, {"PHF"}},
      {"pasted", [](TDocument& d) { d.Pasted(Numbered(3, 3)); }, {"PHF"}},
      {"snapshot", [](TDocument& d) { d.SnapshotBeforeChange(); }, {"H"}},
      {"change made",
       [&](TDocument& d) {
         changed(d);
         d.ChangeMade();
       },
       {"H", "P"}},
      {"change abandoned",
       [&](TDocument& d) {
         changed(d);
         d.ChangeAbandoned();
       },
       {"H", "PH"}},
      {"change cancelled",
       [&](TDocument& d) {
         changed(d);
         d.ChangeCancelled(TBitmap());
       },
       {"H", "PH"}},
      {"undo",
       [&](TDocument& d) {
         changed(d);
         d.ChangeMade();
         d.Undo();
       },
       {"H", "P", "PH"}},
      {"nothing to undo", [](TDocument& d) { d.Undo(); }, {}},
      {"undo cleared",
       [&](TDocument& d) {
         changed(d);
         d.ClearUndo();
       },
       {"H", "H"}},
      {"closed", [](TDocument& d) { d.Closed(); }, {"PH"}},
      {"saved", [](TDocument& d) { d.Saved(QStringLiteral("c.png")); }, {"F"}},
      {"changes discarded", [](TDocument& d) { d.DiscardChanges(); }, {"H"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TDocument d;
    d.Opened(Numbered(4, 3), QStringLiteral("a.png"));
    TNoticeLog log;
    const TDocument::TSubscription subscription = d.Subscribe(log.Listener());
    c.step(d);
    EXPECT_EQ(log.Notices, c.heard);
  }
}

// A listener is told after the step: it reads the document as the step left
// it (the view repaints from it).
TEST(DocumentNotice, ListenerSeesTheStepDone) {
  TDocument d;
  const TBitmap original = Numbered(6, 4);
  d.Opened(original, QStringLiteral("a.png"));
  std::vector<TBitmap> seen;
  std::vector<int> counts;
  const TDocument::TSubscription subscription = d.Subscribe([&](const TDocumentChange&) {
    seen.push_back(d.Picture());
    counts.push_back(d.ChangeCount());
  });
  d.SnapshotBeforeChange();
  d.Picture().SetSize(3, 2);
  d.ChangeMade();
  d.Undo();
  d.Pasted(Solid(2, 2, clBlue));
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(counts, (std::vector<int>{1, 1, 0, 1}));
  EXPECT_EQ(seen[1].Width(), 3);
  EXPECT_TRUE(SamePixels(seen[2], original));
  EXPECT_TRUE(SamePixels(seen[3], Solid(2, 2, clBlue)));
}

// A subscription lasts as long as its handle: reset, destroyed or moved
// from, its listener is no longer told; moved to, it is told once. A handle
// may outlive the document.
TEST(DocumentNotice, SubscriptionLastsAsLongAsItsHandle) {
  auto d = std::make_unique<TDocument>();
  TNoticeLog kept, reset, destroyed, moved;
  const TDocument::TSubscription keptSub = d->Subscribe(kept.Listener());
  TDocument::TSubscription resetSub = d->Subscribe(reset.Listener());
  auto destroyedSub = std::make_unique<TDocument::TSubscription>(d->Subscribe(destroyed.Listener()));
  TDocument::TSubscription movedFrom = d->Subscribe(moved.Listener());
  d->Saved(QStringLiteral("a.png"));

  resetSub.Reset();
  destroyedSub.reset();
  TDocument::TSubscription movedTo = std::move(movedFrom);
  movedFrom.Reset();  // already empty: leaves the moved one alone
  d->Saved(QStringLiteral("b.png"));
  EXPECT_EQ(kept.Notices.size(), 2u);
  EXPECT_EQ(reset.Notices.size(), 1u);
  EXPECT_EQ(destroyed.Notices.size(), 1u);
  EXPECT_EQ(moved.Notices.size(), 2u);

  // Assigning over a handle ends what it held.
  movedTo = d->Subscribe(reset.Listener());
  d->Saved(QStringLiteral("c.png"));
  EXPECT_EQ(moved.Notices.size(), 2u);
  EXPECT_EQ(reset.Notices.size(), 2u);

  d.reset();
  movedTo.Reset();  // the document is gone: nothing to leave
}

// A listener may end a subscription while it is told: one told later in the
// same notice is then skipped, and nothing runs on freed state.
TEST(DocumentNotice, ListenerMayEndASubscriptionWhileTold) {
  TDocument d;
  TNoticeLog second;
  TDocument::TSubscription secondSub;
  int firstHeard = 0;
  TDocument::TSubscription firstSub = d.Subscribe([&](const TDocumentChange&) {
    ++firstHeard;
    secondSub.Reset();
    firstSub.Reset();
  });
  secondSub = d.Subscribe(second.Listener());
  d.Closed();
  d.Closed();
  EXPECT_EQ(firstHeard, 1);
  EXPECT_TRUE(second.Notices.empty());
}

}  // namespace
