#include "engine/stepDownPval.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
std::vector<float> pvals_by_index(StepDownPval& sd) {
  sd.sort_index();
  std::vector<float> p;
  for (const StatInfo& r : sd.stat_info) p.push_back(r.pval);
  return p;
}
}  // namespace

TEST(StepDownPval, WorkedExample) {
  StepDownPval sd({5, 3, 1}, 1);
  sd.update_by_sim_stats({2, 4, 0});
  // Successive maxima from the smallest: 0, 4, 4 -> counts 0 (for 5), 1 (for 3), 0 (for 1).
  EXPECT_EQ(sd.stat_info[0].count_rej, 0);
  EXPECT_EQ(sd.stat_info[1].count_rej, 1);
  EXPECT_EQ(sd.stat_info[2].count_rej, 0);
  sd.compute_pval();
  EXPECT_EQ(sd.stat_info[2].count_rej, 1);  // made monotonic
  EXPECT_EQ(pvals_by_index(sd), (std::vector<float>{0, 1, 1}));
}

TEST(StepDownPval, EqualSimulatedValueCountsAndTiesShareAPValue) {
  StepDownPval sd({2, 7, 2}, 4);
  sd.update_by_sim_stats({0, 7, 0});  // reaches 7 by equality
  sd.update_by_sim_stats({2, 0, 0});  // reaches a 2, and the other 2 if it sorted above it
  sd.update_by_sim_stats({0, 0, 3});
  sd.update_by_sim_stats({0, 0, 0});
  sd.compute_pval();
  const std::vector<float> p = pvals_by_index(sd);
  EXPECT_EQ(p[1], 0.25f);
  EXPECT_EQ(p[0], 0.5f);
  EXPECT_EQ(p[2], 0.5f);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(sd.stat_info[static_cast<std::size_t>(k)].index, k);
}

TEST(StepDownPval, NotANumberPoisonsNothing) {
  const float nan = std::nanf("");
  // A NaN observed statistic goes last; NaN simulated values never enter the running maximum.
  StepDownPval sd({nan, 10, 1}, 2);
  EXPECT_EQ(sd.stat_info[0].stat, 10.0f);
  EXPECT_TRUE(std::isnan(sd.stat_info[2].stat));
  sd.update_by_sim_stats({nan, 0.5f, 0});
  sd.update_by_sim_stats({0, nan, nan});
  sd.compute_pval();
  const std::vector<float> p = pvals_by_index(sd);
  EXPECT_EQ(p[1], 0.0f);  // 10 never reached
  EXPECT_EQ(p[2], 0.0f);  // 1 never reached either: NaN and 0.5 are below it
}

// Counts of replicate ranges add up to those of the whole run: see the distributed tests.
TEST(StepDownPval, CountsOfAnotherSizeCannotBeAdded) {
  StepDownPval first({3.5f, 0.2f, 2.0f, 2.0f, 7.1f}, 40), other({1.0f, 2.0f}, 40);
  EXPECT_EXIT(first.add_counts(other), ::testing::ExitedWithCode(1),
              "^error: step-down counts of 2 statistics cannot be added to counts of 5\n$");
}
