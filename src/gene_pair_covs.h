// Null covariances of the mean SNP statistics of gene pairs: 2 * ssq(C) / (m_a * m_b), where C
// = cor(S_a, S_b) correlates the used SNP columns of the two genes. Entry (j, k) of C depends
// on SNP columns j and k alone, so each SNP's part of cor() is formed once per run, and all
// partners of one gene are correlated with it in one pass, bit for bit as cor() gives them.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "score_matrix.h"

/// The per-SNP part of cor(): the running deviations of one score column and its sum of
/// squares over (rows - 1), formed by the same float operations in the same order, so that a
/// pair's correlation built from two of these is bit for bit the one cor() gives.
struct SnpDeviation {
  bool ready = false;
  std::vector<float> dev;  ///< dev[i - 1]: score of row i minus the running mean of rows 0..i-1
  float ss = 0;            ///< sum of squared deviations divided by (rows - 1)
};

/// The deviations of the SNPs of one score matrix, each formed the first time it is asked
/// for; valid because the score matrix never changes after loading.
class SnpDeviations {
 public:
  const SnpDeviation& of(const ScoreMatrix& scores, int snp);
  /// Forms the deviations of `snps` not yet formed, spread over `nthreads` threads: each SNP's
  /// own float operations in its own order, so the thread count changes no bit.
  void prepare(const ScoreMatrix& scores, const std::vector<int>& snps, int nthreads);
  /// A deviation already formed (by `of` or `prepare`); only reads, so threads may share it.
  const SnpDeviation& formed(int snp) const { return cache_[static_cast<std::size_t>(snp)]; }

 private:
  std::vector<SnpDeviation> cache_;
};

/// Sums of squares of the correlations between the SNP columns xs (one gene) and the columns
/// ys, which hold several genes one after the other: segment m is ys[ends[m-1] .. ends[m]).
/// Each segment's sum is the one Matrix::ssq gives for cor() of the gene pair alone. `dm` is
/// the number of subjects less one. Empty xs give sums of 0.
std::vector<float> ssq_of_correlations(const std::vector<const SnpDeviation*>& xs,
                                       const std::vector<const SnpDeviation*>& ys,
                                       const std::vector<std::size_t>& ends, float dm);

/// Covariances of gene pairs; gene_snps[g] lists the rows of gene g's used SNPs, and both
/// genes of every pair must have one (the caller checks), with at least one subject. Runs of
/// consecutive pairs with the same first gene are computed together, the runs shared among
/// `nthreads` threads; the values do not depend on the thread count.
std::vector<float> gene_pair_covs(const ScoreMatrix& scores, SnpDeviations& deviations,
                                  const std::vector<std::vector<int>>& gene_snps,
                                  const std::vector<std::pair<int, int>>& pairs, int nthreads);
