#include "analysis_plan.h"

#include <gtest/gtest.h>

#include <vector>

#include "test_support.h"

namespace {

PlanText defaults() { return PlanText{"GO", "zero", "all", "sqrtmean", "nor", "wtdmean"}; }

AnalysisPlan checked(const PlanText& text) {
  AnalysisPlan plan;
  check_choices(text, plan);
  return plan;
}

}  // namespace

TEST(AnalysisPlan, ChoicesBecomeEnumsAndTheMethodIsReadInAnyCase) {
  PlanText text = defaults();
  text.method = "kEgG";
  text.gene_score = "max";
  text.gene_moments = "sim";
  text.gene_set_score = "meanZ";
  text.replace_missing = "mean";
  text.go_type = "cellular_component";
  const AnalysisPlan plan = checked(text);
  EXPECT_EQ(plan.method, Method::kegg);
  EXPECT_EQ(plan.gene_score, GeneScore::max);
  EXPECT_EQ(plan.gene_moments, GeneMoments::sim);
  EXPECT_EQ(plan.gene_set_score, GeneSetScore::mean_z);
  EXPECT_EQ(plan.replace_missing, "mean");
  EXPECT_EQ(plan.go_type, "cellular_component");
  EXPECT_EQ(plan.set_scoring().set_score, GeneSetScore::mean_z);
  EXPECT_EQ(plan.set_scoring().gene_score, GeneScore::max);

  text = defaults();
  text.method = "snp";
  text.gene_set_score = "maxZ";
  EXPECT_EQ(checked(text).method, Method::snp);
  EXPECT_EQ(checked(text).gene_set_score, GeneSetScore::max_z);
}

TEST(AnalysisPlan, EachBadChoiceStopsWithTheUsersText) {
  const std::vector<std::pair<std::string PlanText::*, std::string>> cases = {
      {&PlanText::method, "error: invalid method: gene_set\n"},
      {&PlanText::replace_missing, "error: invalid replace: gene_set\n"},
      {&PlanText::go_type, "error: invalid go type: gene_set\n"},
      {&PlanText::gene_score, "error: invalid gene score: gene_set\n"},
      {&PlanText::gene_moments, "error: invalid gene moments: gene_set\n"},
      {&PlanText::gene_set_score, "error: invalid gene set score: gene_set\n"}};
  for (const auto& [field, message] : cases) {
    PlanText text = defaults();
    text.*field = "gene_set";
    EXPECT_STDOUT_EXIT(checked(text), "^" + message + "$");
  }
  // The first bad choice in the fixed order is the one reported; case counts outside the method.
  PlanText text = defaults();
  text.gene_moments = "NOR";
  text.go_type = "ALL";
  EXPECT_STDOUT_EXIT(checked(text), "^error: invalid go type: ALL\n$");
}

TEST(AnalysisPlan, UnsupportedSetCombinationsStopOnlyTheGeneSetMethods) {
  struct Case {
    const char* set_score;
    const char* moments;
    const char* gene_score;
    const char* message;
  };
  for (const Case& c :
       {Case{"wtdmean", "sim", "mean",
             "error: GeneSetScore = wtdmean and GeneMoments = sim not implemented"},
        Case{"wtdmean", "nor", "max",
             "error: GeneSetScore = wtdmean and GeneScore = maxZ notimplemented"},
        Case{"maxZ", "nor", "mean",
             "error: GeneSetScore = meanZ or maxZ and GeneMoments = nor notimplemented"}}) {
    for (const char* method : {"GO", "KEGG", "GENE"}) {
      const PlanText text{method, "zero", "all", c.gene_score, c.moments, c.set_score};
      if (std::string(method) == "GENE")
        EXPECT_EQ(checked(text).gene_set_score,
                  std::string(c.set_score) == "maxZ" ? GeneSetScore::max_z : GeneSetScore::wtdmean);
      else
        EXPECT_STDOUT_EXIT(checked(text), std::string("^") + c.message + "\n$");
    }
  }
}

TEST(AnalysisPlan, ReadFillsNumbersAndFilesOrStopsForHelpAndVersion) {
  std::vector<std::string> words = {"halvorix", "-m",  "kegg", "-ns",   "7",    "-s",
                                    "42",       "-ms", "12",   "-mv",   "-9.5", "-d",
                                    "100",      "-mw", "-kg",  "k.dat", "-csv", "c.csv"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  AnalysisPlan plan;
  const std::string echo = stdout_of(
      [&] { EXPECT_TRUE(read_analysis_plan(static_cast<int>(argv.size()), argv.data(), plan)); });
  EXPECT_NE(echo.find("options and values used:"), std::string::npos);
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

  for (const char* stop : {"-h", "-v"}) {
    std::vector<std::string> two = {"halvorix", stop};
    std::vector<char*> args = {two[0].data(), two[1].data()};
    const std::string out =
        stdout_of([&] { EXPECT_FALSE(read_analysis_plan(2, args.data(), plan)); });
    EXPECT_EQ(out.find("options and values used:"), std::string::npos) << out;
  }
}
