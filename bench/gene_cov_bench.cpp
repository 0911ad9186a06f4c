// Set-up of the gene covariances: the null variance of each gene (its SNP correlation matrix)
// and the covariances of gene pairs, on one thread. Throughput is in genes or pairs per
// second. The reference is the literal computation (the gene's SNP columns copied into a
// matrix, Moments, correlation(), ssq); the fast path forms each SNP's deviations once and
// runs the vector kernel, bit-identically.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>

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

namespace {
/// Genes and gene pairs shaped like a GO run on one real chromosome (28,501 SNPs, human GO,
/// sets of at most 30 genes): 652 genes of overlapping SNP windows, 33,296 pairs that share a
/// set, and about 5.5e7 SNP pairs. Gene sizes are skewed as real genes are (a few long ones
/// carry many SNPs), and the pairs favour the genes that sit in many sets.
struct ChromosomeLikePairs {
  std::vector<std::vector<int>> genes;
  std::vector<std::pair<int, int>> pairs;
  double snp_pairs = 0;

  explicit ChromosomeLikePairs(int nsnp) {
    std::mt19937 gen(652);
    std::lognormal_distribution<double> size(3.35, 0.75);  // median 28 SNPs, mean about 38
    genes.resize(652);
    for (std::size_t g = 0; g < genes.size(); ++g) {
      const int k = std::clamp(static_cast<int>(size(gen)), 1, 600);
      const int start = static_cast<int>(g * static_cast<std::size_t>(nsnp - 600) / genes.size());
      for (int m = 0; m < k; ++m) genes[g].push_back(start + m);
    }
    // Genes in many sets pair more often: a gene's draw weight falls with its index.
    std::vector<double> weight(genes.size());
    for (std::size_t g = 0; g < weight.size(); ++g) weight[g] = 1.0 / std::sqrt(1.0 + g % 97);
    std::discrete_distribution<int> pick(weight.begin(), weight.end());
    std::set<std::pair<int, int>> seen;
    while (seen.size() < 33296) {
      int a = pick(gen), b = pick(gen);
      if (a == b) continue;
      seen.emplace(std::max(a, b), std::min(a, b));
    }
    pairs.assign(seen.begin(), seen.end());
    for (const auto& [a, b] : pairs)
      snp_pairs += static_cast<double>(genes[static_cast<std::size_t>(a)].size() *
                                       genes[static_cast<std::size_t>(b)].size());
  }
};
}  // namespace

// The gene-pair covariances of a GO run on one real-like chromosome, on range(1) threads: the
// set-up cost that real annotation brings. `range(0)` subjects.
static void BM_gene_pair_covs_chromosome_like(benchmark::State& state) {
  constexpr int kSnps = 28501;
  auto data = make_bench_snpdata(kSnps, static_cast<int>(state.range(0)));
  const ChromosomeLikePairs shape(kSnps);
  SnpDeviations deviations;
  const int threads = static_cast<int>(state.range(1));
  gene_pair_covs(data->scoremat, deviations, shape.genes, shape.pairs, threads);
  for ([[maybe_unused]] auto _ : state)
    benchmark::DoNotOptimize(
        gene_pair_covs(data->scoremat, deviations, shape.genes, shape.pairs, threads).back());
  state.counters["snp_pairs"] = shape.snp_pairs;
  state.counters["products/s"] =
      benchmark::Counter(shape.snp_pairs * static_cast<double>(state.range(0) - 1),
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
BENCHMARK(BM_gene_pair_covs_chromosome_like)
    ->Args({1000, 1})
    ->Args({1000, 2})
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
