// The SNP method's simulation loop: one replicate redraws a weight per subject and recomputes
// every used SNP's statistic. Throughput is reported in SNP-subject cells per second.
#include <benchmark/benchmark.h>

#include "bench_data.h"

static void BM_snp_replicates(benchmark::State& state) {
  const int nsnp = static_cast<int>(state.range(0));
  const int nsubj = static_cast<int>(state.range(1));
  auto data = make_bench_snpdata(nsnp, nsubj);
  constexpr int kReplicates = 100;
  for ([[maybe_unused]] auto _ : state) {
    for (int s = 0; s < kReplicates; ++s) data->random_x_stat();
    benchmark::DoNotOptimize(data->snpvec.back().sim_x_stat);
  }
  const double cells = static_cast<double>(nsnp) * nsubj * kReplicates;
  state.counters["cells/s"] =
      benchmark::Counter(cells, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_snp_replicates)->Args({10000, 1000})->Args({100, 8})->Unit(benchmark::kMillisecond);

static void BM_snp_stepdown(benchmark::State& state) {
  auto data = make_bench_snpdata(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  data->compute_x_stat();
  for ([[maybe_unused]] auto _ : state) data->stepDownPval(100);
  state.counters["cells/s"] = benchmark::Counter(
      static_cast<double>(state.range(0)) * static_cast<double>(state.range(1)) * 100,
      benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_snp_stepdown)->Args({10000, 1000})->Args({100, 8})->Unit(benchmark::kMillisecond);
