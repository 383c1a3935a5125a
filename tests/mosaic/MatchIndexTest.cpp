#include "mosaic/MatchIndex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

TEST(MatchIndex, NearestListsAreThoseOfAFullComparison) {
  // Pruned blocks and the start from the previous query must not lose a
  // candidate: every list equals sorting all distances, ties by index.
  // Libraries of one partial block, several blocks and a partial last one;
  // duplicates make ties.
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> u(-60, 100);
  for (int count : {5, 16, 300}) {
    SCOPED_TRACE(::testing::Message() << count << " entries");
    std::vector<TTileDescriptor> entries(static_cast<size_t>(count));
    for (TTileDescriptor& e : entries)
      for (float& v : e) v = u(rng);
    if (count > 10) entries[7] = entries[3];
    const TMatchLibrary library(entries);
    std::vector<TTileDescriptor> queries(40);
    for (size_t q = 0; q < queries.size(); ++q)
      for (size_t d = 0; d < queries[q].size(); ++d)
        queries[q][d] = q % 10 == 0 ? entries[q % entries.size()][d] : u(rng);
    const int k = std::min(count, 9);
    std::vector<TMatchCandidate> out(queries.size() * size_t(k));
    library.Nearest(queries.data(), int(queries.size()), k, out.data());
    for (size_t q = 0; q < queries.size(); ++q) {
      const std::vector<float> all = library.Distances(queries[q]);
      std::vector<int> order(all.size());
      for (size_t i = 0; i < order.size(); ++i) order[i] = int(i);
      std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return all[size_t(a)] < all[size_t(b)]; });
      for (int i = 0; i < k; ++i) EXPECT_EQ(out[q * size_t(k) + size_t(i)].Index, order[size_t(i)]) << "query " << q;
    }
  }
}
