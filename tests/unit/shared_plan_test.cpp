#include "cli/shared_plan.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/makeSeed.h"

namespace {

/// The names of the entries in which two plans' prints differ.
std::set<std::string> differing(const AnalysisPlan& a, const AnalysisPlan& b) {
  const std::vector<OptionPrint> pa = option_prints(a), pb = option_prints(b);
  EXPECT_EQ(pa.size(), pb.size());
  std::set<std::string> names;
  for (std::size_t k = 0; k < pa.size() && k < pb.size(); ++k) {
    EXPECT_STREQ(pa[k].name, pb[k].name);
    if (pa[k].hash != pb[k].hash) names.insert(pa[k].name);
  }
  return names;
}

AnalysisPlan plan_with_seed(long seed) {
  AnalysisPlan plan;
  plan.seed = seed;
  return plan;
}

}  // namespace

TEST(OptionPrints, EachOptionThatChangesResultsChangesItsOwnEntryAlone) {
  const std::vector<std::pair<std::string, std::function<void(AnalysisPlan&)>>> changes = {
      {"--method", [](AnalysisPlan& p) { p.method = Method::gene; }},
      {"--gene-level", [](AnalysisPlan& p) { p.scoring.gene_score = GeneScore::max; }},
      {"--gene-moments", [](AnalysisPlan& p) { p.scoring.gene_moments = GeneMoments::sim; }},
      {"--gene-set-level", [](AnalysisPlan& p) { p.scoring.set_score = GeneSetScore::max_z; }},
      {"--resample", [](AnalysisPlan& p) { p.resample = Resample::permutation; }},
      {"--replace", [](AnalysisPlan& p) { p.replace_missing = "mean"; }},
      {"--go_type", [](AnalysisPlan& p) { p.go_type = "cellular_component"; }},
      {"--miss_val", [](AnalysisPlan& p) { p.miss_val = -998.5f; }},
      {"--dist", [](AnalysisPlan& p) { p.dist2gene = 50001; }},
      {"--max_size", [](AnalysisPlan& p) { p.max_set_size = 31; }},
      {"--nsim", [](AnalysisPlan& p) { p.nsim = 999; }},
      {"--seed", [](AnalysisPlan& p) { p.seed = 3; }},
  };
  const AnalysisPlan base;
  EXPECT_EQ(option_prints(base).size(), changes.size());
  for (const auto& [name, change] : changes) {
    AnalysisPlan other;
    change(other);
    EXPECT_EQ(differing(base, other), std::set<std::string>{name}) << name;
  }
}

TEST(OptionPrints, FilesOutputsAndClockSeedsAreNoDifference) {
  AnalysisPlan other = plan_with_seed(0);
  other.score_file = "/scratch/node7/score.dat";
  other.gene_snp_file = other.go_edges_file = other.go_gene_file = other.kegg_gene_file = "x";
  other.html_output = other.csv_output = other.map_output = "elsewhere";
  other.map_write = true;
  EXPECT_TRUE(differing(plan_with_seed(-9), other).empty());
  EXPECT_TRUE(differing(plan_with_seed(-1), plan_with_seed(0)).empty());
  EXPECT_EQ(differing(plan_with_seed(3), plan_with_seed(4)), std::set<std::string>{"--seed"});
  EXPECT_EQ(differing(plan_with_seed(1), plan_with_seed(-1)), std::set<std::string>{"--seed"});
}

TEST(SharePlan, OneProcessKeepsAGivenSeedAndMakesAPositiveOneFromTheClock) {
  AnalysisPlan given = plan_with_seed(123456789012L), clock = plan_with_seed(0);
  share_plan(given);
  share_plan(clock);
  EXPECT_EQ(given.seed, 123456789012L);  // reduced where the stream is seeded, as before
  EXPECT_GT(clock.seed, 0);              // a seed of 0 on the command line would not repeat the run
  EXPECT_LE(clock.seed, static_cast<long>(kSeedLimit));
}
