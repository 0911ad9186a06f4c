#include "snp.h"

#include "score_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {
namespace fs = std::filesystem;

class SNPDataFile : public ::testing::Test {
 protected:
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("snp_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string write(const std::string& content) {
    const fs::path p = dir / "score.dat";
    std::ofstream(p) << content;
    return p.string();
  }
};
}  // namespace

TEST_F(SNPDataFile, CommentsMixedDelimitersCarriageReturnsAndEmptyLines) {
  SNPData d(write("# scores\nrs1 1 2 3\r\n\n , \nrs2,4,5,6\n  rs3\t, 7 ,8\t9\n"), -999.0f, "zero");
  ASSERT_EQ(d.nsnp, 3);
  ASSERT_EQ(d.nsubj, 3);
  EXPECT_EQ(d.scoremat.value(0, 2), 3.0f);
  EXPECT_EQ(d.scoremat.value(2, 0), 7.0f);
  EXPECT_EQ(d.snp_score_map.at("rs2"), 1);
  EXPECT_EQ(d.snpvec[2].row_index, 2);
  EXPECT_EQ(d.snpvec[2].sim_pval, 1.0f);
}

TEST(ScoreField, WholeFieldIsOneFiniteNumberInDecimalOrHexadecimal) {
  for (const char* text :
       {"-1e1", "+3", "0x10", "0X1p-2", ".5", "1e-310", "7e-46", "-0", "3.4e38"}) {
    float value = -1;
    EXPECT_EQ(parse_score_field(text, value), ScoreField::ok) << text;
    EXPECT_EQ(value, static_cast<float>(std::strtod(text, nullptr))) << text;
  }
  for (const char* text : {"NA", "hello", "1.5abc", "2.5 ", " 1", "\v1", "1.5e", "-", "", "0x",
                           "1,5", "--1", "+-1", "0x1g"}) {
    float value = 0;
    EXPECT_EQ(parse_score_field(text, value), ScoreField::not_a_number) << text;
  }
  for (const char* text : {"Inf", "-inf", "NaN", "nan(1)", "1e39", "-3.5e38", "1e400", "0x1p200"}) {
    float value = 0;
    EXPECT_EQ(parse_score_field(text, value), ScoreField::not_finite) << text;
  }
}

TEST_F(SNPDataFile, BadScoreStopsWithFileLineAndField) {
  EXPECT_EXIT(SNPData(write("# scores\nrs1 1 2\n\nrs2 3 NA\n"), -999.0f, "zero"),
              testing::ExitedWithCode(1),
              "^error: score 'NA' in field 3 on line 4 of file .*score.dat is not a number "
              "\\(a missing score is written as the missing code, --miss_val\\)");
  EXPECT_EXIT(SNPData(write("rs1 1e39 2\n"), -999.0f, "zero"), testing::ExitedWithCode(1),
              "^error: score '1e39' in field 2 on line 1 of .* is not a finite number");
}

TEST_F(SNPDataFile, FileWithoutSnpLinesStops) {
  EXPECT_EXIT(SNPData(write("# only a comment\n\n"), -999.0f, "zero"), testing::ExitedWithCode(1),
              "^error: no SNP lines in file .*score.dat");
  EXPECT_EXIT(SNPData(write(""), -999.0f, "zero"), testing::ExitedWithCode(1), "no SNP lines");
}

TEST_F(SNPDataFile, ByteOrderMarkIsSkippedAndNulByteStops) {
  SNPData d(write("\xEF\xBB\xBFrs1 1 2\n"), -999.0f, "zero");
  EXPECT_EQ(d.snp_score_map.count("rs1"), 1u);
  EXPECT_EXIT(SNPData(write(std::string("rs1 1 2\nrs2 3 4\nrs3 5\0 6\n", 25)), -999.0f, "zero"),
              testing::ExitedWithCode(1), "^error: NUL byte on line 3 of file .*score.dat");
  EXPECT_EXIT(SNPData(dir.string(), -999.0f, "zero"), testing::ExitedWithCode(1),
              "^error: .* is a directory");
}

TEST_F(SNPDataFile, MissingScoresByMeanOfTheSubjectColumn) {
  SNPData d(write("a 1 -9\nb 3 -9\nc -9 4\n"), -9.0f, "mean");
  EXPECT_EQ(d.scoremat.value(2, 0), 2.0f);
  EXPECT_EQ(d.scoremat.value(0, 1), 4.0f);
  SNPData z(write("a 1 -9\n"), -9.0f, "zero");
  EXPECT_EQ(z.scoremat.value(0, 1), 0.0f);
}

TEST_F(SNPDataFile, RepeatedNameKeepsItsFirstRowAndLaterNamesTheirOwn) {
  testing::internal::CaptureStdout();
  SNPData d(write("a 1 2\nb 3 4\na 5 6\nc 7 8\n"), -999.0f, "zero");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(d.nsnp, 4);
  EXPECT_EQ(d.snp_score_map.at("a"), 0);
  EXPECT_EQ(d.snp_score_map.at("c"), 3);  // not shifted back by the repeat
  EXPECT_EQ(d.snpvec[3].name, "c");
  EXPECT_EQ(out.rfind("warning: ", 0), 0u);
  EXPECT_NE(out.find(" a "), std::string::npos);
}

TEST_F(SNPDataFile, FormatErrors) {
  EXPECT_EXIT(SNPData(write("rs1\n"), -999.0f, "zero"), ::testing::ExitedWithCode(1),
              "^error: < 2 items on line 1 of snp_score file\n$");
  const std::string path = write("# c\nrs1 1 2\n# c\nrs2 1 2\nrs3 1\n");
  EXPECT_EXIT(SNPData(path, -999.0f, "zero"), ::testing::ExitedWithCode(1),
              "^error: expect 3 fields in file " + path + ", but found 2 on line 3\n$");
  EXPECT_EXIT(SNPData((dir / "absent.dat").string(), -999.0f, "zero"), ::testing::ExitedWithCode(1),
              "absent.datnot found");
}

TEST_F(SNPDataFile, ObservedStatisticsFromTheKernelPass) {
  // 17 SNPs, so that the second block of 16 has one lane in use.
  std::string text = "ones 1 1 1 1\nopposite 1 -1 0 0\ntiny 1e-4 1e-4 0 0\nmixed 2 -1 3 0\n";
  for (int k = 4; k < 17; ++k) text += "s" + std::to_string(k) + " 0 0 0 " + std::to_string(k) + "\n";
  SNPData d(write(text), -999.0f, "zero");
  d.set_all_used();
  d.make_snp_used_index();
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

TEST_F(SNPDataFile, TwoEqualScoresGetTheChiSquarePValue) {
  // Given the data, (w1 + w2)^2 / 2 is chi-square with one degree of freedom, so the
  // p-value of the observed statistic 2 is P(chi2_1 >= 2) = 0.1573. A replicate divided by
  // its own sum of squares can never exceed 2 and gave p = 1 / nsim instead.
  SNPData d(write("a 1 1\n"), -999.0f, "zero");
  d.set_all_used();
  d.make_snp_used_index();
  d.compute_x_stat();
  ASSERT_EQ(d.snpvec[0].x_stat, 2.0f);
  MTRand::iset = 0;
  d.set_seed(11);
  d.stepDownPval(20000);
  // Binomial sd at 20000 replicates is 0.0026; 0.01 is about four of them.
  EXPECT_NEAR(d.snpvec[0].sim_pval, 0.1573, 0.01);
}

TEST_F(SNPDataFile, SimulationDrawsOneWeightPerSubjectAndLeavesObservedStatistics) {
  SNPData d(write("a 1 2 3\nb -1 0.5 2\nc 0 0 0\n"), -999.0f, "zero");
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
  double w[3];
  for (double& v : w) v = twin.norm();
  EXPECT_EQ(d.snpvec[0].sim_x_stat, snp_statistic_weighted(d.scoremat.stored_row(0), w, 3));
  EXPECT_EQ(d.snpvec[1].sim_x_stat, 0.0f);
  EXPECT_EQ(d.snpvec[0].x_stat, 36.0f / 14.0f);
}

TEST_F(SNPDataFile, SeedsAreReducedBelowOneHundredMillion) {
  SNPData d(write("a 1 2\n"), -999.0f, "zero");
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

TEST_F(SNPDataFile, StepDownGivesZeroStatisticsPValueOneAndRepeatsWithTheSeed) {
  SNPData d(write("a 5 5 5 5 5 5\nb 0 0 0 0 0 0\nc 1 -1 1 -1 1 -1\n"), -999.0f, "zero");
  d.set_all_used();
  d.make_snp_used_index();
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
  EXPECT_EXIT(d.stepDownPval(0), ::testing::ExitedWithCode(1), "");
}
