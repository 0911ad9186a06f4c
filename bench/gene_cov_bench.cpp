// Set-up of the gene covariances: the null variance of each gene (its SNP correlation matrix)
// and the covariances of gene pairs, on one thread. Throughput is in genes or pairs per
// second. The reference is the literal computation (the gene's SNP columns copied into a
// matrix, Moments, correlation(), ssq); the fast path forms each SNP's deviations once and
// runs the vector kernel, bit-identically.
#include <benchmark/benchmark.h>

#include "Matrix/Moments.h"
#include "bench_data.h"
#include "stats/gene_pair_covs.h"

namespace {
/// Genes of `per_gene` consecutive SNPs.
std::vector<std::vector<int>> consecutive_genes(int nsnp, int per_gene) {
  std::vector<std::vector<int>> genes(static_cast<std::size_t>(nsnp / per_gene));
  for (std::size_t g = 0; g < genes.size(); ++g)
    for (int m = 0; m < per_gene; ++m) genes[g].push_back(static_cast<int>(g) * per_gene + m);
  return genes;
}
}  // namespace

static void BM_gene_self_covs_reference(benchmark::State& state) {
  auto data =
      make_bench_snpdata(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const auto genes = consecutive_genes(data->nsnp, static_cast<int>(state.range(2)));
  std::vector<float> scratch;
  for ([[maybe_unused]] auto _ : state) {
    for (const std::vector<int>& snps : genes) {
      Matrix<float> mat(data->nsubj, static_cast<int>(snps.size()));
      for (std::size_t col = 0; col < snps.size(); ++col) {
        const float* x = data->scoremat.row(snps[col], scratch);
        for (int subj = 0; subj < mat.nrow; ++subj) mat[subj][col] = x[subj];
      }
      const Moments<float> moments(mat);
      benchmark::DoNotOptimize(moments.correlation().ssq());
    }
  }
  state.counters["genes/s"] = benchmark::Counter(static_cast<double>(genes.size()),
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

// Deviations formed afresh in each iteration, as a run forms them once.
static void BM_gene_self_covs_fast_path(benchmark::State& state) {
  auto data =
      make_bench_snpdata(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const auto genes = consecutive_genes(data->nsnp, static_cast<int>(state.range(2)));
  for ([[maybe_unused]] auto _ : state) {
    SnpDeviations deviations;
    benchmark::DoNotOptimize(gene_self_covs(data->scoremat, deviations, genes, 1).back());
  }
  state.counters["genes/s"] = benchmark::Counter(static_cast<double>(genes.size()),
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

// Each gene paired with the `range(3)` genes after it; deviations formed before timing.
static void BM_gene_pair_covs(benchmark::State& state) {
  auto data =
      make_bench_snpdata(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const auto genes = consecutive_genes(data->nsnp, static_cast<int>(state.range(2)));
  std::vector<std::pair<int, int>> pairs;
  for (int a = 0; a < static_cast<int>(genes.size()); ++a)
    for (int b = a + 1; b <= a + state.range(3) && b < static_cast<int>(genes.size()); ++b)
      pairs.emplace_back(a, b);
  SnpDeviations deviations;
  gene_pair_covs(data->scoremat, deviations, genes, pairs, 1);
  for ([[maybe_unused]] auto _ : state)
    benchmark::DoNotOptimize(gene_pair_covs(data->scoremat, deviations, genes, pairs, 1).back());
  state.counters["pairs/s"] = benchmark::Counter(static_cast<double>(pairs.size()),
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_gene_self_covs_reference)
    ->Args({10000, 1000, 10})
    ->Args({100, 8, 10})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_gene_self_covs_fast_path)
    ->Args({10000, 1000, 10})
    ->Args({100, 8, 10})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_gene_pair_covs)
    ->Args({10000, 1000, 10, 50})
    ->Args({100, 8, 10, 3})
    ->Unit(benchmark::kMillisecond);
