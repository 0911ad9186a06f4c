// The annotation loaders on files of `lines` distinct pairs spread over `owners` genes, GO
// terms or pathways: one owner is the worst case of a duplicate check that searches the
// owner's list on every line (quadratic), many owners the usual shape. Each iteration reads
// the file afresh; the inputs are written once into a temporary folder. Throughput is in lines
// per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "stats/gene.h"
#include "stats/go.h"
#include "stats/kegg.h"

namespace {

/// A folder of inputs, removed when the benchmark ends.
struct BenchFolder {
  std::filesystem::path path = std::filesystem::temp_directory_path() /
                               ("halvorix_loader_bench_" + std::to_string(getpid()));
  BenchFolder() { std::filesystem::create_directories(path); }
  ~BenchFolder() { std::filesystem::remove_all(path); }
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;

  std::string write(const std::string& name, const std::string& text) const {
    std::ofstream(path / name) << text;
    return (path / name).string();
  }
};

/// `count` SNPs s0, s1, ... with one score each.
std::unique_ptr<SNPData> make_snps(int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back("s" + std::to_string(i));
  const std::vector<std::vector<float>> rows(static_cast<std::size_t>(count), {1.0f});
  return std::make_unique<SNPData>(names, rows, -999.0f, "zero");
}

/// Genes g0, g1, ... of one SNP each (gene gi holds SNP si).
std::unique_ptr<GENEData> make_genes(int count, SNPData& snps) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (int i = 0; i < count; ++i)
    pairs.emplace_back("g" + std::to_string(i), "s" + std::to_string(i));
  return std::make_unique<GENEData>(kDefaultScoring, pairs, snps);
}

/// Line i names member i and owner i % owners.
std::string pair_lines(int lines, int owners, const char* before_owner, const char* before_member,
                       bool member_first, const char* tail) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    const std::string owner = before_owner + std::to_string(i % owners);
    const std::string member = before_member + std::to_string(i);
    text += (member_first ? member + ' ' + owner : owner + ' ' + member) + tail + '\n';
  }
  return text;
}

void count_lines(benchmark::State& state) {
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

static void BM_load_gene_snp(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const BenchFolder folder;
  const auto snps = make_snps(lines);
  const std::string file = folder.write(
      "gene_snp.dat", pair_lines(lines, static_cast<int>(state.range(1)), "g", "s", false, " 0"));
  for ([[maybe_unused]] auto _ : state) {
    const GENEData genes(kDefaultScoring, file, 50000, *snps);
    benchmark::DoNotOptimize(genes.ngene);
  }
  count_lines(state);
}

static void BM_load_go_gene(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const int terms = static_cast<int>(state.range(1));
  const BenchFolder folder;
  const auto snps = make_snps(lines);
  const auto genes = make_genes(lines, *snps);
  std::string edges;
  for (int t = 0; t < terms; ++t) edges += "biological_process T" + std::to_string(t) + " is_a R\n";
  const std::string edges_file = folder.write("go_edges.dat", edges);
  // "IEA gene term", as halvorix-prep writes it.
  std::string annotations;
  for (int i = 0; i < lines; ++i)
    annotations += "IEA g" + std::to_string(i) + " T" + std::to_string(i % terms) + '\n';
  const std::string file = folder.write("go_gene.dat", annotations);
  for ([[maybe_unused]] auto _ : state) {
    GOData go(edges_file, "all");
    go.load_go_gene(file, *genes);
    benchmark::DoNotOptimize(go.govec.data());
  }
  count_lines(state);
}

static void BM_load_kegg_gene(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const BenchFolder folder;
  const auto snps = make_snps(lines);
  const auto genes = make_genes(lines, *snps);
  const std::string file = folder.write(
      "kegg_gene.dat",
      pair_lines(lines, static_cast<int>(state.range(1)), "path:hsa", "hsa:g", true, ""));
  for ([[maybe_unused]] auto _ : state) {
    const KEGGData kegg(file, *genes);
    benchmark::DoNotOptimize(kegg.keggvec.data());
  }
  count_lines(state);
}

// 40,000 lines onto one owner, and spread over 4,000.
BENCHMARK(BM_load_gene_snp)->Args({40000, 1})->Args({40000, 4000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_load_go_gene)->Args({40000, 1})->Args({40000, 4000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_load_kegg_gene)->Args({40000, 1})->Args({40000, 4000})->Unit(benchmark::kMillisecond);
