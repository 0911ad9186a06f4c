#include "stats/snp.h"

#include <gtest/gtest.h>

#include <cmath>

#include "test_support.h"

namespace {
// Loader tests: each writes its score file into a folder of its own.
class SNPDataFile : public ::testing::Test {
 protected:
  TempDir dir;
  std::string write(const std::string& content) { return dir.write("score.dat", content); }
};

/// Scores in memory, SNPs named s0, s1, ...
SNPData scores_of(const std::vector<std::vector<float>>& rows, float missing = -999,
                  const std::string& method = "zero") {
  std::vector<std::string> names;
  for (std::size_t k = 0; k < rows.size(); ++k) names.push_back("s" + std::to_string(k));
  return SNPData(names, rows, missing, method);
}

void use_all(SNPData& d) {
  d.set_all_used();
  d.make_snp_used_index();
}
}  // namespace

TEST_F(SNPDataFile, ByteOrderMarkCommentsMixedDelimitersCarriageReturnsAndEmptyLines) {
  SNPData d(write("\xEF\xBB\xBF# scores\nrs1 1 2 3\r\n\n , \nrs2,4,5,6\n  rs3\t, 7 ,8\t9\n"),
            -999.0f, "zero");
  ASSERT_EQ(d.nsnp, 3);
  ASSERT_EQ(d.nsubj, 3);
  EXPECT_EQ(d.scoremat.value(0, 2), 3.0f);
  EXPECT_EQ(d.scoremat.value(2, 0), 7.0f);
  EXPECT_EQ(d.snp_score_map.at("rs2"), 1);
  EXPECT_EQ(d.snpvec[2].row_index, 2);
  EXPECT_EQ(d.snpvec[2].sim_pval, 1.0f);
}

TEST_F(SNPDataFile, RepeatedNameKeepsItsFirstRowAndLaterNamesTheirOwn) {
  testing::internal::CaptureStdout();
  SNPData d(write("a 1 2\nb 3 4\na 5 6\nc 7 8\n"), -999.0f, "zero");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "warning: repeated snp name a on line 3 of file " + dir.file("score.dat") +
                ": the first occurrence is used\n");
  EXPECT_EQ(d.nsnp, 4);
  EXPECT_EQ(d.snp_score_map.at("a"), 0);
  EXPECT_EQ(d.snp_score_map.at("c"), 3);  // not shifted back by the repeat
  EXPECT_EQ(d.snpvec[3].name, "c");
}

TEST(SNPDataInMemory, MissingCodesReplacedAndRaggedRowsStop) {
  SNPData d = scores_of({{1, -9}, {3, -9}, {-9, 4}}, -9, "mean");
  EXPECT_EQ(d.nsubj, 2);
  EXPECT_EQ(d.snp_score_map.at("s2"), 2);
  EXPECT_EQ(d.scoremat.value(2, 0), 2.0f);
  EXPECT_EXIT(scores_of({{1, 2}, {3}}), testing::ExitedWithCode(1),
              "^error: scores in memory: row 2 has 1 scores, the first has 2\n$");
  EXPECT_EXIT(scores_of({}), testing::ExitedWithCode(1), "^error: scores in memory: 0 names");
}

TEST(SNPDataInMemory, ObservedStatisticsFromTheKernelPass) {
  // 17 SNPs, so that the second block of 16 has one lane in use.
  std::vector<std::vector<float>> rows = {
      {1, 1, 1, 1}, {1, -1, 0, 0}, {1e-4f, 1e-4f, 0, 0}, {2, -1, 3, 0}};
  for (int k = 4; k < 17; ++k) rows.push_back({0, 0, 0, static_cast<float>(k)});
  SNPData d = scores_of(rows);
  use_all(d);
  d.compute_x_stat();
  EXPECT_EQ(d.snpvec[0].x_stat, 4.0f);
  EXPECT_EQ(d.snpvec[1].x_stat, 0.0f);
  EXPECT_EQ(d.snpvec[2].x_stat, 0.0f);  // ssq 2e-8 is not above 1e-7
  EXPECT_EQ(d.snpvec[3].x_stat, 16.0f / 14.0f);
  EXPECT_EQ(d.snpvec[16].x_stat, 1.0f);  // one score: sum^2 / ssq = 1
}

TEST(SNPStatistic, ReplicateIsWeightedSumSquaredOverObservedSumOfSquares) {
  // Scores 1, 1 have sum of squares 2: with weights 0.5 and 0.25 the replicate is
  // 0.75^2 / 2, not 0.75^2 / (0.25 + 0.0625) as a self-normalised replicate would give.
  const float ones[] = {1.0f, 1.0f};
  const double w[] = {0.5, 0.25};
  EXPECT_EQ(snp_statistic_weighted(ones, w, 2), 0.28125f);
  // At or below the tolerance the replicate is 0, like the observed statistic.
  const float tiny[] = {3e-4f};
  const double big[] = {1e6};
  ASSERT_LE(snp_sum_of_squares(tiny, 1), kSsqTolerance);
  EXPECT_EQ(snp_statistic_weighted(tiny, big, 1), 0.0f);
}

// Subject 4's missing score of SNP 0 reads as 0 in the replicates as everywhere else.
TEST(SNPDataInMemory, SimulationDrawsOneWeightPerSubjectAndLeavesObservedStatistics) {
  SNPData d = scores_of({{1, 2, 3, -9}, {-1, 0.5f, 2, 0}, {0, 0, 0, 0}}, -9);
  d.set_all_used();
  d.snpvec[1].used = false;
  d.make_snp_used_index();
  EXPECT_EQ(d.snp_used_index, (std::vector<int>{0, 2}));
  d.compute_x_stat();
  d.compute_rank_x_stat();
  EXPECT_EQ(d.snpvec[0].x_stat, 36.0f / 14.0f);
  EXPECT_EQ(d.snpvec[1].x_stat, 0.0f);  // not used: untouched
  EXPECT_EQ(d.snpvec[0].rank_x_stat, 1.0f);
  EXPECT_EQ(d.snpvec[2].rank_x_stat, 2.0f);

  MTRand::iset = 0;
  d.set_seed(77);
  MTRand twin;
  twin.seed(77);
  d.random_x_stat();
  MTRand::iset = 0;
  double w[4];
  for (double& v : w) v = twin.norm();
  std::vector<float> scratch;
  EXPECT_EQ(d.snpvec[0].sim_x_stat, snp_statistic_weighted(d.scoremat.row(0, scratch), w, 4));
  EXPECT_EQ(d.snpvec[1].sim_x_stat, 0.0f);
  EXPECT_EQ(d.snpvec[0].x_stat, 36.0f / 14.0f);
}

TEST(SNPDataInMemory, SeedsAreReducedBelowOneHundredMillion) {
  SNPData d = scores_of({{1, 2}});
  d.set_seed(100000001);
  EXPECT_EQ(d.random_seed, 1u);
  const unsigned long first = d.randGenerator.randInt();
  d.set_seed(1);
  EXPECT_EQ(d.randGenerator.randInt(), first);
  d.set_seed(100000000);
  EXPECT_EQ(d.random_seed, 100000000u);
  d.set_seed(-9);
  EXPECT_LE(d.random_seed, 100000000u);
}

TEST(SNPDataInMemory, StepDownGivesZeroStatisticsPValueOneAndRepeatsWithTheSeed) {
  SNPData d = scores_of({{5, 5, 5, 5, 5, 5}, {0, 0, 0, 0, 0, 0}, {1, -1, 1, -1, 1, -1}});
  use_all(d);
  d.compute_x_stat();
  MTRand::iset = 0;
  d.set_seed(5);
  d.stepDownPval(50);
  EXPECT_EQ(d.snpvec[1].sim_pval, 1.0f);  // 0 >= 0 in every simulation
  EXPECT_EQ(d.snpvec[2].sim_pval, 1.0f);
  const float first = d.snpvec[0].sim_pval;
  MTRand::iset = 0;
  d.set_seed(5);
  d.stepDownPval(50);
  EXPECT_EQ(d.snpvec[0].sim_pval, first);
  EXPECT_STDOUT_EXIT(d.stepDownPval(0), "^error: invalid no. simulations  = 0\n$");
}
