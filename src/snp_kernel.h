// The simulation kernel of every level: SNP statistics of several replicates at once, computed
// across SNPs in vector lanes. Each lane keeps its own SNP's weighted sum in subject order, with
// the same roundings as the one-SNP loop (double product rounded to float, float sum), so the
// results are bit-identical to snp_statistic_weighted whatever the instruction set.
//
// A replicate is (weighted sum)^2 / (observed sum of squares). Dividing by the replicate's own
// weighted sum of squares instead would make it self-normalised: its tail is lighter than the
// observed statistic's, and the step-down p-values come out too small.
#pragma once

#include <vector>

/// A SNP whose sum of squares is not above this has statistic 0, observed and simulated.
constexpr float kSsqTolerance = 1e-7f;

/// The sum of squares of one row of scores, in float, in subject order: the denominator of
/// the SNP's observed statistic and of every one of its replicates.
float snp_sum_of_squares(const float* scores, int nsubj);

/// Number of SNPs in one vector block of the subject-major score copy.
constexpr int kSnpBlock = 16;
/// Largest number of replicates computed in one pass over the scores.
constexpr int kMaxReplicateBatch = 32;

/// Score copy laid out for the kernel: for each block of kSnpBlock SNPs, nsubj rows of
/// kSnpBlock scores (subject-major inside the block); lanes past the last SNP hold 0.
struct BlockedScores {
  int nsnp = 0;
  int nsubj = 0;
  int nblocks = 0;
  std::vector<float> values;
  std::vector<float> observed_ssq;  ///< snp_sum_of_squares of each SNP, in SNP order

  /// Copies `rows` (one pointer per SNP to its nsubj scores) into the blocked layout.
  void assign(const std::vector<const float*>& rows, int nsubject);
};

/// Instruction sets the kernel is built for; the widest the processor has is used.
enum class KernelPath { baseline, avx2, avx512 };
/// The path chosen for this processor.
KernelPath kernel_path();

/// As below, with the blocks shared among `nthreads` threads (the results do not depend on it).
void simulate_snp_stats(const BlockedScores& scores, const double* weights, int nrep, float* out,
                        KernelPath path, int nthreads);

/// Threads for one kernel call: every hardware thread, but no more than leaves each about two
/// million cells (a fraction of a millisecond), so that small inputs do not pay for threads.
int kernel_threads(const BlockedScores& scores, int nrep);

/// Statistics of `nrep` replicates (1..kMaxReplicateBatch): weights[r * nsubj + j] is subject
/// j's weight in replicate r; out[r * nsnp + k] receives SNP k's statistic of replicate r.
void simulate_snp_stats(const BlockedScores& scores, const double* weights, int nrep, float* out);
