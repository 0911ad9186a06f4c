// The simulation loop of every level: one replicate redraws a weight per subject and
// recomputes every used SNP's statistic. Throughput is in SNP-subject cells per second
// (cells = SNPs x subjects x replicates). The reference loop is the literal one-SNP-at-a-time
// computation; the fast path batches replicates and vectorises across SNPs, bit-identically.
#include <benchmark/benchmark.h>

#include "bench_data.h"
#include "engine/permutation_kernel.h"
#include "engine/snp_kernel.h"
#include "engine/vector_paths.h"

namespace {
void set_cells_counter(benchmark::State& state) {
  state.counters["cells/s"] =
      benchmark::Counter(static_cast<double>(state.range(0)) * static_cast<double>(state.range(1)) *
                             static_cast<double>(state.range(2)),
                         benchmark::Counter::kIsIterationInvariantRate);
}
}  // namespace

static void BM_snp_reference_loop(benchmark::State& state) {
  auto data =
      make_bench_snpdata(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const int nrep = static_cast<int>(state.range(2));
  std::vector<double> w(static_cast<std::size_t>(data->nsubj));
  for ([[maybe_unused]] auto _ : state) {
    for (int s = 0; s < nrep; ++s) {
      for (double& v : w) v = data->randGenerator.norm();
      for (int r : data->snp_used_index)
        data->snpvec[static_cast<std::size_t>(r)].sim_x_stat =
            snp_statistic_weighted(data->scoremat.stored_row(r, nullptr), w.data(), data->nsubj);
    }
    benchmark::DoNotOptimize(data->snpvec.back().sim_x_stat);
  }
  set_cells_counter(state);
}

static void BM_snp_fast_path(benchmark::State& state) {
  auto data =
      make_bench_snpdata(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const int nrep = static_cast<int>(state.range(2));
  data->random_x_stat();  // the one-time subject-major copy is made outside the timed loop
  for ([[maybe_unused]] auto _ : state) {
    data->plan_replicates(nrep);
    for (int s = 0; s < nrep; ++s) data->random_x_stat();
    benchmark::DoNotOptimize(data->snpvec.back().sim_x_stat);
  }
  set_cells_counter(state);
}

static void BM_snp_stepdown(benchmark::State& state) {
  auto data =
      make_bench_snpdata(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  data->compute_x_stat();
  for ([[maybe_unused]] auto _ : state) data->stepDownPval(static_cast<int>(state.range(2)));
  set_cells_counter(state);
}

BENCHMARK(BM_snp_reference_loop)
    ->Args({10000, 1000, 1000})
    ->Args({100, 8, 10})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_snp_fast_path)
    ->Args({10000, 1000, 1000})
    ->Args({100, 8, 10})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_snp_stepdown)
    ->Args({10000, 1000, 1000})
    ->Args({100, 8, 10})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// Growth: time should be linear in SNP-subject cells.
BENCHMARK(BM_snp_fast_path)
    ->ArgsProduct({{10000, 20000, 40000}, {500, 1000, 2000}, {100}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The machine's arithmetic peak for the same kind of work: independent float multiply-adds
// (separate multiply and add, as the kernel does) on data that stays in the L1 cache.
typedef float v16f __attribute__((vector_size(64)));
HALVORIX_CLONES_AVX512_AVX2 static float madd_loop(long n) {
  v16f acc[8] = {};
  const v16f a = {1.0000001f, 1.0000001f, 1.0000001f, 1.0000001f, 1.0000001f, 1.0000001f,
                  1.0000001f, 1.0000001f, 1.0000001f, 1.0000001f, 1.0000001f, 1.0000001f,
                  1.0000001f, 1.0000001f, 1.0000001f, 1.0000001f};
  v16f x = a * 0.5f;
  for (long i = 0; i < n; ++i) {
    for (auto& c : acc) c = c * a + x;
    x = x + a;
  }
  float s = 0;
  for (auto& c : acc) s += c[0];
  return s;
}

static void BM_peak_multiply_add(benchmark::State& state) {
  const long n = 1 << 20;
  for ([[maybe_unused]] auto _ : state) benchmark::DoNotOptimize(madd_loop(n));
  // 8 accumulators x 16 lanes x (1 multiply + 1 add) per step.
  state.counters["flop/s"] = benchmark::Counter(static_cast<double>(n) * 8 * 16 * 2,
                                                benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_peak_multiply_add)->Unit(benchmark::kMillisecond)->UseRealTime();

// The kernel alone, one full batch of replicates per call, on a given path and thread count.
static void run_kernel(benchmark::State& state, KernelPath path, int nthreads) {
  auto data =
      make_bench_snpdata(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  BlockedScores blocked;
  std::vector<const float*> rows;
  for (int r = 0; r < data->nsnp; ++r) rows.push_back(data->scoremat.stored_row(r, nullptr));
  blocked.assign(rows, data->nsubj);
  std::vector<double> w(static_cast<std::size_t>(kMaxReplicateBatch * data->nsubj));
  for (double& v : w) v = data->randGenerator.norm();
  std::vector<float> out(static_cast<std::size_t>(kMaxReplicateBatch * data->nsnp));
  for ([[maybe_unused]] auto _ : state) {
    simulate_snp_stats(blocked, w.data(), kMaxReplicateBatch, out.data(), path, nthreads);
    benchmark::DoNotOptimize(out.back());
  }
  state.counters["cells/s"] =
      benchmark::Counter(static_cast<double>(data->nsnp) * data->nsubj * kMaxReplicateBatch,
                         benchmark::Counter::kIsIterationInvariantRate);
}

// Each instruction-set path (0 baseline, 1 AVX2, 2 AVX-512), one thread.
static void BM_snp_kernel_path(benchmark::State& state) {
  const auto path = static_cast<KernelPath>(state.range(2));
  if (!kernel_path_supported(path)) {
    state.SkipWithError("not supported by this processor");
    return;
  }
  run_kernel(state, path, 1);
}
BENCHMARK(BM_snp_kernel_path)
    ->ArgsProduct({{10000}, {1000, 5000}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The widest path here with its blocks shared among 1 or 2 threads.
static void BM_snp_kernel_threads(benchmark::State& state) {
  run_kernel(state, kernel_path(), static_cast<int>(state.range(2)));
}
BENCHMARK(BM_snp_kernel_threads)
    ->ArgsProduct({{10000}, {1000}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// What a process of an MPI job pays to reach its first replicate: skip_replicates draws and
// drops nsubj normal deviates per replicate before it (replicates x 1,000 subjects here).
static void BM_skip_replicates(benchmark::State& state) {
  auto data = make_bench_snpdata(16, 1000);
  const int replicates = static_cast<int>(state.range(0));
  for ([[maybe_unused]] auto _ : state) data->skip_replicates(replicates);
  state.counters["draws/s"] = benchmark::Counter(static_cast<double>(replicates) * data->nsubj,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_skip_replicates)->Arg(100)->Unit(benchmark::kMillisecond);

// The permutation kernel against the multiplier kernel above (BM_snp_kernel_path), same sizes
// and paths: blocks of centred genotypes in double, a batch of permuted residuals. (Blocks of
// float genotypes with lane means, x = g - m formed in the kernel, were tried: half the
// block, but 30 % slower here, the centring repeated for every chunk of replicates.)
static void BM_permutation_kernel_path(benchmark::State& state) {
  const auto path = static_cast<KernelPath>(state.range(2));
  if (!kernel_path_supported(path)) {
    state.SkipWithError("not supported by this processor");
    return;
  }
  const int nsnp = static_cast<int>(state.range(0)), nsubj = static_cast<int>(state.range(1));
  MTRand rng;
  rng.seed(11);
  std::vector<float> genotypes(static_cast<std::size_t>(nsnp) * static_cast<std::size_t>(nsubj));
  for (float& g : genotypes) g = static_cast<float>(rng.randInt() % 3);
  CentredBlocks blocks;
  blocks.nsnp = nsnp;
  blocks.nsubj = nsubj;
  blocks.nblocks = (nsnp + kSnpBlock - 1) / kSnpBlock;
  blocks.largest_residual = 1;
  blocks.fill_block = [&](int b, double* out) {
    for (int lane = 0; lane < kSnpBlock; ++lane) {
      const int s = b * kSnpBlock + lane;
      for (int j = 0; j < nsubj; ++j)
        out[static_cast<long>(j) * kSnpBlock + lane] =
            s < nsnp ? genotypes[static_cast<std::size_t>(s) * nsubj + j] - 1.0 : 0.0;
    }
    return 1.0;
  };
  std::vector<double> residuals(static_cast<std::size_t>(nsubj));
  for (double& r : residuals) r = rng.rand() - 0.5;
  std::vector<double> w(static_cast<std::size_t>(kMaxReplicateBatch) * nsubj);
  std::vector<int> scratch;
  for (int r = 0; r < kMaxReplicateBatch; ++r)
    draw_permuted_residuals(rng, residuals.data(), nsubj, scratch, w.data() + r * nsubj);
  std::vector<float> out(static_cast<std::size_t>(kMaxReplicateBatch) * nsnp);
  for ([[maybe_unused]] auto _ : state) {
    permuted_snp_stats(blocks, w.data(), kMaxReplicateBatch, out.data(), path, 1);
    benchmark::DoNotOptimize(out.back());
  }
  state.counters["cells/s"] =
      benchmark::Counter(static_cast<double>(nsnp) * nsubj * kMaxReplicateBatch,
                         benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_permutation_kernel_path)
    ->ArgsProduct({{10000}, {1000, 5000}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
