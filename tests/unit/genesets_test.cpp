#include "stats/genesets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <sstream>

#include "test_support.h"

namespace {

// The scorings the tests use; the sets read them by reference, so they outlive every set.
const Scoring kWtdMeanScoring{GeneScore::mean, GeneMoments::nor, GeneSetScore::wtdmean};
const Scoring kWtdSqrtmeanScoring{GeneScore::sqrtmean, GeneMoments::nor, GeneSetScore::wtdmean};
const Scoring kMeanZScoring{GeneScore::mean, GeneMoments::sim, GeneSetScore::mean_z};

/// Genes A (rs1, rs2), B (rs3), C (rs4), D (rs1); A, B, C used. Every SNP is a multiple of
/// (-1, 0, 1) except rs3, whose correlation with it is -1.5 / sqrt(3) (square 3/4).
struct TinyGenes {
  TempDir dir;
  SNPData snpdat{dir.write("score.dat", "rs1 -1 0 1\nrs2 -1 0 1\nrs3 1 1 -2\nrs4 2 0 -2\n"),
                 -999.0f, "zero"};
  GENEData genedat{
      kWtdMeanScoring,
      dir.write("gene_snp.dat",
                "GENE_A rs1 0\nGENE_A rs2 0\nGENE_B rs3 0\nGENE_C rs4 0\nGENE_D rs1 0\n"),
      1000, snpdat};

  TinyGenes() {
    for (int g = 0; g < 3; ++g) gene(g).used = true;
  }
  Gene& gene(int g) { return genedat.genevec[static_cast<std::size_t>(g)]; }
  /// Sets `field` of the first genes, in order.
  void set(float Gene::*field, const std::vector<float>& values) {
    for (std::size_t g = 0; g < values.size(); ++g) gene(static_cast<int>(g)).*field = values[g];
  }
  /// The gene covariances: the given leading rows, zero elsewhere.
  void cov(const std::vector<std::vector<float>>& rows) {
    genedat.gene_cov.set_size(genedat.ngene);
    for (std::size_t i = 0; i < rows.size(); ++i)
      for (std::size_t j = 0; j < rows[i].size(); ++j)
        genedat.gene_cov[static_cast<int>(i)][j] = rows[i][j];
  }
};

GENE_SET make_set(std::set<int> genes, std::vector<std::string> names = {"T"}) {
  GENE_SET set;
  set.gene_index_set = std::move(genes);
  set.count = static_cast<int>(set.gene_index_set.size());
  set.set_names = std::move(names);
  return set;
}

GeneSets sets_of(std::vector<GENE_SET> sets, GeneScore gene_score = GeneScore::mean) {
  GeneSets gs(gene_score == GeneScore::sqrtmean ? kWtdSqrtmeanScoring : kWtdMeanScoring);
  gs.geneset_vec = std::move(sets);
  return gs;
}

/// Each set as "names (term indexes): genes; count".
std::vector<std::string> describe(const GeneSets& gs) {
  std::vector<std::string> out;
  for (const GENE_SET& set : gs.geneset_vec) {
    std::ostringstream s;
    for (std::size_t i = 0; i < set.set_names.size(); ++i)
      s << set.set_names[i] << "(" << set.set_index[i] << ") ";
    s << ":";
    for (int g : set.gene_index_set) s << " " << g;
    s << "; " << set.count;
    out.push_back(s.str());
  }
  return out;
}

std::vector<int> first_n(int n) {
  std::vector<int> genes(static_cast<std::size_t>(n));
  for (int g = 0; g < n; ++g) genes[static_cast<std::size_t>(g)] = g;
  return genes;
}

}  // namespace

// GO sets, merged the same way, run end to end as golden cases.
TEST(GeneSets, KeggSetsObeyTheSizeLimitAndMergeInFileOrder) {
  KEGGData keggdat;
  keggdat.keggvec = {{"00010", {}, {4, 2, 2}},   {"00020", {}, {1}},
                     {"00030", {}, {2, 4}},      {"00040", {}, {}},
                     {"00050", {}, first_n(30)}, {"00060", {}, first_n(31)}};
  for (int limit : {30, 0, -1}) {  // 0 or less: no limit
    GeneSets gs(kMeanZScoring);
    gs.make_gene_sets(keggdat, limit);
    EXPECT_EQ(gs.setIDLabel, "KEGGID");
    const std::vector<std::string> sets = describe(gs);
    ASSERT_EQ(sets.size(), limit == 30 ? 3u : 4u) << "limit " << limit;
    EXPECT_EQ(sets[0], "00010(0) 00030(2) : 2 4; 2");
    EXPECT_EQ(sets[1], "00020(1) : 1; 1");
    EXPECT_EQ(gs.geneset_vec.back().count, limit == 30 ? 30 : 31);
  }
}

TEST(GeneSets, GeneCov2FillsEveryPairThatSharesASet) {
  TinyGenes t;
  // B is met alone first, so its pair with A is first met in the second set; A and D share a
  // set but D is unused; C shares a set with nobody.
  GeneSets gs = sets_of({make_set({1}), make_set({0, 1}), make_set({2}), make_set({0, 3})});
  t.genedat.compute_gene_cov2(t.snpdat, gs);
  const GeneCovariances& cov = t.genedat.gene_cov;
  ASSERT_EQ(cov.size, 4);
  const auto row = [&](int r) { return std::vector<float>(cov[r], cov[r] + cov.size); };
  // Diagonal: 2 for one SNP, 2 * 4 / 4 for A's two identical SNPs. A-B: 2 * (3/4 + 3/4) / 2,
  // where the float correlation carries a few ulps.
  EXPECT_FLOAT_EQ(cov[1][0], 1.5f);
  EXPECT_EQ(row(0), (std::vector<float>{2, cov[1][0], 0, 0}));
  EXPECT_EQ(row(1), (std::vector<float>{cov[1][0], 2, 0, 0}));
  EXPECT_EQ(row(2), (std::vector<float>{0, 0, 2, 0}));
  EXPECT_EQ(row(3), (std::vector<float>{0, 0, 0, 0}));

  t.snpdat.snpvec[3].used = false;  // rs4, the only SNP of C: C drops out
  GeneSets abc = sets_of({make_set({0, 1, 2})});
  t.genedat.compute_gene_cov2(t.snpdat, abc);
  EXPECT_EQ(row(2), (std::vector<float>{0, 0, 0, 0}));
  EXPECT_FLOAT_EQ(cov[1][0], 1.5f);
}

TEST(GeneSets, GeneCov2GivesTheSameCovariancesWhateverTheGroupsOfSets) {
  // Sets whose genes recur in later groups: A in the first and the last, B in three.
  const auto all_covs = [](std::size_t memory) {
    TinyGenes t;
    t.genedat.deviation_memory = memory;
    GeneSets gs = sets_of(
        {make_set({1}), make_set({0, 1}), make_set({2, 1}), make_set({2}), make_set({0, 2})});
    t.genedat.compute_gene_cov2(t.snpdat, gs);
    std::vector<float> all;
    for (int r = 0; r < 4; ++r)
      all.insert(all.end(), t.genedat.gene_cov[r], t.genedat.gene_cov[r] + 4);
    return all;
  };
  const std::vector<float> one_group = all_covs(kDeviationMemory);
  EXPECT_EQ(std::count(one_group.begin(), one_group.end(), 0.0f), 7);  // D's row and column
  EXPECT_EQ(all_covs(1), one_group);                      // every set a group of its own
  EXPECT_EQ(all_covs(3 * 2 * sizeof(float)), one_group);  // three SNPs' deviations a group
}

TEST(GeneSets, WeightedMeansOfCorrelatedGenesWithUnequalWeights) {
  TinyGenes t;
  t.cov({{2.0f, 0.5f}, {0.5f, 0.5f}});
  t.set(&Gene::score, {1, 4});
  t.set(&Gene::sim_score, {4, 1});

  // "mean": weights 1/2 and 2; variance (0.5 + 0.5 + 0.5 + 2) / 2.5^2.
  GeneSets mean = sets_of({make_set({0, 1})}, GeneScore::mean);
  mean.score_wtd_mean(t.genedat);
  mean.score_wtd_mean_sim(t.genedat);
  mean.score_nor_mean_moments(t.genedat);
  EXPECT_EQ(mean.geneset_vec[0].score, 3.4f);      // 8.5 / 2.5
  EXPECT_EQ(mean.geneset_vec[0].sim_score, 1.6f);  // 4 / 2.5
  EXPECT_EQ(mean.geneset_vec[0].null_sd, std::sqrt(0.56f));

  // "sqrtmean": weights 2 and 8; mean (1.5 + 7.5) / 10; variance (8+8+8+32) / 4 / 10^2.
  GeneSets sqrtmean = sets_of({make_set({0, 1})}, GeneScore::sqrtmean);
  sqrtmean.score_wtd_sqrtmean(t.genedat);
  sqrtmean.score_wtd_sqrtmean_sim(t.genedat);
  sqrtmean.score_nor_sqrtmean_moments(t.genedat);
  sqrtmean.compute_zscore();
  EXPECT_EQ(sqrtmean.geneset_vec[0].score, 3.4f);  // 34 / 10
  EXPECT_EQ(sqrtmean.geneset_vec[0].sim_score, 1.6f);
  EXPECT_EQ(sqrtmean.geneset_vec[0].null_mean, 0.9f);
  EXPECT_EQ(sqrtmean.geneset_vec[0].null_sd, std::sqrt(0.14f));
  EXPECT_EQ(sqrtmean.geneset_vec[0].zscore, 2.5f / std::sqrt(0.14f));
}

TEST(GeneSets, WeightlessGenesDropOutAndZscoreIsUnguarded) {
  TinyGenes t;
  t.cov({{2.0f}, {}, {0, 0, 1e-6f}});  // gene 2 not above the tolerance: no weight
  t.set(&Gene::score, {1.5f, 100, 100});
  GeneSets gs = sets_of({make_set({0, 1, 2}), make_set({1, 2})});
  gs.score_wtd_mean(t.genedat);
  gs.score_nor_mean_moments(t.genedat);
  gs.compute_zscore();
  EXPECT_EQ(gs.geneset_vec[0].score, 1.5f);
  EXPECT_EQ(gs.geneset_vec[0].null_sd, std::sqrt(2.0f));
  EXPECT_EQ(gs.geneset_vec[1].score, 0.0f);
  EXPECT_EQ(gs.geneset_vec[1].null_sd, 0.0f);
  EXPECT_TRUE(std::isnan(gs.geneset_vec[1].zscore));  // 0 / 0
  gs.geneset_vec[1].score = 3.0f;
  gs.compute_zscore();
  EXPECT_TRUE(std::isinf(gs.geneset_vec[1].zscore));

  // The combined form gives a weightless set zeros instead.
  gs.zscore_nor_mean(t.genedat);
  EXPECT_EQ(gs.geneset_vec[1].zscore, 0.0f);
  EXPECT_EQ(gs.geneset_vec[0].zscore, 0.5f / std::sqrt(2.0f));
}

TEST(GeneSets, MeanZAndGeneRankDivideBySetSizeAndMaxZNeverBelowZero) {
  TinyGenes t;
  t.set(&Gene::zscore, {1.5f, -0.5f});  // gene 3 is unused, z-score 0, but counts in the size
  t.set(&Gene::sim_zscore, {-1, -2, 2.5f});
  t.set(&Gene::gene_rank, {1, 2, 4});
  GeneSets gs = sets_of({make_set({0, 1, 3}), make_set({0, 1}), make_set({1, 2})});
  gs.score_mean_gene_zscore(t.genedat);
  gs.sim_score_mean_gene_zscore(t.genedat);
  gs.compute_geneset_gene_rank(t.genedat);
  EXPECT_EQ(gs.geneset_vec[0].score, 1.0f / 3.0f);
  EXPECT_EQ(gs.geneset_vec[1].sim_score, -1.5f);
  EXPECT_EQ(gs.geneset_vec[0].gene_rank, 1.0f);
  EXPECT_EQ(gs.geneset_vec[2].gene_rank, 3.0f);

  gs.score_max_gene_zscore(t.genedat);
  gs.sim_score_max_gene_zscore(t.genedat);
  EXPECT_EQ(gs.geneset_vec[0].score, 1.5f);
  EXPECT_EQ(gs.geneset_vec[1].sim_score, 0.0f);  // all negative
  EXPECT_EQ(gs.geneset_vec[2].sim_score, 2.5f);
}

TEST(GeneSets, ReportOrderIsDecreasingZscoreWithNotANumberLastInCreationOrder) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<GENE_SET> sets;
  for (float z : {nan, 1.0f, nan, 3.0f, -inf, 2.0f}) {
    sets.push_back(make_set({0}));
    sets.back().zscore = z;
  }
  EXPECT_FALSE(GeneSet_greater_zscore(sets[0], sets[2]));  // NaN and NaN tie
  GeneSets gs = sets_of(sets);
  EXPECT_EQ(gs.report_order(), (std::vector<std::size_t>{3, 5, 1, 4, 0, 2}));
  for (std::size_t i = 0; i < sets.size(); ++i)  // a view: the sets stay where they are
    EXPECT_TRUE(gs.geneset_vec[i].zscore == sets[i].zscore ||
                (std::isnan(gs.geneset_vec[i].zscore) && std::isnan(sets[i].zscore)));

  // Forty sets in two tied groups, enough for an unstable sort to move them: each group
  // keeps the order in which its sets were made.
  std::vector<GENE_SET> tied(40, make_set({0}));
  std::vector<std::size_t> expected;
  for (std::size_t i = 0; i < tied.size(); ++i) tied[i].zscore = i % 3 == 0 ? 2.0f : 1.0f;
  for (float group : {2.0f, 1.0f})
    for (std::size_t i = 0; i < tied.size(); ++i)
      if (tied[i].zscore == group) expected.push_back(i);
  EXPECT_EQ(sets_of(tied).report_order(), expected);
}

TEST(GeneSets, StepDownMapsEachPvalueBackToItsOwnSet) {
  TinyGenes t;
  t.snpdat.make_snp_used_index();
  t.snpdat.set_seed(5);
  for (int g = 0; g < 3; ++g) t.gene(g).null_sd = 1;
  // The first set has the lowest observed z-score: p-values left in sorted order would swap.
  GeneSets gs(kMeanZScoring);
  gs.geneset_vec = {make_set({0}), make_set({1, 2}), make_set({0, 1})};
  const std::vector<float> z = {-1e9f, 1e9f, -1e8f};  // far outside any simulated z-score
  for (std::size_t i = 0; i < z.size(); ++i) {
    gs.geneset_vec[i].null_sd = 1;
    gs.geneset_vec[i].zscore = z[i];
  }
  gs.stepDownPval(20, t.snpdat, t.genedat);
  EXPECT_EQ(gs.geneset_vec[0].sim_pval, 1.0f);
  EXPECT_EQ(gs.geneset_vec[1].sim_pval, 0.0f);
  EXPECT_EQ(gs.geneset_vec[2].sim_pval, 1.0f);
}

TEST(GeneSets, SimulatedMomentsOfMeanZ) {
  TinyGenes t;
  t.snpdat.make_snp_used_index();
  for (int g = 0; g < 3; ++g) t.gene(g).null_sd = 1;  // gene sim_zscore = sim_score
  // Gene 3 is unused, so its simulated z-score is 0: set 1 is half of set 0 in every
  // replicate, and set 2 is 0 in every replicate.
  GeneSets gs(kMeanZScoring);
  gs.geneset_vec = {make_set({0}), make_set({0, 3}), make_set({3})};
  t.snpdat.set_seed(11);
  gs.sim_score_moments(t.snpdat, t.genedat);
  const GENE_SET& one = gs.geneset_vec[0];
  EXPECT_EQ(gs.geneset_vec[1].null_mean, one.null_mean / 2);
  EXPECT_EQ(gs.geneset_vec[1].null_sd, one.null_sd / 2);
  EXPECT_EQ(gs.geneset_vec[2].null_mean, 0.0f);
  EXPECT_EQ(gs.geneset_vec[2].null_sd, 0.0f);

  // The same 1000 replicates again, mean and sample sd in double by two passes.
  t.snpdat.set_seed(11);
  t.snpdat.plan_replicates(1000);
  std::vector<double> scores;
  for (int rep = 0; rep < 1000; ++rep) {
    t.snpdat.random_x_stat();
    t.genedat.compute_score_sim(t.snpdat);
    scores.push_back(t.gene(0).sim_score);
  }
  double mean = 0;
  for (double x : scores) mean += x / 1000;
  double ss = 0;
  for (double x : scores) ss += (x - mean) * (x - mean);
  ASSERT_GT(mean, 0.5);  // a real spread, not a degenerate case
  // The set moments use float running sums: agreement to float accuracy, not to the bit.
  EXPECT_NEAR(one.null_mean, mean, 1e-5 * mean);
  EXPECT_NEAR(one.null_sd, std::sqrt(ss / 999), 1e-4 * std::sqrt(ss / 999));
}

TEST(GeneSets, MapListsTheUsedSnpsWhereverTheyStand) {
  TinyGenes t;
  t.snpdat.snpvec[0].used = false;  // rs1, GENE_A's first SNP; rs2 is its used one
  for (int g = 0; g < 3; ++g) t.gene(g).count = 1;
  GeneSets gs = sets_of({make_set({0, 1})});
  gs.print_set_mappings(t.dir.file("out.map"), t.snpdat, t.genedat);
  EXPECT_EQ(t.dir.read("out.map"), "setID, gene, snp\n1, GENE_A, rs2\n1, GENE_B, rs3\n");
}

TEST(GeneSets, ReportsWithoutSetsHoldOnlyHeadersAndAnUnwritableFileIsSkipped) {
  TinyGenes t;
  GeneSets gs = sets_of({});
  gs.setIDLabel = "GOID";
  const std::string missing = t.dir.file("no/such/dir.csv");
  const std::string out = stdout_of([&] {
    gs.print_gene_sets_csv(t.dir.file("out.csv"), t.genedat);
    gs.print_set_mappings(t.dir.file("out.map"), t.snpdat, t.genedat);
    gs.print_geneset_summary("summary of gene sets");
    gs.print_gene_sets_csv(missing, t.genedat);
    gs.print_set_mappings(missing, t.snpdat, t.genedat);
  });
  EXPECT_EQ(out.substr(out.find("No. sets")),
            "No. sets  = 0\nmin size  = 0\nmax size  = 0\nmean size = 0\nCannot open " + missing +
                "for csv output.\nCannot open " + missing + "for map output.\n");
  std::cout.precision(6);
  EXPECT_EQ(t.dir.read("out.csv"), "GOID,   variable,   value\n");
  EXPECT_EQ(t.dir.read("out.map"), "setID, gene, snp\n");
}
