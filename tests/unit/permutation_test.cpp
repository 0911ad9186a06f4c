#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "engine/permutation_kernel.h"
#include "files/compact_scores.h"
#include "stats/centred_genotypes.h"
#include "stats/simulation.h"
#include "stats/snp.h"
#include "test_support.h"

namespace {

/// A compact study of genotype rows: codes 0..2, 3 for a missing call.
struct CompactStudy {
  std::vector<std::vector<int>> codes;  ///< per SNP, per subject
  std::vector<double> residuals;
  std::vector<std::vector<double>> covariates;  ///< columns beyond the intercept
  float missing_code = -999;

  int nsubj() const { return static_cast<int>(residuals.size()); }
  double mean(std::size_t s) const {
    double sum = 0;
    int n = 0;
    for (int c : codes[s])
      if (c != 3) sum += c, ++n;
    return n > 0 ? sum / n : 0.0;
  }

  /// The file as docs/score-format.md lays it out.
  std::string bytes() const {
    CompactHeader h;
    h.nsnp = codes.size();
    h.nsubj = residuals.size();
    h.coding = RowCoding::genotypes;
    h.covariate_columns = static_cast<std::uint32_t>(1 + covariates.size());
    h.missing_code = missing_code;
    h.rows_bytes = h.nsnp * genotype_row_bytes(h.nsubj);
    std::string names;
    for (std::size_t s = 0; s < codes.size(); ++s) names += "rs" + std::to_string(s + 1) + "\n";
    h.names_bytes = names.size();
    lay_out_compact(h);
    std::string out = encode_compact_header(h);
    const auto doubles = [&out](const std::vector<double>& v) {
      out.append(reinterpret_cast<const char*>(v.data()), 8 * v.size());
    };
    doubles(residuals);
    doubles(std::vector<double>(residuals.size(), 1.0));
    for (const auto& column : covariates) doubles(column);
    std::string rows;
    for (const auto& row : codes) {
      std::string packed(genotype_row_bytes(h.nsubj), '\0');
      for (std::size_t i = 0; i < row.size(); ++i)
        packed[i / 4] = static_cast<char>(packed[i / 4] | (row[i] << (2 * (i % 4))));
      rows += packed;
    }
    rows.resize(padded8(rows.size()), '\0');
    out += rows;
    std::vector<double> means;
    for (std::size_t s = 0; s < codes.size(); ++s) means.push_back(mean(s));
    doubles(means);
    return out + names;
  }
};

/// The statistic of SNP s with subject i carrying residual r[perm[i]], recomputed from the
/// definition: each score the float nearest (g - m) r, a missing call 0, sums in float.
float direct_statistic(const CompactStudy& study, std::size_t s, const std::vector<int>& perm) {
  float sum = 0, ssq = 0;
  const double m = study.mean(s);
  for (int i = 0; i < study.nsubj(); ++i) {
    const int code = study.codes[s][static_cast<std::size_t>(i)];
    const float score =
        code == 3
            ? 0.0f
            : study_score(
                  code - m,
                  study.residuals[static_cast<std::size_t>(perm[static_cast<std::size_t>(i)])]);
    sum += score;
    ssq += score * score;
  }
  return ssq > kSsqTolerance ? sum * sum / ssq : 0.0f;
}

/// The documented draw, written out again: Fisher-Yates from the last position down, each
/// position's partner uniform by rejection of 32-bit outputs at or above the largest multiple.
std::vector<int> documented_permutation(MTRand& rng, int n) {
  std::vector<int> perm(static_cast<std::size_t>(n));
  std::iota(perm.begin(), perm.end(), 0);
  for (int i = n - 1; i > 0; --i) {
    const std::uint64_t bound = static_cast<std::uint64_t>(i) + 1;
    const std::uint64_t limit = (std::uint64_t{1} << 32) / bound * bound;
    std::uint64_t u = rng.randInt();
    while (u >= limit) u = rng.randInt();
    std::swap(perm[static_cast<std::size_t>(i)], perm[static_cast<std::size_t>(u % bound)]);
  }
  return perm;
}

SNPData load(const TempDir& dir, const CompactStudy& study, bool permutation,
             const std::string& name = "study.cmp") {
  SNPData d(dir.write(name, study.bytes()), study.missing_code, "zero");
  if (permutation) d.use_permutation_null();
  d.set_all_used();
  d.make_snp_used_index();
  d.compute_x_stat();
  return d;
}

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

/// 37 SNPs (three kernel blocks, the last part full) of 11 subjects with missing calls and a
/// monomorphic SNP; residuals of a 10 % case-control trait.
CompactStudy imbalanced_study() {
  CompactStudy study;
  for (int i = 0; i < 11; ++i) study.residuals.push_back(i == 3 ? 1.0 - 1.0 / 11 : -1.0 / 11);
  for (int s = 0; s < 37; ++s) {
    study.codes.emplace_back();
    for (int i = 0; i < 11; ++i) {
      const int v = (s * 7 + i * 5 + s * i) % 13;
      study.codes.back().push_back(s == 5 ? 1 : v < 7 ? 0 : v < 11 ? 1 : v < 12 ? 2 : 3);
    }
  }
  return study;
}

}  // namespace

TEST(PermutationDraw, BoundedDrawsAreUniformAndRejectTheTopOfTheRange) {
  MTRand rng, copy;
  rng.seed(7);
  copy.seed(7);
  // 3 * 2^30 outputs of 2^32 are accepted for a bound of 3 * 2^30: one in four rejected.
  const std::uint32_t bound = 3u << 30;
  int extra_outputs = 0;
  for (int k = 0; k < 4000; ++k) {
    const std::uint32_t v = bounded_draw(rng, bound);
    std::uint64_t u = copy.randInt();
    while (u >= bound) u = copy.randInt(), ++extra_outputs;
    ASSERT_EQ(v, u % bound) << k;
  }
  // 4000 / 3 expected (sd 42): the stream went past each rejected output.
  EXPECT_GT(extra_outputs, 1200);
  EXPECT_LT(extra_outputs, 1470);
  EXPECT_EQ(rng.randInt(), copy.randInt());

  // Every permutation of four equally often (24 cells of 1000 expected: chi-square, 23 df).
  std::vector<int> counts(24, 0);
  int perm[4];
  for (int k = 0; k < 24000; ++k) {
    draw_permutation(rng, 4, perm);
    int code = 0;
    std::vector<int> rest = {0, 1, 2, 3};
    for (int i = 0; i < 4; ++i) {  // Lehmer code: position of perm[i] among those left
      const auto at = std::find(rest.begin(), rest.end(), perm[i]);
      code = code * (4 - i) + static_cast<int>(at - rest.begin());
      rest.erase(at);
    }
    ++counts[static_cast<std::size_t>(code)];
  }
  double chi2 = 0;
  for (int c : counts) chi2 += (c - 1000.0) * (c - 1000.0) / 1000.0;
  EXPECT_LT(chi2, 49.7);  // the 0.999 quantile of chi-square with 23 df
}

TEST(PermutationNull, TheIdentityGivesTheObservedStatisticsToTheBit) {
  TempDir dir;
  CompactStudy study = imbalanced_study();
  const SNPData multiplier = load(dir, study, false);
  const SNPData permutation = load(dir, study, true);
  for (std::size_t s = 0; s < study.codes.size(); ++s) {
    EXPECT_TRUE(same_bits(permutation.snpvec[s].x_stat, multiplier.snpvec[s].x_stat)) << s;
    std::vector<int> identity(static_cast<std::size_t>(study.nsubj()));
    std::iota(identity.begin(), identity.end(), 0);
    EXPECT_TRUE(same_bits(permutation.snpvec[s].x_stat, direct_statistic(study, s, identity)));
  }
  // A missing code that some scores equal: those read as missing (0) in the observed scores,
  // and so in the permutation kernel's (the test the kernel leaves out when no score is near).
  study.missing_code = study_score(1 - study.mean(0), study.residuals[0]);
  const SNPData multiplier_near = load(dir, study, false, "near.cmp");
  const SNPData permutation_near = load(dir, study, true, "near.cmp");
  int changed = 0;
  for (std::size_t s = 0; s < study.codes.size(); ++s) {
    EXPECT_TRUE(same_bits(permutation_near.snpvec[s].x_stat, multiplier_near.snpvec[s].x_stat))
        << s;
    changed += same_bits(multiplier_near.snpvec[s].x_stat, multiplier.snpvec[s].x_stat) ? 0 : 1;
  }
  EXPECT_GT(changed, 0);  // the code did take scores away
}

TEST(PermutationNull, ReplicatesEqualADirectRecomputationOfEachPermutation) {
  TempDir dir;
  const CompactStudy study = imbalanced_study();
  SNPData d = load(dir, study, true);
  d.set_seed(12);
  MTRand rng;
  rng.seed(d.random_seed);
  constexpr int nsim = 70;  // three passes of the kernel's chunks, and a batch planned ahead
  d.plan_replicates(nsim);
  for (int r = 0; r < nsim; ++r) {
    d.random_x_stat();
    const std::vector<int> perm = documented_permutation(rng, study.nsubj());
    for (std::size_t s = 0; s < study.codes.size(); ++s)
      ASSERT_TRUE(same_bits(d.snpvec[s].sim_x_stat, direct_statistic(study, s, perm)))
          << r << " " << s << ": " << d.snpvec[s].sim_x_stat;
  }
  EXPECT_EQ(d.randGenerator.randInt(), rng.randInt());  // the stream where the draws leave it
}

TEST(PermutationNull, KernelPathsAndThreadCountsGiveTheSameBits) {
  TempDir dir;
  const CompactStudy study = imbalanced_study();
  SNPData d = load(dir, study, true);
  std::vector<double> residuals(static_cast<std::size_t>(9 * d.nsubj));
  MTRand rng;
  rng.seed(3);
  std::vector<int> scratch;
  for (int r = 0; r < 9; ++r)
    draw_permuted_residuals(rng, d.scoremat.compact.residuals, d.nsubj, scratch,
                            residuals.data() + r * d.nsubj);
  const std::size_t cells = 9 * study.codes.size();
  std::vector<float> base(cells), other(cells);
  permuted_snp_stats(d.used_centred, residuals.data(), 9, base.data(), KernelPath::baseline, 1);
  for (KernelPath path : {KernelPath::baseline, KernelPath::avx2, KernelPath::avx512}) {
    if (!kernel_path_supported(path)) continue;
    permuted_snp_stats(d.used_centred, residuals.data(), 9, other.data(), path, 2);
    EXPECT_EQ(std::memcmp(base.data(), other.data(), cells * sizeof(float)), 0);
  }
}

TEST(PermutationNull, SkippedReplicatesLeaveEveryShareAsTheWholeRunDrewIt) {
  TempDir dir;
  const CompactStudy study = imbalanced_study();
  SNPData d = load(dir, study, true);
  constexpr int nsim = 29;
  d.set_seed(5);
  std::vector<std::vector<float>> whole;
  d.plan_replicates(nsim);
  for (int r = 0; r < nsim; ++r) {
    d.random_x_stat();
    whole.push_back(d.get_sim_x_stat());
  }
  const unsigned long next_output = d.randGenerator.randInt();
  for (int rank = 0; rank < 3; ++rank) {
    d.set_seed(5);
    const ReplicateShare share = begin_replicate_share(d, nsim, rank, 3);
    for (int r = share.first; r < share.last; ++r) {
      d.random_x_stat();
      EXPECT_EQ(d.get_sim_x_stat(), whole[static_cast<std::size_t>(r)]) << rank << " " << r;
    }
    d.skip_replicates(nsim - share.last);
    EXPECT_EQ(d.randGenerator.randInt(), next_output) << rank;
  }
}

TEST(PermutationNull, EstimatedPValueAgreesWithTheEnumerationOfAllPermutations) {
  // Seven subjects, one case: 5040 permutations. The top SNP's step-down p-value is the chance
  // that the largest statistic of a permutation reaches the largest observed one.
  TempDir dir;
  CompactStudy study;
  study.residuals = {-1.0 / 7, -1.0 / 7, 6.0 / 7, -1.0 / 7, -1.0 / 7, -1.0 / 7, -1.0 / 7};
  study.codes = {{0, 1, 1, 0, 0, 2, 0}, {1, 0, 2, 0, 0, 0, 3}, {0, 0, 1, 0, 1, 0, 0}};
  SNPData d = load(dir, study, true);
  float top = 0;
  for (const SNP& snp : d.snpvec) top = std::max(top, snp.x_stat);
  std::vector<int> perm = {0, 1, 2, 3, 4, 5, 6};
  int reach = 0, total = 0;
  do {
    float largest = 0;
    for (std::size_t s = 0; s < study.codes.size(); ++s)
      largest = std::max(largest, direct_statistic(study, s, perm));
    reach += largest >= top ? 1 : 0;
    ++total;
  } while (std::next_permutation(perm.begin(), perm.end()));
  ASSERT_EQ(total, 5040);
  const double exact = static_cast<double>(reach) / total;
  ASSERT_GT(exact, 0.05);
  ASSERT_LT(exact, 0.95);  // a p-value the estimate can miss on either side

  d.set_seed(99);
  constexpr int nsim = 20000;
  d.stepDownPval(nsim);
  float smallest = 1;
  for (const SNP& snp : d.snpvec) smallest = std::min(smallest, snp.sim_pval);
  // Binomial Monte Carlo error: within five standard errors.
  EXPECT_NEAR(smallest, exact, 5 * std::sqrt(exact * (1 - exact) / nsim));
}

TEST(CentredGenotypes, CovariatesAreFittedOutOverTheSubjectsWithACall) {
  TempDir dir;
  CompactStudy study;
  study.residuals = {0.5, -1.25, 2.0, -0.75, 1.5, -2.0};
  study.covariates = {{30, 41, 52, 60, 71, 80}, {1, 0, 1, 1, 0, 0}};
  study.codes = {{0, 1, 2, 3, 1, 2}, {2, 2, 2, 2, 2, 2}, {0, 0, 1, 1, 2, 2}};
  SNPData d = load(dir, study, true);
  std::vector<double> x(6);
  for (int s = 0; s < 3; ++s) {
    d.centred_genotypes.centre(s, x.data(), 1);
    const std::vector<int>& codes = study.codes[static_cast<std::size_t>(s)];
    double dot_intercept = 0, dot_age = 0, dot_sex = 0;
    for (std::size_t i = 0; i < 6; ++i) {
      if (codes[i] == 3) {
        EXPECT_EQ(x[i], 0.0);  // a missing call stays with its subject and scores 0
        continue;
      }
      dot_intercept += x[i];
      dot_age += x[i] * study.covariates[0][i];
      dot_sex += x[i] * study.covariates[1][i];
    }
    EXPECT_NEAR(dot_intercept, 0, 1e-12) << s;  // orthogonal to Z: rounding only
    EXPECT_NEAR(dot_age, 0, 1e-9) << s;
    EXPECT_NEAR(dot_sex, 0, 1e-12) << s;
  }
  // The monomorphic SNP has nothing left; x of the third is not g - m (the fit moves it).
  d.centred_genotypes.centre(1, x.data(), 1);
  for (double v : x) EXPECT_NEAR(v, 0, 1e-12);
  d.centred_genotypes.centre(2, x.data(), 1);
  EXPECT_GT(std::fabs(x[0] - (0 - study.mean(2))), 0.01);
}

TEST(CentredGenotypes, NormalEquationsGiveDependentColumnsNoWeight) {
  // Z'Z of a Z whose third column is twice its second.
  const std::vector<double> a = {4, 10, 20, 10, 30, 60, 20, 60, 120};
  const std::vector<double> b = solve_normal_equations(a, {7, 19, 38}, 3);
  // Least squares over a singular system: the third coefficient is 0, the first two solve
  // the leading 2 x 2 system [4 10; 10 30] b = [7 19].
  EXPECT_EQ(b[2], 0.0);
  EXPECT_NEAR(b[0], (7.0 * 30 - 10 * 19) / (4.0 * 30 - 100), 1e-12);
  EXPECT_NEAR(b[1], (4.0 * 19 - 10 * 7) / (4.0 * 30 - 100), 1e-12);
}

TEST(PermutationNull, RefusesScoresWithoutResidualsAndTheMeanReplacement) {
  TempDir dir;
  const std::string text = dir.write("score.txt", "rs1 0.5 -0.5 1\n");
  EXPECT_EXIT(
      {
        SNPData d(text, -999, "zero");
        d.use_permutation_null();
      },
      ::testing::ExitedWithCode(1),
      "^error: .*score.txt holds scores, not the genotypes and residuals that --resample "
      "permutation permutes: make a compact score file with halvorix-prep scores ... --format "
      "compact\n$");
  CompactStudy study = imbalanced_study();
  const std::string compact = dir.write("study.cmp", study.bytes());
  EXPECT_EXIT(
      {
        SNPData d(compact, -999, "mean");
        d.use_permutation_null();
      },
      ::testing::ExitedWithCode(1), "^error: --resample permutation needs --replace zero");
}

TEST(PermutationNull, ACovariateCorrelatedWithTheGenotypesKeepsTheErrorRate) {
  // A covariate c drives three SNPs' genotypes and the trait; given c the genotypes have no
  // effect. Residuals of the trait on (1, c), permuted against the genotypes residualised on
  // (1, c): the family-wise error at 0.05 of 400 such traits, nsim 100, should be the
  // calibrated rate 6 / 101 (23.8 traits; 10 to 40 holds 99.7 % of the binomial).
  TempDir dir;
  std::mt19937 rng(2024);
  std::normal_distribution<double> normal(0, 1);
  constexpr int nsubj = 80, ntraits = 400;
  CompactStudy study;
  std::vector<double> c(nsubj);
  for (double& v : c) v = normal(rng);
  study.covariates = {c};
  study.codes.assign(3, std::vector<int>(nsubj));
  for (int i = 0; i < nsubj; ++i) {
    const double ci = c[static_cast<std::size_t>(i)];
    study.codes[0][static_cast<std::size_t>(i)] = (ci > 0.3) + (ci > 1.2);
    study.codes[1][static_cast<std::size_t>(i)] = ci + 0.5 * normal(rng) > 0.8 ? 1 : 0;
    study.codes[2][static_cast<std::size_t>(i)] = ci < -0.9 ? 2 : ci < 0 ? 1 : 0;
  }
  double c_mean = 0;
  for (double v : c) c_mean += v / nsubj;
  double c_ss = 0;
  for (double v : c) c_ss += (v - c_mean) * (v - c_mean);
  int rejected = 0;
  for (int t = 0; t < ntraits; ++t) {
    std::vector<double> y(nsubj);
    double y_mean = 0, cy = 0;
    for (int i = 0; i < nsubj; ++i) {
      y[static_cast<std::size_t>(i)] = 1.5 * c[static_cast<std::size_t>(i)] + normal(rng);
      y_mean += y[static_cast<std::size_t>(i)] / nsubj;
    }
    for (int i = 0; i < nsubj; ++i)
      cy += (c[static_cast<std::size_t>(i)] - c_mean) * y[static_cast<std::size_t>(i)];
    const double slope = cy / c_ss;
    study.residuals.clear();
    for (int i = 0; i < nsubj; ++i)
      study.residuals.push_back(y[static_cast<std::size_t>(i)] - y_mean -
                                slope * (c[static_cast<std::size_t>(i)] - c_mean));
    SNPData d = load(dir, study, true, "trait" + std::to_string(t) + ".cmp");
    d.set_seed(t + 1);
    d.stepDownPval(100);
    float smallest = 1;
    for (const SNP& snp : d.snpvec) smallest = std::min(smallest, snp.sim_pval);
    rejected += smallest <= 0.05f ? 1 : 0;
  }
  EXPECT_GE(rejected, 10);
  EXPECT_LE(rejected, 40);
}
