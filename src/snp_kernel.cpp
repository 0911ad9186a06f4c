#include "snp_kernel.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <thread>

namespace {

/// Vector types for W float lanes: the full float vector, and half-width float and double
/// vectors (W/2 lanes each) for the products that are formed in double.
template <int W>
struct Lanes;
template <>
struct Lanes<16> {
  typedef float vf __attribute__((vector_size(64)));
  typedef float vhf __attribute__((vector_size(32)));
  typedef double vhd __attribute__((vector_size(64)));
  static vf concat(vhf lo, vhf hi) {
    return __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  }
};
template <>
struct Lanes<8> {
  typedef float vf __attribute__((vector_size(32)));
  typedef float vhf __attribute__((vector_size(16)));
  typedef double vhd __attribute__((vector_size(32)));
  static vf concat(vhf lo, vhf hi) {
    return __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 4, 5, 6, 7);
  }
};
template <>
struct Lanes<4> {
  typedef float vf __attribute__((vector_size(16)));
  typedef float vhf __attribute__((vector_size(8)));
  typedef double vhd __attribute__((vector_size(16)));
  static vf concat(vhf lo, vhf hi) { return __builtin_shufflevector(lo, hi, 0, 1, 2, 3); }
};

/// Statistics of one block of kSnpBlock SNPs for NREP replicates, W lanes at a time. The
/// accumulators stay in registers over the whole subject loop, and each score row is
/// converted to double once for all replicates of the pass. W and NREP are chosen per
/// instruction set so that the accumulators fit the register file.
template <int NREP, int W>
__attribute__((always_inline)) inline void lanes_stats(const float* block, int nsubj, int lane0,
                                                       const double* weights, int nsubj_stride,
                                                       float* sum_out, float* ssq_out) {
  typedef typename Lanes<W>::vf vf;
  typedef typename Lanes<W>::vhf vhf;
  typedef typename Lanes<W>::vhd vhd;
  vf sum[NREP], ssq[NREP];
#pragma GCC unroll 8
  for (int r = 0; r < NREP; ++r) {
    sum[r] = vf{};
    ssq[r] = vf{};
  }
  for (int j = 0; j < nsubj; ++j) {
    vhf x_lo, x_hi;
    const float* row = block + static_cast<long>(j) * kSnpBlock + lane0;
    std::memcpy(&x_lo, row, sizeof x_lo);
    std::memcpy(&x_hi, row + W / 2, sizeof x_hi);
    const vhd xd_lo = __builtin_convertvector(x_lo, vhd);
    const vhd xd_hi = __builtin_convertvector(x_hi, vhd);
#pragma GCC unroll 8
    for (int r = 0; r < NREP; ++r) {
      const double w = weights[static_cast<long>(r) * nsubj_stride + j];
      const vhf y_lo = __builtin_convertvector(xd_lo * w, vhf);
      const vhf y_hi = __builtin_convertvector(xd_hi * w, vhf);
      const vf y = Lanes<W>::concat(y_lo, y_hi);
      sum[r] += y;
      ssq[r] += y * y;
    }
  }
  for (int r = 0; r < NREP; ++r) {
    std::memcpy(sum_out + r * kSnpBlock + lane0, &sum[r], sizeof sum[r]);
    std::memcpy(ssq_out + r * kSnpBlock + lane0, &ssq[r], sizeof ssq[r]);
  }
}

/// Blocks [first_block, end_block), replicates in chunks of CHUNK, W lanes at a time.
template <int W, int CHUNK>
__attribute__((always_inline)) inline void all_blocks(const BlockedScores& scores,
                                                      const double* weights, int nrep, float* out,
                                                      int first_block, int end_block) {
  float sum[kMaxReplicateBatch * kSnpBlock], ssq[kMaxReplicateBatch * kSnpBlock];
  for (int b = first_block; b < end_block; ++b) {
    const float* block = scores.values.data() + static_cast<long>(b) * scores.nsubj * kSnpBlock;
    for (int r0 = 0; r0 < nrep; r0 += CHUNK) {
      const int n = nrep - r0 < CHUNK ? nrep - r0 : CHUNK;
      const double* w = weights + static_cast<long>(r0) * scores.nsubj;
      float* s = sum + r0 * kSnpBlock;
      float* q = ssq + r0 * kSnpBlock;
      for (int lane0 = 0; lane0 < kSnpBlock; lane0 += W) {
        switch (n) {  // a compile-time replicate count keeps the accumulators in registers
          case 1:
            lanes_stats<1, W>(block, scores.nsubj, lane0, w, scores.nsubj, s, q);
            break;
          case 2:
            lanes_stats<2, W>(block, scores.nsubj, lane0, w, scores.nsubj, s, q);
            break;
          case 3:
            lanes_stats<(CHUNK >= 3 ? 3 : 1), W>(block, scores.nsubj, lane0, w, scores.nsubj, s, q);
            break;
          case 4:
            lanes_stats<(CHUNK >= 4 ? 4 : 1), W>(block, scores.nsubj, lane0, w, scores.nsubj, s, q);
            break;
          case 5:
            lanes_stats<(CHUNK >= 5 ? 5 : 1), W>(block, scores.nsubj, lane0, w, scores.nsubj, s, q);
            break;
          case 6:
            lanes_stats<(CHUNK >= 6 ? 6 : 1), W>(block, scores.nsubj, lane0, w, scores.nsubj, s, q);
            break;
          case 7:
            lanes_stats<(CHUNK >= 7 ? 7 : 1), W>(block, scores.nsubj, lane0, w, scores.nsubj, s, q);
            break;
          default:
            lanes_stats<(CHUNK >= 8 ? 8 : 1), W>(block, scores.nsubj, lane0, w, scores.nsubj, s, q);
            break;
        }
      }
    }
    for (int r = 0; r < nrep; ++r) {
      for (int lane = 0; lane < kSnpBlock; ++lane) {
        const int k = b * kSnpBlock + lane;
        if (k >= scores.nsnp) break;
        const float sm = sum[r * kSnpBlock + lane], sq = ssq[r * kSnpBlock + lane];
        out[static_cast<long>(r) * scores.nsnp + k] = sq > 1e-7f ? (sm * sm) / sq : 0.0f;
      }
    }
  }
}

__attribute__((target("avx512f"))) void run_avx512(const BlockedScores& scores,
                                                   const double* weights, int nrep, float* out,
                                                   int first_block, int end_block) {
  all_blocks<16, 8>(scores, weights, nrep, out, first_block, end_block);
}

__attribute__((target("avx2"))) void run_avx2(const BlockedScores& scores, const double* weights,
                                              int nrep, float* out, int first_block,
                                              int end_block) {
  all_blocks<8, 4>(scores, weights, nrep, out, first_block, end_block);
}

void run_baseline(const BlockedScores& scores, const double* weights, int nrep, float* out,
                  int first_block, int end_block) {
  all_blocks<4, 2>(scores, weights, nrep, out, first_block, end_block);
}
}  // namespace

void BlockedScores::assign(const std::vector<const float*>& rows, int nsubject) {
  nsnp = static_cast<int>(rows.size());
  nsubj = nsubject;
  nblocks = (nsnp + kSnpBlock - 1) / kSnpBlock;
  values.assign(static_cast<std::size_t>(nblocks) * static_cast<std::size_t>(nsubj) * kSnpBlock,
                0.0f);
  for (int k = 0; k < nsnp; ++k) {
    float* dst =
        values.data() + static_cast<long>(k / kSnpBlock) * nsubj * kSnpBlock + k % kSnpBlock;
    for (int j = 0; j < nsubj; ++j)
      dst[static_cast<long>(j) * kSnpBlock] = rows[static_cast<std::size_t>(k)][j];
  }
}

KernelPath kernel_path() {
  static const KernelPath path = __builtin_cpu_supports("avx512f") ? KernelPath::avx512
                                 : __builtin_cpu_supports("avx2")  ? KernelPath::avx2
                                                                   : KernelPath::baseline;
  return path;
}

namespace {
void run_path(KernelPath path, const BlockedScores& scores, const double* weights, int nrep,
              float* out, int first_block, int end_block) {
  switch (path) {
    case KernelPath::avx512:
      run_avx512(scores, weights, nrep, out, first_block, end_block);
      break;
    case KernelPath::avx2:
      run_avx2(scores, weights, nrep, out, first_block, end_block);
      break;
    default:
      run_baseline(scores, weights, nrep, out, first_block, end_block);
      break;
  }
}
}  // namespace

void simulate_snp_stats(const BlockedScores& scores, const double* weights, int nrep, float* out,
                        KernelPath path, int nthreads) {
  // Blocks are independent and every lane keeps its own sums, so how the blocks are shared
  // between threads cannot change a result.
  const int parts = std::max(1, std::min(nthreads, scores.nblocks));
  std::vector<std::thread> helpers;
  helpers.reserve(static_cast<std::size_t>(parts - 1));
  for (int t = 1; t < parts; ++t) {
    const int first = scores.nblocks * t / parts, end = scores.nblocks * (t + 1) / parts;
    helpers.emplace_back(run_path, path, std::cref(scores), weights, nrep, out, first, end);
  }
  run_path(path, scores, weights, nrep, out, 0, scores.nblocks / parts);
  for (std::thread& helper : helpers) helper.join();
}

void simulate_snp_stats(const BlockedScores& scores, const double* weights, int nrep, float* out) {
  simulate_snp_stats(scores, weights, nrep, out, kernel_path(), kernel_threads(scores, nrep));
}

int kernel_threads(const BlockedScores& scores, int nrep) {
  static const int hardware = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const double cells = static_cast<double>(scores.nblocks) * kSnpBlock * scores.nsubj * nrep;
  const int by_work = 1 + static_cast<int>(cells / 2e6);
  return std::min(hardware, by_work);
}
