// The simulation kernel of every level: SNP statistics of several replicates at once, computed
// across SNPs in vector lanes. Each lane keeps its own SNP's weighted sum in subject order, with
// the same roundings as the one-SNP loop (double product rounded to float, float sum), so the
// results are bit-identical to snp_statistic_weighted whatever the instruction set.
//
// A replicate is (weighted sum)^2 / (observed sum of squares). Dividing by the replicate's own
// weighted sum of squares instead would make it self-normalised: its tail is lighter than the
// observed statistic's, and the step-down p-values come out too small.
#pragma once

#include <functional>
#include <vector>

#include "conventions.h"

/// The sum of squares of one row of scores, in float, in subject order: the denominator of
/// the SNP's observed statistic and of every one of its replicates.
float snp_sum_of_squares(const float* scores, int nsubj);

/// Number of SNPs in one vector block of the kernel's input.
constexpr int kSnpBlock = 16;
/// Replicates that one pass over the scores computes at least, memory permitting.
constexpr int kMaxReplicateBatch = 32;

/// The kernel's input, read block by block: the scores are never copied whole. For each block
/// of kSnpBlock SNPs, `fill_block` writes nsubj rows of kSnpBlock scores (subject-major, lanes
/// past the last SNP 0) into a small buffer of the thread that computes the block; so a block
/// is read once per pass, whatever the number of replicates, straight from where the scores
/// are (a mapped file, or the rows read from text).
struct BlockedScores {
  int nsnp = 0;
  int nsubj = 0;
  int nblocks = 0;
  std::function<void(int block, float* out)> fill_block;
  std::vector<float> observed_sum;  ///< sum of each SNP's scores, in subject order
  std::vector<float> observed_ssq;  ///< snp_sum_of_squares of each SNP, in SNP order

  /// Fills observed_sum and observed_ssq in one pass over the blocks, each lane summing its
  /// own SNP in subject order (the same sums as the one-SNP loops).
  void compute_observed_sums(int nthreads);

  /// Reads `rows` (one pointer per SNP to its nsubj scores, which must outlive this) in place.
  void assign(const std::vector<const float*>& rows, int nsubject);
};

/// Writes `nrows` (at most kSnpBlock) rows of nsubj scores as one block: subject-major, lanes
/// past `nrows` 0.
void transpose_block(const float* const* rows, int nrows, int nsubj, float* out);

/// Instruction sets the kernel is built for; the widest the processor has is used. The vector
/// paths exist on x86-64 only; elsewhere every path runs the baseline code.
enum class KernelPath { baseline, avx2, avx512 };
/// Whether this build, on this processor, has `path` of its own.
bool kernel_path_supported(KernelPath path);
/// The path chosen for this processor.
KernelPath kernel_path();

/// As below, with the blocks shared among `nthreads` threads (the results do not depend on it).
void simulate_snp_stats(const BlockedScores& scores, const double* weights, int nrep, float* out,
                        KernelPath path, int nthreads);

/// Threads for one kernel call: those of worker_threads(), but no more than leaves each about
/// two million cells (a fraction of a millisecond), so that small inputs do not pay for threads.
int kernel_threads(const BlockedScores& scores, int nrep);

/// Statistics of `nrep` replicates (any number): weights[r * nsubj + j] is subject j's weight
/// in replicate r; out[r * nsnp + k] receives SNP k's statistic of replicate r.
void simulate_snp_stats(const BlockedScores& scores, const double* weights, int nrep, float* out);
