#include "snp_kernel.h"

#include <cstring>

namespace {
typedef float v16f __attribute__((vector_size(64)));
typedef float v8f __attribute__((vector_size(32)));
typedef double v8d __attribute__((vector_size(64)));

inline v16f load16(const float* p) {
  v16f v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

/// One block of kSnpBlock SNPs for NREP replicates. The accumulators stay in registers over
/// the whole subject loop, and each score row is converted to double once for all replicates.
template <int NREP>
__attribute__((always_inline)) inline void block_stats(const float* block, int nsubj,
                                                       const double* weights, v16f* sum,
                                                       v16f* ssq) {
  for (int r = 0; r < NREP; ++r) {
    sum[r] = v16f{};
    ssq[r] = v16f{};
  }
  for (int j = 0; j < nsubj; ++j) {
    const v16f x = load16(block + static_cast<long>(j) * kSnpBlock);
    const v8f x_lo = __builtin_shufflevector(x, x, 0, 1, 2, 3, 4, 5, 6, 7);
    const v8f x_hi = __builtin_shufflevector(x, x, 8, 9, 10, 11, 12, 13, 14, 15);
    const v8d xd_lo = __builtin_convertvector(x_lo, v8d);
    const v8d xd_hi = __builtin_convertvector(x_hi, v8d);
    for (int r = 0; r < NREP; ++r) {
      const double w = weights[static_cast<long>(r) * nsubj + j];
      const v8f y_lo = __builtin_convertvector(xd_lo * w, v8f);
      const v8f y_hi = __builtin_convertvector(xd_hi * w, v8f);
      const v16f y = __builtin_shufflevector(y_lo, y_hi, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11,
                                             12, 13, 14, 15);
      sum[r] += y;
      ssq[r] += y * y;
    }
  }
}

template <int NREP>
__attribute__((target_clones("avx512f", "avx2", "default"))) void run_blocks(
    const BlockedScores& scores, const double* weights, float* out) {
  v16f sum[NREP], ssq[NREP];
  for (int b = 0; b < scores.nblocks; ++b) {
    const float* block = scores.values.data() + static_cast<long>(b) * scores.nsubj * kSnpBlock;
    block_stats<NREP>(block, scores.nsubj, weights, sum, ssq);
    for (int r = 0; r < NREP; ++r) {
      for (int lane = 0; lane < kSnpBlock; ++lane) {
        const int k = b * kSnpBlock + lane;
        if (k >= scores.nsnp) break;
        const float s = sum[r][lane], q = ssq[r][lane];
        out[static_cast<long>(r) * scores.nsnp + k] = q > 1e-7f ? (s * s) / q : 0.0f;
      }
    }
  }
}
}  // namespace

void BlockedScores::assign(const std::vector<const float*>& rows, int nsubject) {
  nsnp = static_cast<int>(rows.size());
  nsubj = nsubject;
  nblocks = (nsnp + kSnpBlock - 1) / kSnpBlock;
  values.assign(static_cast<std::size_t>(nblocks) * static_cast<std::size_t>(nsubj) * kSnpBlock,
                0.0f);
  for (int k = 0; k < nsnp; ++k) {
    float* dst = values.data() + static_cast<long>(k / kSnpBlock) * nsubj * kSnpBlock + k % kSnpBlock;
    for (int j = 0; j < nsubj; ++j) dst[static_cast<long>(j) * kSnpBlock] = rows[static_cast<std::size_t>(k)][j];
  }
}

void simulate_snp_stats(const BlockedScores& scores, const double* weights, int nrep, float* out) {
  switch (nrep) {
    case 1: run_blocks<1>(scores, weights, out); break;
    case 2: run_blocks<2>(scores, weights, out); break;
    case 3: run_blocks<3>(scores, weights, out); break;
    case 4: run_blocks<4>(scores, weights, out); break;
    case 5: run_blocks<5>(scores, weights, out); break;
    case 6: run_blocks<6>(scores, weights, out); break;
    case 7: run_blocks<7>(scores, weights, out); break;
    default: run_blocks<8>(scores, weights, out); break;
  }
}
