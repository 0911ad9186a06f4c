#include "cli/analysis_plan.h"

#include <gtest/gtest.h>

#include <vector>

#include "test_support.h"

// Each bad choice, each unsupported combination and the help and version stops run end to end
// as golden cases; here the mapping to enums, and which bad choice wins when there are two.
TEST(AnalysisPlan, ChoicesBecomeEnumsAndTheFirstBadChoiceIsReported) {
  const PlanText text{"kEgG", "mean", "cellular_component", "max", "sim", "meanZ"};
  AnalysisPlan plan;
  check_choices(text, plan);
  EXPECT_EQ(plan.method, Method::kegg);
  EXPECT_EQ(plan.replace_missing, "mean");
  EXPECT_EQ(plan.go_type, "cellular_component");
  EXPECT_EQ(plan.set_scoring().set_score, GeneSetScore::mean_z);
  EXPECT_EQ(plan.set_scoring().gene_score, GeneScore::max);
  EXPECT_EQ(plan.gene_moments, GeneMoments::sim);

  const PlanText two_bad{"GO", "zero", "ALL", "sqrtmean", "NOR", "wtdmean"};
  EXPECT_STDOUT_EXIT(check_choices(two_bad, plan), "^error: invalid go type: ALL\n$");
}

TEST(AnalysisPlan, ReadFillsNumbersAndFiles) {
  std::vector<std::string> words = {"halvorix", "-m",  "kegg", "-ns",   "7",    "-s",
                                    "42",       "-ms", "12",   "-mv",   "-9.5", "-d",
                                    "100",      "-mw", "-kg",  "k.dat", "-csv", "c.csv"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  AnalysisPlan plan;
  stdout_of(
      [&] { EXPECT_TRUE(read_analysis_plan(static_cast<int>(argv.size()), argv.data(), plan)); });
  EXPECT_EQ(plan.method, Method::kegg);
  EXPECT_EQ(plan.nsim, 7);
  EXPECT_EQ(plan.seed, 42);
  EXPECT_EQ(plan.max_set_size, 12);
  EXPECT_EQ(plan.miss_val, -9.5f);
  EXPECT_EQ(plan.dist2gene, 100);
  EXPECT_TRUE(plan.map_write);
  EXPECT_EQ(plan.kegg_gene_file, "k.dat");
  EXPECT_EQ(plan.csv_output, "c.csv");
  EXPECT_EQ(plan.html_output, "output.html");
  EXPECT_EQ(plan.score_file, "score.dat");
}
