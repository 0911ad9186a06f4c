#include "stats/seen_pairs.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <utility>
#include <vector>

// Through many growths of the table: every pair is new once and a repeat after, whatever the
// order; a pair and its mirror, and the largest indexes, are different pairs.
TEST(SeenPairs, EachPairIsNewExactlyOnceThroughGrowth) {
  SeenPairs seen;
  std::set<std::pair<int, int>> expected;
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 5000; ++i) {
      const std::pair<int, int> pair{(i * 7919) % 37, i % 611};
      EXPECT_EQ(seen.insert(pair.first, pair.second), expected.insert(pair).second) << i;
    }
  }
  EXPECT_EQ(seen.count, expected.size());
  EXPECT_TRUE(seen.insert(100, 101));
  EXPECT_TRUE(seen.insert(101, 100));
  EXPECT_TRUE(seen.insert(INT_MAX, INT_MAX));
  EXPECT_TRUE(seen.insert(INT_MAX, 0));
  EXPECT_FALSE(seen.insert(INT_MAX, INT_MAX));
  seen.insert_all(40, {3, 4, 3});
  EXPECT_FALSE(seen.insert(40, 4));
  EXPECT_EQ(seen.count, expected.size() + 4 + 2);
}

// The caller's list is searched while short; when it grows long its pairs move into the table,
// and every repeat is still found, early members included.
TEST(SeenPairs, OwnerWhoseListGrowsLongStillFindsEveryRepeat) {
  SeenPairs seen;
  std::vector<int> held;
  const int members = static_cast<int>(SeenPairs::kShortList) * 3;
  for (int m = 0; m < members; ++m) {
    ASSERT_TRUE(seen.insert(7, m * 3, held)) << m;
    held.push_back(m * 3);
    for (int earlier = 0; earlier <= m; ++earlier)
      ASSERT_FALSE(seen.insert(7, earlier * 3, held)) << m << " " << earlier;
  }
  EXPECT_TRUE(seen.insert(8, 0, {}));
  EXPECT_TRUE(seen.insert(7, 1, held));
}
