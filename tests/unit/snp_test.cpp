#include "stats/snp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "stats/gene_pair_covs.h"
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

// Where a row's largest score crosses into sizes whose float sums could overflow, and how far
// it is scaled: never for ordinary scores, down to below 2^30, less with very many subjects.
TEST(ScoreScale, OnlyRowsNearTheFloatRangeAreScaledAndJustBelowTheLimit) {
  EXPECT_EQ(score_scale_exponent(std::nextafter(std::ldexp(1.0f, 30), 0.0f), 1000), 0);
  EXPECT_EQ(score_scale_exponent(std::ldexp(1.0f, 30), 1000), -1);
  EXPECT_EQ(score_scale_exponent(0.0f, 1000), 0);
  EXPECT_EQ(score_scale_exponent(1e20f, 6), -37);  // 1e20 < 2^67
  EXPECT_EQ(score_scale_exponent(std::numeric_limits<float>::max(), 1), -98);
  // 2^25 subjects leave 2^28 for a score.
  EXPECT_EQ(score_scale_exponent(std::ldexp(1.0f, 28), 1 << 25), -1);
  EXPECT_EQ(score_scale_exponent(std::ldexp(1.0f, 27), 1 << 25), 0);
}

// A row of 1e20 (one of them missing, read as the subject mean) gives finite statistics, each
// one the bits of the same rows written times their powers of two by hand: the observed and
// replicate SNP statistics and the within- and between-gene correlation sums. An ordinary row
// missing where the large one has 1e20 reads a mean of 5e19 there, and is scaled too; the
// row that reads no large score is not. Seven subjects: tiles of four and a tail.
TEST(SNPDataInMemory, HugeScoresGiveTheStatisticsOfTheirScaledRow) {
  const std::vector<std::vector<float>> rows = {{0.3f, -1.2f, 0.8f, 0.1f, 2.2f, -0.7f, 0.4f},
                                                {1e20f, -3e19f, 1.46f, -9, 7e19f, -1.1f, 2e18f},
                                                {-9, 0.2f, -0.9f, 1.1f, -2.0f, 0.6f, 0.0f}};
  std::string said;
  SNPData big = [&] {
    testing::internal::CaptureStdout();
    SNPData d = scores_of(rows, -9, "mean");
    said = testing::internal::GetCapturedStdout();
    return d;
  }();
  ASSERT_EQ(big.scoremat.row_exponent, (std::vector<int>{0, -37, -36}));
  EXPECT_NE(said.find("warning: the scores of SNP s1 (row 2 of file"), std::string::npos) << said;
  // By hand: each missing score as its replacement (the mean of the subject's other scores).
  std::vector<std::vector<float>> scaled = rows;
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t j = 0; j < rows[r].size(); ++j)
      scaled[r][j] = std::ldexp(rows[r][j] == -9 ? big.scoremat.replacement[j] : rows[r][j],
                                big.scoremat.row_exponent[r]);
  SNPData small = scores_of(scaled, -9, "mean");
  EXPECT_TRUE(small.scoremat.row_exponent.empty());

  for (SNPData* d : {&big, &small}) {
    use_all(*d);
    d->compute_x_stat();
    MTRand::iset = 0;
    d->set_seed(31);
  }
  ASSERT_TRUE(std::isfinite(big.snpvec[1].x_stat) && big.snpvec[1].x_stat > 0);
  ASSERT_TRUE(std::isfinite(big.snpvec[2].x_stat) && big.snpvec[2].x_stat > 0);
  const auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  for (int s = 0; s < 3; ++s) EXPECT_TRUE(same(big.snpvec[s].x_stat, small.snpvec[s].x_stat));
  for (int r = 0; r < 40; ++r) {
    MTRand::iset = 0;
    big.random_x_stat();
    MTRand::iset = 0;
    small.random_x_stat();
    for (int s = 0; s < 3; ++s) {
      ASSERT_TRUE(std::isfinite(big.snpvec[s].sim_x_stat)) << "replicate " << r;
      ASSERT_TRUE(same(big.snpvec[s].sim_x_stat, small.snpvec[s].sim_x_stat)) << "replicate " << r;
    }
  }
  const auto correlation_sums = [&](SNPData& d) {
    SnpDeviations devs;
    devs.prepare(d.scoremat, {0, 1, 2}, 1);
    const std::vector<const SnpDeviation*> gene = {&devs.formed(0), &devs.formed(1)};
    const std::vector<const SnpDeviation*> partner = {&devs.formed(2), &devs.formed(1)};
    std::vector<float> sums = ssq_of_correlations(gene, partner, {2}, d.nsubj);
    sums.push_back(ssq_of_self_correlations(gene, d.nsubj));
    return sums;
  };
  const std::vector<float> want = correlation_sums(small), got = correlation_sums(big);
  for (std::size_t k = 0; k < want.size(); ++k) {
    EXPECT_TRUE(std::isfinite(got[k]));
    EXPECT_TRUE(same(got[k], want[k])) << k << ": " << got[k] << " vs " << want[k];
  }
}
