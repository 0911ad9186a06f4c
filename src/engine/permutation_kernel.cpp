#include "engine/permutation_kernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "engine/parallel_for.h"
#include "engine/vector_paths.h"

std::uint32_t bounded_draw(MTRand& rng, std::uint32_t bound) {
  constexpr std::uint64_t kOutputs = std::uint64_t{1} << 32;
  const std::uint64_t accepted = kOutputs - kOutputs % bound;  // a multiple of bound
  std::uint64_t u;
  do {
    u = rng.randInt();
  } while (u >= accepted);
  return static_cast<std::uint32_t>(u % bound);
}

void draw_permutation(MTRand& rng, int n, int* perm) {
  for (int i = 0; i < n; ++i) perm[i] = i;
  for (int i = n - 1; i > 0; --i)
    std::swap(perm[i], perm[bounded_draw(rng, static_cast<std::uint32_t>(i) + 1)]);
}

void draw_permuted_residuals(MTRand& rng, const double* residuals, int n, std::vector<int>& scratch,
                             double* out) {
  scratch.resize(static_cast<std::size_t>(n));
  draw_permutation(rng, n, scratch.data());
  for (int i = 0; i < n; ++i) out[i] = residuals[scratch[static_cast<std::size_t>(i)]];
}

namespace {

/// Vector types for W float lanes: the full float and int vectors, and half-width float and
/// double vectors (W/2 lanes each) for the products that are formed in double.
template <int W>
struct Lanes {
  typedef float vf __attribute__((vector_size(4 * W)));
  typedef int vi __attribute__((vector_size(4 * W)));
  typedef float vhf __attribute__((vector_size(2 * W)));
  typedef double vhd __attribute__((vector_size(4 * W)));
};

template <int W>
__attribute__((always_inline)) inline typename Lanes<W>::vf concat(typename Lanes<W>::vhf lo,
                                                                   typename Lanes<W>::vhf hi) {
  if constexpr (W == 16)
    return __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  else if constexpr (W == 8)
    return __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 4, 5, 6, 7);
  else
    return __builtin_shufflevector(lo, hi, 0, 1, 2, 3);
}

/// What the missing test compares with: the code and the float just above the tolerance.
struct MissingTest {
  float code = 0;
  float below = 0;
};

/// Sums and sums of squares of one block's lanes lane0 .. lane0+W-1 under NREP residual
/// vectors. Each score is the float nearest x * r (a -0 is left as it is: added to a float sum
/// that starts at +0 it gives the bits +0 gives, and its square is +0). With TEST, a score
/// within the missing tolerance of the code reads as 0, as the observed scores' replacement.
template <int NREP, int W, bool TEST>
__attribute__((always_inline)) inline void permuted_lanes(const double* block, int nsubj, int lane0,
                                                          const double* residuals, MissingTest test,
                                                          float* sum_out, float* ssq_out) {
  typedef typename Lanes<W>::vf vf;
  typedef typename Lanes<W>::vi vi;
  typedef typename Lanes<W>::vhf vhf;
  typedef typename Lanes<W>::vhd vhd;
  vf sum[NREP], ssq[NREP];
#pragma GCC unroll 16
  for (int r = 0; r < NREP; ++r) sum[r] = ssq[r] = vf{};
  for (int j = 0; j < nsubj; ++j) {
    vhd x_lo, x_hi;
    const double* row = block + static_cast<long>(j) * kSnpBlock + lane0;
    std::memcpy(&x_lo, row, sizeof x_lo);
    std::memcpy(&x_hi, row + W / 2, sizeof x_hi);
#pragma GCC unroll 16
    for (int r = 0; r < NREP; ++r) {
      const double w = residuals[static_cast<long>(r) * nsubj + j];
      vf y =
          concat<W>(__builtin_convertvector(x_lo * w, vhf), __builtin_convertvector(x_hi * w, vhf));
      if constexpr (TEST) {
        vf distance = y - test.code;
        vi bits;
        std::memcpy(&bits, &distance, sizeof bits);
        bits &= 0x7fffffff;
        std::memcpy(&distance, &bits, sizeof bits);
        const vi missing = distance < test.below;
        std::memcpy(&bits, &y, sizeof bits);
        bits &= ~missing;
        std::memcpy(&y, &bits, sizeof bits);
      }
      sum[r] += y;
      ssq[r] += y * y;
    }
  }
  for (int r = 0; r < NREP; ++r) {
    std::memcpy(sum_out + static_cast<std::ptrdiff_t>(r) * kSnpBlock + lane0, &sum[r],
                sizeof sum[r]);
    std::memcpy(ssq_out + static_cast<std::ptrdiff_t>(r) * kSnpBlock + lane0, &ssq[r],
                sizeof ssq[r]);
  }
}

/// permuted_lanes with the replicate count n (1..N) a compile-time constant, so that the
/// accumulators stay in registers whatever the size of the last chunk.
template <int W, int N, bool TEST>
__attribute__((always_inline)) inline void permuted_lanes_n(int n, const double* block, int nsubj,
                                                            int lane0, const double* residuals,
                                                            MissingTest test, float* sum_out,
                                                            float* ssq_out) {
  if constexpr (N > 1) {
    if (n < N)
      return permuted_lanes_n<W, N - 1, TEST>(n, block, nsubj, lane0, residuals, test, sum_out,
                                              ssq_out);
  }
  permuted_lanes<N, W, TEST>(block, nsubj, lane0, residuals, test, sum_out, ssq_out);
}

/// Where a block's results go: statistics, or the sums themselves.
struct BlockOutput {
  float* stats = nullptr;
  float* sum = nullptr;
  float* ssq = nullptr;
};

/// One block (already filled), every replicate in chunks of CHUNK, W lanes at a time.
template <int W, int CHUNK>
__attribute__((always_inline)) inline void one_block(const CentredBlocks& blocks,
                                                     const double* block, int b, bool test_missing,
                                                     MissingTest test, const double* residuals,
                                                     int nrep, BlockOutput out) {
  float sum[CHUNK * kSnpBlock], ssq[CHUNK * kSnpBlock];
  const int lanes = std::min(kSnpBlock, blocks.nsnp - b * kSnpBlock);
  for (int r0 = 0; r0 < nrep; r0 += CHUNK) {
    const int n = nrep - r0 < CHUNK ? nrep - r0 : CHUNK;
    const double* w = residuals + static_cast<long>(r0) * blocks.nsubj;
    for (int lane0 = 0; lane0 < kSnpBlock; lane0 += W) {
      if (test_missing)
        permuted_lanes_n<W, CHUNK, true>(n, block, blocks.nsubj, lane0, w, test, sum, ssq);
      else
        permuted_lanes_n<W, CHUNK, false>(n, block, blocks.nsubj, lane0, w, test, sum, ssq);
    }
    for (int lane = 0; lane < lanes; ++lane) {
      const int k = b * kSnpBlock + lane;
      for (int r = 0; r < n; ++r) {
        const float sm = sum[r * kSnpBlock + lane], sq = ssq[r * kSnpBlock + lane];
        const long at = static_cast<long>(r0 + r) * blocks.nsnp + k;
        if (out.stats != nullptr) {
          out.stats[at] = sq > kSsqTolerance ? (sm * sm) / sq : 0.0f;
        } else {
          out.sum[at] = sm;
          out.ssq[at] = sq;
        }
      }
    }
  }
}

#if HALVORIX_X86_PATHS
__attribute__((target("avx512f"))) void run_avx512(const CentredBlocks& blocks, const double* block,
                                                   int b, bool test_missing, MissingTest test,
                                                   const double* residuals, int nrep,
                                                   BlockOutput out) {
  one_block<16, 8>(blocks, block, b, test_missing, test, residuals, nrep, out);
}

__attribute__((target("avx2"))) void run_avx2(const CentredBlocks& blocks, const double* block,
                                              int b, bool test_missing, MissingTest test,
                                              const double* residuals, int nrep, BlockOutput out) {
  one_block<8, 4>(blocks, block, b, test_missing, test, residuals, nrep, out);
}
#endif

void run_baseline(const CentredBlocks& blocks, const double* block, int b, bool test_missing,
                  MissingTest test, const double* residuals, int nrep, BlockOutput out) {
  one_block<4, 4>(blocks, block, b, test_missing, test, residuals, nrep, out);
}

void run_blocks(const CentredBlocks& blocks, const double* residuals, int nrep, BlockOutput out,
                KernelPath path, int nthreads) {
  const MissingTest test{blocks.missing_code, blocks.missing_bound};
  parallel_for(blocks.nblocks, nthreads, [&](int b) {
    thread_local std::vector<double> block;
    block.resize(static_cast<std::size_t>(blocks.nsubj) * kSnpBlock);
    const double largest_centred = blocks.fill_block(b, block.data());
    // A score is at most |x| |r| (and a rounding) in magnitude: far from the code, no score of
    // the block can be taken for it, and the test is left out of the inner loop.
    const double largest_score = largest_centred * blocks.largest_residual;
    const bool test_missing =
        !(std::fabs(static_cast<double>(blocks.missing_code)) > largest_score * 1.001 + 1e-3);
    switch (path) {
#if HALVORIX_X86_PATHS
      case KernelPath::avx512:
        run_avx512(blocks, block.data(), b, test_missing, test, residuals, nrep, out);
        break;
      case KernelPath::avx2:
        run_avx2(blocks, block.data(), b, test_missing, test, residuals, nrep, out);
        break;
#endif
      default:
        run_baseline(blocks, block.data(), b, test_missing, test, residuals, nrep, out);
        break;
    }
  });
}

int permuted_threads(const CentredBlocks& blocks, int nrep) {
  const double cells = static_cast<double>(blocks.nblocks) * kSnpBlock * blocks.nsubj * nrep;
  return std::min(worker_threads(), 1 + static_cast<int>(cells / 2e6));
}

}  // namespace

void permuted_snp_sums(const CentredBlocks& blocks, const double* residuals, int nrep, float* sum,
                       float* ssq, KernelPath path, int nthreads) {
  BlockOutput out;
  out.sum = sum;
  out.ssq = ssq;
  run_blocks(blocks, residuals, nrep, out, path, nthreads);
}

void permuted_snp_stats(const CentredBlocks& blocks, const double* residuals, int nrep, float* out,
                        KernelPath path, int nthreads) {
  BlockOutput sink;
  sink.stats = out;
  run_blocks(blocks, residuals, nrep, sink, path, nthreads);
}

void permuted_snp_stats(const CentredBlocks& blocks, const double* residuals, int nrep,
                        float* out) {
  permuted_snp_stats(blocks, residuals, nrep, out, kernel_path(), permuted_threads(blocks, nrep));
}
