// The permutation null: one uniformly random permutation of the subjects per replicate, and the
// kernel that recomputes every SNP's statistic with the residuals permuted. A replicate's score
// of subject i is the float nearest x_i * r_pi(i) (x the SNP's centred genotype, in double), so
// the identity permutation gives the observed scores to the bit; the statistic is
// (sum of scores)^2 / (sum of their squares), both sums in float, in subject order, the
// denominator the replicate's own: which subjects carry which residuals is what permutation
// varies, and the sum of squares with them.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/MersenneTwister.h"
#include "engine/snp_kernel.h"

/// Uniform in [0, bound) (bound at least 1) from 32-bit outputs of `rng`: an output at or
/// above the largest multiple of `bound` below 2^32 is rejected and drawn again, the rest are
/// taken modulo `bound`. The number of outputs drawn depends on the outputs.
std::uint32_t bounded_draw(MTRand& rng, std::uint32_t bound);

/// Fills perm[0..n) with a uniformly random permutation of 0..n-1: the identity, shuffled by
/// Fisher-Yates from the last position down (position i swaps with bounded_draw(rng, i + 1)).
void draw_permutation(MTRand& rng, int n, int* perm);

/// One replicate's residuals: out[i] = residuals[perm[i]], subject i's residual under perm,
/// with perm drawn by draw_permutation (scratch holds it).
void draw_permuted_residuals(MTRand& rng, const double* residuals, int n, std::vector<int>& scratch,
                             double* out);

/// The kernel's input under permutation, read block by block as BlockedScores is: for each
/// block of kSnpBlock SNPs, `fill_block` writes nsubj rows of kSnpBlock centred genotypes in
/// double (subject-major; 0 for a missing call and for lanes past the last SNP) and returns the
/// largest magnitude it wrote or a bound on it.
struct CentredBlocks {
  int nsnp = 0;
  int nsubj = 0;
  int nblocks = 0;
  std::function<double(int block, double* out)> fill_block;
  /// The missing code, and the largest magnitude of a residual: a score that could come within
  /// the missing tolerance of the code is read as missing (0), as the observed scores are.
  float missing_code = -999;
  float missing_bound = 1e-6f;  ///< a score is missing when |score - code| is below this
  double largest_residual = 0;
};

/// Sums of scores and of their squares of every SNP under `nrep` residual vectors
/// (residuals[r * nsubj + i] is subject i's residual in replicate r): sum[r * nsnp + k] and
/// ssq[r * nsnp + k]. With the file's residuals in subject order these are the observed sums.
void permuted_snp_sums(const CentredBlocks& blocks, const double* residuals, int nrep, float* sum,
                       float* ssq, KernelPath path, int nthreads);

/// Statistics of `nrep` permutation replicates: out[r * nsnp + k] = sum^2 / ssq of SNP k in
/// replicate r (0 when ssq is not above kSsqTolerance), as the observed statistic is formed.
void permuted_snp_stats(const CentredBlocks& blocks, const double* residuals, int nrep, float* out,
                        KernelPath path, int nthreads);
/// The same on the processor's widest path and threads by the size of the work.
void permuted_snp_stats(const CentredBlocks& blocks, const double* residuals, int nrep, float* out);
