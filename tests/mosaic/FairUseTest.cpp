#include "mosaic/FairUse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "mosaic/MatchPlacement.h"

namespace {

// Photos spread over the colours; cells crowded around a few colours, so
// that without a rule a few photos would take most cells. The last photos
// lie far from every cell: no cell lists them among its candidates.
struct TScene {
  TMatchLibrary library;
  std::vector<TTileDescriptor> cells;
};

TScene Scene(int photos, int cellCount, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> anywhere(-40, 80), near(-3, 3);
  std::vector<TTileDescriptor> library(static_cast<size_t>(photos));
  for (size_t p = 0; p < library.size(); ++p)
    for (float& v : library[p]) v = p + 5 >= library.size() ? 300.0f + float(p) : anywhere(rng);
  TTileDescriptor centres[3];
  for (TTileDescriptor& c : centres)
    for (float& v : c) v = anywhere(rng);
  std::vector<TTileDescriptor> cells(static_cast<size_t>(cellCount));
  for (size_t i = 0; i < cells.size(); ++i)
    for (size_t d = 0; d < cells[i].size(); ++d) cells[i][d] = centres[i % 3][d] + near(rng);
  return {TMatchLibrary(std::move(library)), std::move(cells)};
}

std::vector<int> Uses(const std::vector<int>& chosen, int photos) {
  std::vector<int> uses(static_cast<size_t>(photos), 0);
  for (int p : chosen) ++uses.at(size_t(p));
  return uses;
}

// The cells whose photo shows again within r cells.
int TooClose(const std::vector<int>& chosen, int columns, int rows, int r) {
  int n = 0;
  for (int a = 0; a < columns * rows; ++a) {
    bool close = false;
    for (int b = 0; b < columns * rows && !close; ++b)
      close = a != b && chosen[size_t(a)] == chosen[size_t(b)] &&
              std::max(std::abs(a % columns - b % columns), std::abs(a / columns - b / columns)) <= r;
    n += close;
  }
  return n;
}

struct TRules {
  int photos, columns, rows, maxUses;
  bool useAll;
  int repeat;
};

TMatchOptions OptionsOf(const TRules& c, TRandom* random) {
  TMatchOptions o;
  o.MaxUses = c.maxUses;
  o.UseAll = c.useAll;
  o.RepeatDistance = c.repeat;
  o.Random = random;
  return o;
}

}  // namespace

TEST(FairUse, CapAndEveryPhotoHoldAlongWithTheRepeatDistance) {
  const TRules cases[] = {
      {60, 20, 15, 6, false, 3},   // 360 places for 300 cells
      {60, 20, 15, 5, false, 2},   // exactly as many places as cells
      {400, 20, 15, 1, false, 3},  // no photo twice
      {200, 20, 15, 0, true, 3},   // every photo, the far ones too
      {100, 20, 15, 4, true, 2},   // both
      {300, 20, 15, 1, true, 25},  // both, as tight as can be
      {2000, 60, 40, 0, true, 3},  // more search rounds than the first
      {40, 40, 30, 40, false, 3},  // 1600 places for 1200 cells
  };
  for (const TRules& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.photos << " photos, " << c.columns * c.rows << " cells, cap " << c.maxUses
                                      << (c.useAll ? ", all" : "") << ", distance " << c.repeat);
    const TScene scene = Scene(c.photos, c.columns * c.rows, 7);
    TSeededRandom random(4);
    TMatchUses report;
    const std::vector<int> chosen =
        MatchCells(scene.library, scene.cells, c.columns, c.rows, OptionsOf(c, &random), nullptr, &report);
    ASSERT_EQ(chosen.size(), scene.cells.size());
    const std::vector<int> uses = Uses(chosen, c.photos);
    const int most = *std::max_element(uses.begin(), uses.end());
    const int used = int(std::count_if(uses.begin(), uses.end(), [](int n) { return n > 0; }));
    EXPECT_LE(most, c.maxUses > 0 ? c.maxUses : most);
    EXPECT_EQ(used, c.useAll ? c.photos : used);
    EXPECT_EQ(TooClose(chosen, c.columns, c.rows, std::min(c.repeat, MaxRepeatDistance)), 0);
    EXPECT_EQ(report.PhotosUsed, used);
    EXPECT_EQ(report.MostUses, most);
    EXPECT_TRUE(report.RulesMet());
  }
}

TEST(FairUse, RulesThatCannotBeMetAreReportedWithTheirShortfall) {
  const struct {
    TRules rules;
    int overCap, unused;
    bool tooClose;
  } cases[] = {
      {{5, 6, 4, 3, false, 0}, 24 - 15, 0, false},  // 5 photos x 3 uses for 24 cells
      {{5, 6, 4, 3, true, 0}, 24 - 15, 0, false},
      // The repeat rule needs (R + 1)^2 photos (a block of that side, repeated):
      {{3, 6, 4, 8, false, 1}, 0, 0, true},         // 3 photos where each 2 x 2 block must differ
      {{30, 4, 4, 0, true, 0}, 0, 30 - 16, false},  // 16 cells for 30 photos: each cell its own
      {{9, 10, 10, 12, false, 3}, 0, 0, true},      // 9 photos where each 4 x 4 block must differ
      {{8, 10, 10, 0, true, 2}, 0, 0, true},        // 8 where each 3 x 3 block must
  };
  for (const auto& c : cases) {
    const TRules& r = c.rules;
    SCOPED_TRACE(::testing::Message() << r.photos << " photos, " << r.columns * r.rows << " cells, cap " << r.maxUses
                                      << (r.useAll ? ", all" : "") << ", distance " << r.repeat);
    const TScene scene = Scene(r.photos, r.columns * r.rows, 11);
    TSeededRandom random(2);
    TMatchUses report;
    const std::vector<int> chosen =
        MatchCells(scene.library, scene.cells, r.columns, r.rows, OptionsOf(r, &random), nullptr, &report);
    const std::vector<int> uses = Uses(chosen, r.photos);
    int beyond = 0;
    for (int n : uses) beyond += r.maxUses > 0 ? std::max(0, n - r.maxUses) : 0;
    const int used = int(std::count_if(uses.begin(), uses.end(), [](int n) { return n > 0; }));
    EXPECT_EQ(report.OverCap, c.overCap);
    EXPECT_EQ(beyond, c.overCap);  // the shortfall and no more
    if (c.overCap > 0) {
      EXPECT_LE(report.MostUses, (r.columns * r.rows + r.photos - 1) / r.photos);  // shared out evenly
    }
    EXPECT_EQ(report.Unused, c.unused);
    EXPECT_EQ(used, r.useAll ? std::min(r.photos, r.columns * r.rows) : used);
    EXPECT_EQ(report.PhotosUsed, used);
    EXPECT_EQ(report.MostUses, *std::max_element(uses.begin(), uses.end()));
    const int close = TooClose(chosen, r.columns, r.rows, r.repeat);
    EXPECT_EQ(report.TooClose, close);
    EXPECT_EQ(close > 0, c.tooClose);
    EXPECT_FALSE(report.RulesMet());
    EXPECT_EQ(report.Photos, r.photos);
    EXPECT_EQ(report.Cells, r.columns * r.rows);
  }
}

TEST(FairUse, WithoutRulesOnlyTheUsesAreCounted) {
  // The plain matching, whose choice the other tests pin down, reports how
  // it used the photos and no rule.
  const TScene scene = Scene(50, 300, 3);
  TSeededRandom random(1);
  TMatchOptions options;
  options.Random = &random;
  TMatchUses report;
  const std::vector<int> chosen = MatchCells(scene.library, scene.cells, 20, 15, options, nullptr, &report);
  const std::vector<int> uses = Uses(chosen, 50);
  EXPECT_EQ(report.PhotosUsed, int(std::count_if(uses.begin(), uses.end(), [](int n) { return n > 0; })));
  EXPECT_EQ(report.MostUses, *std::max_element(uses.begin(), uses.end()));
  EXPECT_GT(report.MostUses, 10);  // the crowded cells share a few photos
  EXPECT_EQ(report.MaxUses, 0);
  EXPECT_FALSE(report.UseAll);
  EXPECT_TRUE(report.RulesMet());
}

// Placing the photos under the rules reports its progress after the search's
// share of MatchCells' bar, by rows of cells and by pieces of the photos'
// search, and stops when cancelled part way, as soon as it started or half way
// through: no report after the one that cancelled, no placement.
TEST(FairUse, PlacementReportsProgressAndStopsWhenCancelled) {
  const TRules cases[] = {
      {60, 20, 15, 6, false, 3},   // a cap
      {200, 20, 15, 0, true, 3},   // every photo
      {2000, 60, 40, 0, true, 3},  // every photo, its search in pieces
      {100, 20, 15, 4, true, 2},   // both
  };
  for (const TRules& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.photos << " photos, " << c.columns * c.rows << " cells, cap " << c.maxUses
                                      << (c.useAll ? ", all" : ""));
    const TScene scene = Scene(c.photos, c.columns * c.rows, 7);
    std::vector<int> reports;
    {
      TSeededRandom random(4);
      const std::vector<int> chosen = MatchCells(scene.library, scene.cells, c.columns, c.rows, OptionsOf(c, &random),
                                                 [&](int percent) { reports.push_back(percent); });
      ASSERT_EQ(chosen.size(), scene.cells.size());
    }
    ASSERT_FALSE(reports.empty());
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end())) << "the bar never goes back";
    const auto placing =
        std::count_if(reports.begin(), reports.end(), [](int percent) { return percent > FairSearchPercent; });
    EXPECT_GE(placing, 5) << "the placement's own steps";
    EXPECT_GT(reports.back(), (FairSearchPercent + 100) / 2);
    EXPECT_LE(reports.back(), 100);

    for (const int from : {FairSearchPercent + 1, (FairSearchPercent + 100) / 2}) {
      SCOPED_TRACE(::testing::Message() << "cancelled at " << from << " %");
      TSeededRandom random(4);
      TMatchOptions options = OptionsOf(c, &random);
      bool cancel = false;
      int after = 0;
      options.Cancelled = [&] { return cancel; };
      const std::vector<int> chosen =
          MatchCells(scene.library, scene.cells, c.columns, c.rows, options, [&](int percent) {
            if (cancel)
              ++after;
            else
              cancel = percent >= from;
          });
      EXPECT_TRUE(cancel);
      EXPECT_TRUE(chosen.empty());
      EXPECT_EQ(after, 0) << "reports after the cancel";
    }
  }
}
