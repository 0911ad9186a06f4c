#include "cli/analysis_plan.h"

#include <gtest/gtest.h>

#include "test_support.h"

// The method alone is read in any case, through str_toupper.
TEST(AnalysisPlan, StrToupperChangesOnlyAsciiLetters) {
  std::string s = "biological_process";
  str_toupper(s);
  EXPECT_EQ(s, "BIOLOGICAL_PROCESS");
  s = "Go-1 z\xe9";
  str_toupper(s);
  EXPECT_EQ(s, "GO-1 Z\xe9");
}

// Each bad choice, each unsupported combination and the help and version stops run end to end
// as golden cases; here the mapping to enums, and which bad choice wins when there are two.
TEST(AnalysisPlan, ChoicesBecomeEnumsAndTheFirstBadChoiceIsReported) {
  const PlanText text{"kEgG", "mean", "cellular_component", "max", "sim", "meanZ", "multiplier"};
  AnalysisPlan plan;
  check_choices(text, plan);
  EXPECT_EQ(plan.method, Method::kegg);
  EXPECT_EQ(plan.replace_missing, "mean");
  EXPECT_EQ(plan.go_type, "cellular_component");
  EXPECT_EQ(plan.scoring.set_score, GeneSetScore::mean_z);
  EXPECT_EQ(plan.scoring.gene_score, GeneScore::max);
  EXPECT_EQ(plan.scoring.gene_moments, GeneMoments::sim);
  EXPECT_EQ(plan.resample, Resample::multiplier);

  const PlanText two_bad{"GO", "zero", "ALL", "sqrtmean", "NOR", "wtdmean", "multiplier"};
  EXPECT_STDOUT_EXIT(check_choices(two_bad, plan), "^error: invalid go type: ALL\n$");
  // The resampling is checked after every other choice, before the combinations.
  const PlanText late_bad{"GO", "zero", "all", "max", "nor", "wtdmean", "bootstrap"};
  EXPECT_STDOUT_EXIT(check_choices(late_bad, plan), "^error: invalid resample: bootstrap\n$");

  const PlanText permutation{"SNP", "zero", "all", "sqrtmean", "nor", "wtdmean", "permutation"};
  check_choices(permutation, plan);
  EXPECT_EQ(plan.resample, Resample::permutation);
  // The mean replacement is refused with permutation only, and after every choice is read.
  PlanText with_mean = permutation;
  with_mean.replace_missing = "mean";
  EXPECT_STDOUT_EXIT(check_choices(with_mean, plan),
                     "^error: --replace mean cannot be used with --resample permutation");
  with_mean.gene_set_score = "median";
  EXPECT_STDOUT_EXIT(check_choices(with_mean, plan), "^error: invalid gene set score: median\n$");
}

// SETS is a gene-set road: read in any case, with the scoring limits of GO and KEGG.
TEST(AnalysisPlan, SetsIsAGeneSetMethodWithTheSameScoringLimits) {
  AnalysisPlan plan;
  check_choices(PlanText{"sets", "zero", "all", "sqrtmean", "nor", "wtdmean", "multiplier"}, plan);
  EXPECT_EQ(plan.method, Method::sets);
  EXPECT_STDOUT_EXIT(
      check_choices(PlanText{"Sets", "zero", "all", "sqrtmean", "nor", "maxZ", "multiplier"}, plan),
      "^error: GeneSetScore = meanZ or maxZ and GeneMoments = nor notimplemented\n$");
}
