#include "stats/gene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <sstream>

#include "Matrix/Moments.h"
#include "test_support.h"

namespace {

/// The SNP and gene data of one test, and access to the SNPs' fields.
struct GeneDataHolder {
  SNP& snp(std::size_t i) { return snpdat->snpvec[i]; }
  /// Sets `field` of the first SNPs, in row order.
  void set(float SNP::*field, const std::vector<float>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) snp(i).*field = values[i];
  }

  Scoring scoring;  ///< the genes' scoring, changed by the tests that try each
  std::unique_ptr<SNPData> snpdat;
  std::unique_ptr<GENEData> genedat;
};

// The score and gene_snp files of one test, and the data loaded from them.
struct GeneFiles : TempDir, GeneDataHolder {
  GENEData& load(const std::string& scores, const std::string& gene_snp,
                 GeneScore gene_score = GeneScore::mean) {
    snpdat = std::make_unique<SNPData>(write("score.dat", scores), -999.0f, "zero");
    scoring.gene_score = gene_score;
    genedat = std::make_unique<GENEData>(scoring, write("gene_snp.dat", gene_snp), 50000, *snpdat);
    return *genedat;
  }
};

/// Gene-SNP pairs from "G1 rs1 G1 rs2 ...".
std::vector<std::pair<std::string, std::string>> pairs_of(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::pair<std::string, std::string>> pairs;
  std::string gene, snp;
  while (in >> gene >> snp) pairs.emplace_back(gene, snp);
  return pairs;
}

// Scores (SNPs rs1, rs2, ...) and genes built in memory.
struct GeneMemory : GeneDataHolder {
  GENEData& make(const std::vector<std::vector<float>>& rows, const std::string& gene_snp,
                 GeneScore gene_score = GeneScore::mean) {
    std::vector<std::string> names;
    for (std::size_t k = 0; k < rows.size(); ++k) names.push_back("rs" + std::to_string(k + 1));
    snpdat = std::make_unique<SNPData>(names, rows);
    scoring.gene_score = gene_score;
    genedat = std::make_unique<GENEData>(scoring, pairs_of(gene_snp), *snpdat);
    return *genedat;
  }
};

Gene gene_with(bool used, float score, float mean, float sd) {
  Gene g;
  g.used = used;
  g.score = g.sim_score = score;
  g.null_mean = mean;
  g.null_sd = sd;
  return g;
}

// Equal, or both not a number.
bool same(float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }

}  // namespace

TEST(GENEData, LoaderKeepsDistanceBoundarySkipsRepeatsAndUnknownSnpsAndStopsOnShortLines) {
  GeneFiles f;
  GENEData& g = f.load("rs1 1 2\nrs2 1 2\nrs3 1 2\nrs4 1 2\nrs5 1 2\n",
                       "# gene snp dist\n"
                       "   # indented comment\n"
                       "GA rs1 50000\nGA rs2 -50000\nGA rs3 50001\nGA rs4 -50001\n"
                       "GB rs9 10\n"       // unknown SNP
                       "GC rs3 60000\n"    // every line of GC is skipped
                       "GA rs1 5\n"        // repeated pair
                       "GB rs1 0 extra\n"  // shared SNP, fourth field ignored
                       ", \t\n\n"
                       "GD,rs4\t12\nGD rs2 +0\nGA rs5 -0\n");
  ASSERT_EQ(g.ngene, 3);
  EXPECT_EQ(g.genevec[0].snp, (std::vector<std::string>{"rs1", "rs2", "rs5"}));
  EXPECT_EQ(g.genevec[0].snp_index, (std::vector<int>{0, 1, 4}));
  EXPECT_EQ(g.genevec[2].snp_index, (std::vector<int>{3, 1}));
  EXPECT_EQ(g.get_gene_index("GD"), 2);
  EXPECT_EQ(g.get_gene_index("GC"), -1);
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(f.snp(i).used, i != 2) << i;
}

// Pairs loaded before count as seen, those of a gene with a long list of SNPs too: a second
// file repeats none of them.
TEST(GENEData, SecondLoadAddsOnlyPairsNotLoadedBefore) {
  const std::size_t many = SeenPairs::kShortList + 2;
  std::string pairs = "G2 rs1";
  std::string more = "G2 rs1 0\nG2 rs2 0\nG3 rs2 0\n";
  for (std::size_t s = 1; s <= many; ++s) {
    pairs += " G1 rs" + std::to_string(s);
    more += "G1 rs" + std::to_string(s) + " 0\n";
  }
  GeneMemory m;
  GENEData& g = m.make(std::vector<std::vector<float>>(many, {1, 2}), pairs);
  const TempDir dir;
  g.gene_snp_filename = dir.write("more.dat", more);
  g.load_gene_snp(*m.snpdat, 50000);
  ASSERT_EQ(g.genevec.size(), 3u);
  EXPECT_EQ(g.genevec[0].snp, (std::vector<std::string>{"rs1", "rs2"}));
  EXPECT_EQ(g.genevec[1].snp.size(), many);
  EXPECT_EQ(g.genevec[2].snp_index, (std::vector<int>{1}));
}

TEST(GENEData, DistanceThatIsNotAWhole32BitNumberStopsWithFileAndLine) {
  GeneFiles f;
  for (const char* distance :
       {"1e9", "4294967296", "2147483648", "abc", "12abc", "1.0", "+-1", "0x10", "-2147483649"}) {
    EXPECT_EXIT(f.load("rs1 1 2\n", std::string("GA rs1 0\nGA rs1 ") + distance + "\n"),
                testing::ExitedWithCode(1),
                "^error: distance '.*' on line 2 of file .*gene_snp.dat is not a whole number")
        << distance;
  }
  GENEData& g = f.load("rs1 1 2\nrs2 1 2\n", "GA rs1 -2147483648\nGA rs2 2147483647\n");
  EXPECT_EQ(g.ngene, 0);  // both far outside the window, neither kept
}

TEST(GENEData, ComputeScoreByMethodOverUsedSnpsOfUsedGenes) {
  GeneMemory f;
  GENEData& g =
      f.make({{1, 2}, {1, 2}, {1, 2}, {1, 2}, {1, 2}}, "G1 rs1 G1 rs2 G1 rs3 G2 rs4 G3 rs5");
  f.set(&SNP::x_stat, {1, 4, 7, -3, 5});
  g.all_genes_used();
  g.genevec[2].used = false;
  g.genevec[2].score = 9;  // an unused gene is reset, not left as it was
  const std::vector<std::pair<GeneScore, std::vector<float>>> cases = {
      {GeneScore::mean, {4, -3, 0}},
      {GeneScore::sqrtmean, {2, std::nanf(""), 0}},
      {GeneScore::max, {7, 0, 0}}};
  for (const auto& [method, expected] : cases) {
    SCOPED_TRACE(static_cast<int>(method));
    f.scoring.gene_score = method;
    g.compute_score(*f.snpdat);
    EXPECT_EQ(g.genevec[0].count, 3);
    EXPECT_EQ(g.genevec[2].count, 0);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_PRED2(same, g.genevec[i].score, expected[i]);
  }
  // An unused SNP leaves the gene; the simulated score reads sim_x_stat instead.
  f.snp(2).used = false;
  f.set(&SNP::sim_x_stat, {2, 6});
  f.scoring.gene_score = GeneScore::mean;
  g.compute_score(*f.snpdat);
  g.compute_score_sim(*f.snpdat);
  EXPECT_EQ(g.genevec[0].count, 2);
  EXPECT_EQ(g.genevec[0].score, 2.5f);
  EXPECT_EQ(g.genevec[0].sim_count, 2);
  EXPECT_EQ(g.genevec[0].sim_score, 4.0f);
}

TEST(GENEData, AnalyticMomentsOfOneSnpAndTwoSnpGenes) {
  GeneMemory f;
  // G2 holds two identical columns of variance 4 (correlation exactly 1); G3 two columns with
  // Pearson correlation 0.5, so var_mean = 2 * (2 + 2 * 0.25) / 4 = 1.25.
  GENEData& g = f.make({{1, 3, 5}, {1, 3, 5}, {1, 3, 5}, {1, 2, 3}, {1, 3, 2}},
                       "G1 rs1 G2 rs2 G2 rs3 G3 rs4 G3 rs5");
  g.all_genes_used();
  g.genevec[2].used = false;
  g.compute_score_moments(*f.snpdat);  // mean score, normal moments
  EXPECT_EQ(g.genevec[0].var_mean, 2.0f);
  EXPECT_EQ(g.genevec[0].null_mean, 1.0f);
  EXPECT_FLOAT_EQ(g.genevec[0].null_sd, 1.4142135f);
  EXPECT_EQ(g.genevec[1].var_mean, 2.0f);
  EXPECT_EQ(g.genevec[2].null_mean, 0.0f);
  EXPECT_EQ(g.genevec[2].null_sd, 0.0f);
  g.genevec[2].used = true;
  f.scoring.gene_score = GeneScore::sqrtmean;
  g.compute_score_moments(*f.snpdat);
  // The running float moments may carry a few ulps of rounding.
  EXPECT_NEAR(g.genevec[2].var_mean, 1.25, 1e-6);
  EXPECT_NEAR(g.genevec[2].null_mean, 0.84375, 1e-6);
  EXPECT_NEAR(g.genevec[2].null_sd, 0.5590170, 1e-6);
}

// 30 genes of 1 to 4 SNPs, some shared and one SNP constant, every pair in both orders: many
// runs of partners, handed to the threads in a different interleaving for each count. Each
// value is that of the correlation matrix of the two genes' SNPs, to the bit.
TEST(GenePairCovs, EqualToTheCorrelationFormulaWhateverTheThreadCount) {
  std::mt19937 gen(30);
  std::normal_distribution<float> normal(0.0f, 1.5f);
  for (int nsubj : {1, 23}) {
    std::vector<std::vector<float>> rows(60);
    for (std::size_t s = 0; s < rows.size(); ++s)
      for (int j = 0; j < nsubj; ++j) rows[s].push_back(s == 2 ? 2.0f : normal(gen));
    std::vector<std::string> names;
    for (std::size_t k = 0; k < rows.size(); ++k) names.push_back("rs" + std::to_string(k));
    const SNPData snps(names, rows);
    std::vector<std::vector<int>> gene_snps(30);
    for (std::size_t g = 0; g < gene_snps.size(); ++g)
      for (std::size_t m = 0; m <= g % 4; ++m)
        gene_snps[g].push_back(static_cast<int>((g * 2 + m * 7) % rows.size()));
    const auto columns = [&](int g) {
      const std::vector<int>& snp = gene_snps[static_cast<std::size_t>(g)];
      Matrix<float> m(nsubj, static_cast<int>(snp.size()));
      for (int j = 0; j < nsubj; ++j)
        for (std::size_t c = 0; c < snp.size(); ++c)
          m[j][c] = rows[static_cast<std::size_t>(snp[c])][static_cast<std::size_t>(j)];
      return m;
    };
    std::vector<std::pair<int, int>> pairs;
    std::vector<float> expected;
    for (int a = 0; a < 30; ++a) {
      for (int b = 0; b < 30; ++b) {
        if (a == b) continue;
        pairs.emplace_back(a, b);
        Matrix<float> ca = columns(a), cb = columns(b);
        const Matrix<float> c = cor(ca, cb);
        expected.push_back(static_cast<float>(static_cast<double>(c.ssq()) * 2 /
                                              static_cast<float>(c.nrow * c.ncol)));
      }
    }
    for (int threads : {1, 2, 3, 8}) {
      SnpDeviations fresh;
      const std::vector<float> got =
          gene_pair_covs(snps.scoremat, fresh, gene_snps, pairs, threads);
      ASSERT_EQ(got.size(), pairs.size());
      for (std::size_t p = 0; p < pairs.size(); ++p)
        ASSERT_TRUE(std::memcmp(&got[p], &expected[p], sizeof(float)) == 0)
            << nsubj << " subjects, " << threads << " threads, pair " << p;
    }
    // Processes of a job: consecutive shares of nearly equal work that cover the list once,
    // each computed on its own, give the same bits.
    double total = 0;
    for (const auto& [a, b] : pairs)
      total += static_cast<double>(gene_snps[static_cast<std::size_t>(a)].size() *
                                   gene_snps[static_cast<std::size_t>(b)].size());
    for (int nprocs : {2, 3, 7}) {
      std::vector<float> gathered;
      for (int rank = 0; rank < nprocs; ++rank) {
        const auto [first, end] = pair_share(gene_snps, pairs, rank, nprocs);
        ASSERT_EQ(first, gathered.size()) << nprocs << " processes, rank " << rank;
        double work = 0;
        for (std::size_t p = first; p < end; ++p)
          work += static_cast<double>(gene_snps[static_cast<std::size_t>(pairs[p].first)].size() *
                                      gene_snps[static_cast<std::size_t>(pairs[p].second)].size());
        EXPECT_LT(work, 1.2 * total / nprocs) << nprocs << " processes, rank " << rank;
        SnpDeviations fresh;
        const std::vector<std::pair<int, int>> share(
            pairs.begin() + static_cast<std::ptrdiff_t>(first),
            pairs.begin() + static_cast<std::ptrdiff_t>(end));
        const std::vector<float> part = gene_pair_covs(snps.scoremat, fresh, gene_snps, share, 2);
        gathered.insert(gathered.end(), part.begin(), part.end());
      }
      ASSERT_EQ(gathered.size(), expected.size()) << nprocs << " processes";
      EXPECT_EQ(std::memcmp(gathered.data(), expected.data(), expected.size() * sizeof(float)), 0)
          << nprocs << " processes";
    }
  }
}

// Genes of 0 to 25 SNPs among SNPs that include constant columns (a zero standard deviation,
// whose correlations are 1) and missing codes (read as the subject's mean score): each
// variance is the one of Moments' correlation matrix of the gene's columns, to the bit, for
// any thread count, from fresh deviations or from ones formed by an earlier call.
TEST(GeneSelfCovs, EqualToTheMomentsCorrelationWhateverTheThreadCount) {
  std::mt19937 gen(41);
  std::normal_distribution<float> normal(0.3f, 1.7f);
  for (int nsubj : {1, 2, 3, 19, 40}) {
    std::vector<std::vector<float>> rows(90);
    for (std::size_t s = 0; s < rows.size(); ++s) {
      for (int j = 0; j < nsubj; ++j) {
        float v = s % 11 == 3 ? 2.5f : normal(gen);
        if (s % 7 == 5 && j % 3 == 1) v = -999;
        rows[s].push_back(v);
      }
    }
    std::vector<std::string> names;
    for (std::size_t k = 0; k < rows.size(); ++k) names.push_back("rs" + std::to_string(k));
    const SNPData snps(names, rows, -999, "mean");
    std::vector<std::vector<int>> gene_snps(52);
    for (std::size_t g = 0; g < gene_snps.size(); ++g)
      for (std::size_t m = 0; m < g % 26; ++m)
        gene_snps[g].push_back(static_cast<int>((g * 5 + m * 13) % rows.size()));

    std::vector<float> expected;
    std::vector<float> scratch;
    for (const std::vector<int>& snp : gene_snps) {
      const auto m = static_cast<int>(snp.size());
      if (m < 2) {
        expected.push_back(m == 0 ? 0.0f : 2.0f);
        continue;
      }
      Matrix<float> data(nsubj, m);
      for (int c = 0; c < m; ++c) {
        const float* x = snps.scoremat.row(snp[static_cast<std::size_t>(c)], scratch);
        for (int j = 0; j < nsubj; ++j) data[j][static_cast<std::size_t>(c)] = x[j];
      }
      const Moments<float> moments(data);
      ASSERT_EQ(moments.error, 0);
      const float ssq = moments.correlation().ssq();
      expected.push_back(
          static_cast<float>(static_cast<double>(ssq) * 2 / static_cast<float>(m * m)));
    }
    for (int threads : {1, 3}) {
      SnpDeviations fresh;
      for (int call = 0; call < 2; ++call) {
        const std::vector<float> got = gene_self_covs(snps.scoremat, fresh, gene_snps, threads);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t g = 0; g < got.size(); ++g)
          ASSERT_TRUE(std::memcmp(&got[g], &expected[g], sizeof(float)) == 0)
              << nsubj << " subjects, " << threads << " threads, call " << call << ", gene " << g
              << ": " << got[g] << " != " << expected[g];
      }
    }
  }
}

// A gene too large for one block of running sums is taken a block of rows at a time: for
// blocks of one row up to the whole gene, the within-gene and between-gene sums of squares
// are those of the whole matrix to the bit, constant columns (correlation 1) included.
TEST(CorrelationBlocks, GiveTheBitsOfTheWholeMatrixForEveryBlockSize) {
  std::mt19937 gen(77);
  std::normal_distribution<float> normal(-0.4f, 2.1f);
  for (int nsubj : {2, 29}) {
    std::vector<std::vector<float>> rows(45);
    for (std::size_t s = 0; s < rows.size(); ++s)
      for (int j = 0; j < nsubj; ++j) rows[s].push_back(s % 9 == 4 ? 1.5f : normal(gen));
    std::vector<std::string> names;
    std::vector<int> all;
    for (std::size_t k = 0; k < rows.size(); ++k) {
      names.push_back("rs" + std::to_string(k));
      all.push_back(static_cast<int>(k));
    }
    const SNPData snps(names, rows);
    SnpDeviations deviations;
    deviations.prepare(snps.scoremat, all, 2);
    std::vector<const SnpDeviation*> xs, ys;
    for (int s = 0; s < 27; ++s) xs.push_back(&deviations.formed(s));
    for (int s = 20; s < 45; ++s) ys.push_back(&deviations.formed(s));
    const std::vector<std::size_t> ends = {3, 4, 17, 25};
    const float whole = ssq_of_self_correlations(xs, nsubj);
    const std::vector<float> whole_pairs = ssq_of_correlations(xs, ys, ends, nsubj);
    ASSERT_TRUE(std::isfinite(whole) && whole > 27.0f) << nsubj << " subjects";
    // 32 lanes of partners and of the gene itself: 32 floats a row.
    for (std::size_t block : {std::size_t{1}, std::size_t{32}, std::size_t{7 * 32},
                              std::size_t{26 * 32}, std::size_t{27 * 32}}) {
      const float got = ssq_of_self_correlations(xs, nsubj, block);
      EXPECT_EQ(std::memcmp(&got, &whole, sizeof got), 0)
          << nsubj << " subjects, block " << block << ": " << got << " != " << whole;
      const std::vector<float> pairs = ssq_of_correlations(xs, ys, ends, nsubj, block);
      ASSERT_EQ(pairs.size(), whole_pairs.size());
      EXPECT_EQ(std::memcmp(pairs.data(), whole_pairs.data(), pairs.size() * sizeof(float)), 0)
          << nsubj << " subjects, block " << block;
    }
  }
}

// Gene variances in groups of genes (GENE runs give each group's deviations back), kept for
// pairs (set runs), or kept and then asked again for more genes: the same bits, in order.
TEST(GENEData, GeneVariancesAreTheSameInGroupsAsAllTogether) {
  GeneMemory f;
  std::mt19937 gen(5);
  std::normal_distribution<float> normal;
  std::vector<std::vector<float>> rows(12, std::vector<float>(9));
  for (auto& row : rows)
    for (float& v : row) v = normal(gen);
  GENEData& g = f.make(rows,
                       "G0 rs1 G0 rs2 G0 rs3 G1 rs4 G2 rs5 G2 rs12 G3 rs6 G3 rs7 G3 rs8 "
                       "G3 rs9 G4 rs10 G4 rs11 G4 rs2");
  g.all_genes_used();
  const std::vector<int> genes = {4, 0, 3, 1, 2};
  const std::vector<float> together = g.gene_self_covs(*f.snpdat, genes);
  ASSERT_EQ(together.size(), genes.size());
  EXPECT_EQ(together[3], 2.0f);  // G1: one SNP
  g.deviation_memory = 1;        // every gene a group of its own
  const std::vector<float> alone = g.gene_self_covs(*f.snpdat, genes);
  g.deviation_memory = 2 * 8 * sizeof(float) * 3;  // groups of a few SNPs
  const std::vector<float> few = g.gene_self_covs(*f.snpdat, genes);
  const std::vector<float> first_kept = g.gene_self_covs(*f.snpdat, {genes[0], genes[1]}, true);
  const std::vector<float> then_all = g.gene_self_covs(*f.snpdat, genes, true);
  for (const std::vector<float>* other : {&alone, &few, &then_all})
    EXPECT_EQ(std::memcmp(other->data(), together.data(), together.size() * sizeof(float)), 0);
  EXPECT_EQ(std::memcmp(first_kept.data(), together.data(), 2 * sizeof(float)), 0);

  // A copy outlives its original: its covariances are its own, its deviations formed afresh.
  stdout_of([&] { g.compute_gene_cov(*f.snpdat); });
  const float pair = g.gene_cov[4][0];
  auto copy = std::make_unique<GENEData>(g);
  f.genedat.reset();
  EXPECT_EQ(copy->gene_cov[4][0], pair);
  const std::vector<float> again = copy->gene_self_covs(*f.snpdat, genes, true);
  EXPECT_EQ(std::memcmp(again.data(), together.data(), together.size() * sizeof(float)), 0);
}

TEST(GENEData, ComputeGeneCovFillsDiagonalAndSymmetricPairsAndStopsWithoutData) {
  GeneMemory f;
  // cor of (rs2, rs3) with (rs1, constant rs4) is [[1, 0], [-1, 0]]: covariance 2 * 2 / 4.
  GENEData& g = f.make({{1, 3, 5}, {2, 2, 2}, {1, 3, 5}, {5, 3, 1}, {0, 1, 7}},
                       "G0 rs1 G0 rs2 G1 rs3 G1 rs4 G2 rs5");
  g.all_genes_used();
  g.genevec[2].used = false;
  EXPECT_EQ(stdout_of([&] { g.compute_gene_cov(*f.snpdat); }),
            "computing gene_cov matrix, size = 3 x 3\n");
  // Diagonal 2 (correlation() gives 1 for the constant column); nothing for the unused gene.
  EXPECT_EQ(std::vector<float>(g.gene_cov[0], g.gene_cov[0] + 3), (std::vector<float>{2, 1, 0}));
  EXPECT_EQ(std::vector<float>(g.gene_cov[1], g.gene_cov[1] + 3), (std::vector<float>{1, 2, 0}));
  EXPECT_EQ(std::vector<float>(g.gene_cov[2], g.gene_cov[2] + 3), (std::vector<float>{0, 0, 0}));

  // A gene without a used SNP has nothing to correlate: the run stops, one pair or many,
  // whichever side of the pair the gene is on.
  f.snp(4).used = false;  // rs5, the only SNP of G2
  EXPECT_EXIT(g.gene_pair_cov(*f.snpdat, 0, 2), testing::ExitedWithCode(1),
              "^error: gene covariance: gene G2 has no SNP in use\n$");
  EXPECT_EXIT(g.gene_pair_covs(*f.snpdat, {{1, 0}, {2, 1}, {1, 2}}), testing::ExitedWithCode(1),
              "^error: gene covariance: gene G2 has no SNP in use\n$");
  EXPECT_EXIT(g.gene_pair_covs(*f.snpdat, {{0, 1}, {1, 2}}), testing::ExitedWithCode(1),
              "^error: gene covariance: gene G2 has no SNP in use\n$");
  f.snpdat->nsubj = 0;  // no subjects: the SNP matrix has no rows
  EXPECT_EXIT(g.gene_self_cov(*f.snpdat, 0), testing::ExitedWithCode(1),
              "error: moments_score has error = 1");
  EXPECT_EXIT(g.gene_pair_cov(*f.snpdat, 0, 1), testing::ExitedWithCode(1),
              "^error: gene covariance without subjects\n$");
}

TEST(GENEData, ZscoreDividesOnlyAboveToleranceAndNeverByNaN) {
  GeneMemory f;
  GENEData& g = f.make({{1, 2}}, "");
  const float above = std::nextafter(1e-6f, 1.0f);
  g.genevec = {gene_with(true, 3, 1, 2),     gene_with(true, 3, 1, 1e-6f),
               gene_with(true, 3, 1, above), gene_with(true, 3, 1, std::nanf("")),
               gene_with(true, 3, 1, 0),     gene_with(false, 3, 1, 2)};
  g.compute_zscore();
  g.compute_zscore_sim();
  const std::vector<float> expected = {1, 0, 2.0f / above, 0, 0, 0};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(g.genevec[i].zscore, expected[i]) << i;
    EXPECT_EQ(g.genevec[i].sim_zscore, expected[i]) << i;
  }
}

TEST(Gene_greater_zscore, OrdersDecreasingWithNaNLast) {
  Gene nan;
  nan.zscore = std::nanf("");
  EXPECT_FALSE(Gene_greater_zscore(nan, nan));
  // Many records, so that std::sort goes past its insertion-sort stage.
  std::vector<Gene> genes(300);
  std::mt19937 gen(7);
  for (std::size_t i = 0; i < genes.size(); ++i)
    genes[i].zscore = i % 3 == 0 ? std::nanf("") : static_cast<float>(gen() % 50) - 25.0f;
  std::sort(genes.begin(), genes.end(), Gene_greater_zscore);
  const auto is_nan = [](const Gene& g) { return std::isnan(g.zscore); };
  const auto first_nan = std::find_if(genes.begin(), genes.end(), is_nan);
  EXPECT_EQ(first_nan - genes.begin(), 200);
  EXPECT_TRUE(std::all_of(first_nan, genes.end(), is_nan));
  EXPECT_TRUE(std::is_sorted(genes.begin(), first_nan,
                             [](const Gene& x, const Gene& y) { return x.zscore > y.zscore; }));
}

TEST(GENEData, RanksCoverUsedGenesOnly) {
  GeneMemory f;
  GENEData& g =
      f.make({{1, 2}, {1, 2}, {1, 2}}, "G0 rs1 G0 rs2 G0 rs3 G1 rs3 G2 rs1 G3 rs2 G4 rs1");
  f.set(&SNP::rank_x_stat, {1, 4, 100});
  f.snp(2).used = false;
  const std::vector<float> zscores = {2, 5, 9, 2, -1};
  for (std::size_t i = 0; i < zscores.size(); ++i) {
    g.genevec[i].used = i != 2;
    g.genevec[i].zscore = zscores[i];
    g.genevec[i].snp_rank = g.genevec[i].gene_rank = 42;
  }
  g.compute_gene_snp_rank(*f.snpdat);
  g.compute_gene_rank();
  const std::vector<float> snp_rank = {2.5f, 0, 42, 4, 1};
  const std::vector<float> gene_rank = {2.5f, 1, 42, 2.5f, 4};
  for (std::size_t i = 0; i < zscores.size(); ++i) {
    EXPECT_EQ(g.genevec[i].snp_rank, snp_rank[i]) << i;
    EXPECT_EQ(g.genevec[i].gene_rank, gene_rank[i]) << i;
  }
}

TEST(GENEData, SimulatedMomentsUseExactlyAThousandReplicates) {
  GeneMemory f;
  const std::vector<std::vector<float>> scores = {{0.5f, -1, 2, 1.5f, -0.3f},
                                                  {1, 1, -2, 0.7f, 0.2f}};
  GENEData& g = f.make(scores, "G0 rs1 G0 rs2", GeneScore::max);
  SNPData twin({"rs1", "rs2"}, scores);
  for (SNPData* s : {f.snpdat.get(), &twin}) {
    s->set_all_used();
    s->make_snp_used_index();
    s->set_seed(11);
  }
  g.all_genes_used();
  // The pending second normal deviate is shared by all generators: start each stream clean.
  MTRand::iset = 0;
  g.compute_score_moments(*f.snpdat);  // a max score has no analytic moments
  MTRand::iset = 0;
  double sum = 0, sumsq = 0;
  for (int rep = 0; rep < 1000; ++rep) {
    twin.random_x_stat();
    const double max = std::max({0.0f, twin.snpvec[0].sim_x_stat, twin.snpvec[1].sim_x_stat});
    sum += max;
    sumsq += max * max;
  }
  EXPECT_EQ(f.snpdat->randGenerator.randInt(), twin.randGenerator.randInt());
  // Reference sums in double; the program sums 1000 terms in float.
  EXPECT_NEAR(g.genevec[0].null_mean, sum / 1000, 1e-4);
  EXPECT_NEAR(g.genevec[0].null_sd, std::sqrt((sumsq - sum * sum / 1000) / 999), 1e-4);
}

TEST(GENEData, StepDownPvalMapsPvaluesBackToGenes) {
  GeneMemory f;
  GENEData& g = f.make({{0.5f, -1, 2, 1.5f}, {1, 1, -2, 0.7f}}, "G0 rs1 G1 rs2");
  f.snpdat->make_snp_used_index();
  f.snpdat->set_seed(3);
  g.all_genes_used();
  for (Gene& gene : g.genevec) gene.null_sd = 1;
  // Simulated z-scores are bounded by the subject count, far inside these two.
  g.genevec[0].zscore = -1e9f;
  g.genevec[1].zscore = 1e9f;
  g.stepDownPval(20, *f.snpdat);
  EXPECT_EQ(g.genevec[0].sim_pval, 1.0f);
  EXPECT_STDOUT_EXIT(g.stepDownPval(0, *f.snpdat), "^error: invalid no. simulations  = 0\n$");
}

TEST(GENEData, ReportsListDecreasingZscoreTiesInCreationOrderAndNaNLast) {
  // Forty genes in three z-score groups: enough for an unstable sort to move tied genes.
  constexpr int kGenes = 40;
  std::string scores, gene_snp;
  for (int k = 0; k < kGenes; ++k) {
    scores += "rs" + std::to_string(k) + " 1 2\n";
    gene_snp += "G" + std::to_string(k) + " rs" + std::to_string(k) + " 0\n";
  }
  GeneFiles f;
  GENEData& g = f.load(scores, gene_snp);
  const auto zscore_of = [](int k) {
    return k % 7 == 3 ? std::numeric_limits<float>::quiet_NaN() : k % 3 == 0 ? 2.0f : 1.0f;
  };
  for (int k = 0; k < kGenes; ++k) g.genevec[static_cast<std::size_t>(k)].zscore = zscore_of(k);
  std::vector<std::string> expected;
  for (float group : {2.0f, 1.0f, std::numeric_limits<float>::quiet_NaN()})
    for (int k = 0; k < kGenes; ++k)
      if (same(zscore_of(k), group)) expected.push_back("G" + std::to_string(k));

  g.print_gene_stats_csv(f.file("out.csv"));
  std::istringstream csv(f.read("out.csv"));
  std::string line;
  std::getline(csv, line);  // header
  std::vector<std::string> csv_names;
  while (std::getline(csv, line)) {
    std::istringstream row(line);
    std::string name;
    std::getline(row >> std::ws, name, ',');
    csv_names.push_back(name);
  }
  EXPECT_EQ(csv_names, expected);

  g.print_gene_stats_html(f.file("out.html"));
  const std::string html = f.read("out.html");
  std::vector<std::string> html_names;
  for (std::size_t at = html.find("term="); at != std::string::npos;
       at = html.find("term=", at + 1))
    html_names.push_back(html.substr(at + 5, html.find('"', at) - at - 5));
  EXPECT_EQ(html_names, expected);
}
