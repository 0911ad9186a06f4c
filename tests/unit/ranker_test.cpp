#include "Ranker/ranker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

TEST(Ranker, TieMethods) {
  const std::vector<float> values{3, 1, 3, 2};
  std::vector<float> ranks;
  ranker::rankhigh(values, ranks, "average");
  EXPECT_EQ(ranks, (std::vector<float>{1.5f, 4, 1.5f, 3}));
  ranker::rankhigh(values, ranks, "min");
  EXPECT_EQ(ranks, (std::vector<float>{1, 4, 1, 3}));
  ranker::rankhigh(values, ranks, "max");
  EXPECT_EQ(ranks, (std::vector<float>{2, 4, 2, 3}));
  // Not a tie method (the names are case-sensitive): tied values get distinct positions.
  ranker::rankhigh(values, ranks, "Average");
  EXPECT_EQ(ranks[1], 4.0f);
  EXPECT_EQ(ranks[3], 3.0f);
  EXPECT_EQ(std::min(ranks[0], ranks[2]), 1.0f);
  EXPECT_EQ(std::max(ranks[0], ranks[2]), 2.0f);
}

TEST(Ranker, EmptyAndAllEqual) {
  std::vector<float> ranks{9, 9};
  ranker::rankhigh(std::vector<float>{}, ranks, "average");
  EXPECT_TRUE(ranks.empty());
  ranker::rankhigh(std::vector<float>(5, 0.25f), ranks, "average");
  EXPECT_EQ(ranks, std::vector<float>(5, 3.0f));
  ranker::rankhigh(std::vector<float>{9, 4, 4}, ranks, "average");
  EXPECT_EQ(ranks, (std::vector<float>{1, 2.5f, 2.5f}));
}

TEST(Ranker, NotANumberNeitherTiesNorBreaksTheSort) {
  const float nan = std::nanf("");
  std::vector<float> values{nan, 2, nan, 5};
  std::vector<float> ranks;
  ranker::rankhigh(values, ranks, "average");
  EXPECT_EQ(ranks[3], 1.0f);
  EXPECT_EQ(ranks[1], 2.0f);
  EXPECT_EQ(ranks[0], 3.0f);
  EXPECT_EQ(ranks[2], 4.0f);
}
