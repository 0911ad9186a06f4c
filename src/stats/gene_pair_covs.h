// Null covariances of the mean SNP statistics of gene pairs: 2 * ssq(C) / (m_a * m_b), where C
// = cor(S_a, S_b) correlates the used SNP columns of the two genes. Entry (j, k) of C depends
// on SNP columns j and k alone, so each SNP's part of cor() is formed once per run, and all
// partners of one gene are correlated with it in one pass, bit for bit as cor() gives them.
// A gene's own variance (its correlation matrix as Moments forms it) runs through the same
// sums and finishes as Moments does.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "files/mapped_region.h"
#include "files/score_matrix.h"

/// Floats of running sums (and covariances) that one gene's correlation work holds at once per
/// thread: 32 MB, beyond which a gene is taken in blocks of rows.
constexpr std::size_t kCorrelationBlockFloats = std::size_t{8} << 20;

/// The per-SNP part of cor(): the running deviations of one score column and its sum of
/// squares over (rows - 1), formed by the same float operations in the same order, so that a
/// pair's correlation built from two of these is bit for bit the one cor() gives.
struct SnpDeviation {
  bool ready = false;
  const float* dev = nullptr;  ///< dev[i - 1]: score of row i minus the running mean of rows 0..i-1
  float ss = 0;                ///< sum of squared deviations divided by (rows - 1)
};

/// The deviations of the SNPs of one score matrix, each formed once, the first time a
/// `prepare` asks for it; valid because the score matrix never changes after loading. Each
/// `prepare` puts the SNPs it forms side by side in one anonymous mapping of their size, so
/// forming costs no allocation per SNP, and a slot's pages are first written by the thread
/// that forms it.
class SnpDeviations {
 public:
  SnpDeviations() = default;
  /// A copy starts empty and forms its deviations again on demand: the original's point into
  /// memory that goes when the original does.
  SnpDeviations(const SnpDeviations&) {}
  SnpDeviations& operator=(const SnpDeviations& other);
  SnpDeviations(SnpDeviations&&) = default;
  SnpDeviations& operator=(SnpDeviations&&) = default;
  ~SnpDeviations() = default;

  /// Forms the deviations of `snps` not yet formed, spread over `nthreads` threads: each SNP's
  /// own float operations in its own order, so the thread count changes no bit.
  void prepare(const ScoreMatrix& scores, const std::vector<int>& snps, int nthreads);
  /// Forgets every deviation formed but keeps the memory of the largest `prepare` for the next:
  /// a run that forms its SNPs group by group then writes the same pages again instead of
  /// asking the system for fresh zeroed ones, which costs more than forming them.
  void forget();
  /// A deviation already formed by `prepare`; only reads, so threads may share it.
  const SnpDeviation& formed(int snp) const { return cache_[static_cast<std::size_t>(snp)]; }

 private:
  /// Forms the `count` (at most 16) SNPs snps[0..count) into the slots from `slots` on.
  void form(const ScoreMatrix& scores, const int* snps, int count, float* slots);

  std::vector<SnpDeviation> cache_;
  std::vector<MappedRegion> arenas_;  ///< the slots, one mapping per prepare that formed any
  MappedRegion spare_;                ///< a forgotten arena, reused when large enough
  std::size_t stride_ = 0;            ///< floats from one slot to the next
  int nsubj_ = 0;                     ///< subjects of the score matrix the slots were laid out for
};

/// Sums of squares of the correlations between the SNP columns xs (one gene) and the columns
/// ys, which hold several genes one after the other: segment m is ys[ends[m-1] .. ends[m]).
/// Each segment's sum is the one Matrix::ssq gives for cor() of the gene pair alone, over
/// `nsubj` subjects (at least one). Empty xs give sums of 0. The rows of xs are taken a block
/// at a time, so that the running sums held at once stay near `block_floats` floats (at least
/// one row), whatever the genes' SNP counts; the block changes no bit.
std::vector<float> ssq_of_correlations(const std::vector<const SnpDeviation*>& xs,
                                       const std::vector<const SnpDeviation*>& ys,
                                       const std::vector<std::size_t>& ends, int nsubj,
                                       std::size_t block_floats = kCorrelationBlockFloats);

/// Matrix::ssq of Moments' correlation() of the SNP columns xs (one gene, at least one
/// column) over `nsubj` subjects (at least one), to the bit. A gene too large to hold its
/// whole correlation matrix in `block_floats` floats is taken a block of rows at a time (twice
/// the work, the same bits), so its memory does not grow with the square of its SNPs.
float ssq_of_self_correlations(const std::vector<const SnpDeviation*>& xs, int nsubj,
                               std::size_t block_floats = kCorrelationBlockFloats);

/// Pairs [first, end) of a pair list, all with the same first gene, and their work: the
/// products of their SNP counts (each a sum over the subjects).
struct PairPiece {
  std::size_t first = 0;
  std::size_t end = 0;
  double cost = 0;
};

/// The pairs cut into pieces: each run of consecutive pairs with the same first gene, cut
/// further wherever its work would pass `max_cost` (a piece holds at least one pair).
std::vector<PairPiece> pair_pieces(const std::vector<std::vector<int>>& gene_snps,
                                   const std::vector<std::pair<int, int>>& pairs, double max_cost);

/// Process `rank`'s share of the pairs among `nprocs`: a range [first, end) of the list, the
/// ranges consecutive in rank order, cut between pieces so that their work is about equal.
std::pair<std::size_t, std::size_t> pair_share(const std::vector<std::vector<int>>& gene_snps,
                                               const std::vector<std::pair<int, int>>& pairs,
                                               int rank, int nprocs);

/// Covariances of gene pairs; gene_snps[g] lists the rows of gene g's used SNPs, and both
/// genes of every pair must have one (the caller checks), with at least one subject. The
/// pieces of consecutive pairs with the same first gene are computed together, handed to
/// `nthreads` threads largest first so that no thread is left with a long piece at the end;
/// the values do not depend on the thread count or the pieces.
std::vector<float> gene_pair_covs(const ScoreMatrix& scores, SnpDeviations& deviations,
                                  const std::vector<std::vector<int>>& gene_snps,
                                  const std::vector<std::pair<int, int>>& pairs, int nthreads);

/// Null variances of the mean SNP statistics of single genes: for each of gene_snps, 0
/// without SNPs, 2 with one, else 2 * ssq(R) / m^2 where R is Moments' correlation() of the
/// gene's m used SNP columns, to the bit. Genes of two SNPs or more need a subject (the
/// caller checks). Shared among `nthreads` threads, largest genes first; the values do not
/// depend on the count.
std::vector<float> gene_self_covs(const ScoreMatrix& scores, SnpDeviations& deviations,
                                  const std::vector<std::vector<int>>& gene_snps, int nthreads);
