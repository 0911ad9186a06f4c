// Reading score files: the text reader (parallel blocks) against the binary file mapped in
// place, on the same generated matrix; and the per-score cost of halvorix-prep's two outputs
// (six-digit text against the float that text reads back as). Throughput in scores per second.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "prep/number_format.h"
#include "prep/score_binary.h"
#include "snp.h"

namespace {
namespace fs = std::filesystem;

/// A text score file of `nsnp` x `nsubj` six-digit scores and its packed twin, in the
/// system's temporary folder (removed by remove_score_files).
std::pair<std::string, std::string> score_files(int nsnp, int nsubj) {
  const fs::path base =
      fs::temp_directory_path() /
      ("halvorix_bench_scores_" + std::to_string(nsnp) + "x" + std::to_string(nsubj));
  const std::string text = base.string() + ".txt", binary = base.string() + ".bin";
  if (!fs::exists(binary)) {
    std::mt19937 rng(1);
    std::normal_distribution<double> normal;
    std::ofstream out(text);
    char buffer[kMaxNumberText];
    for (int r = 0; r < nsnp; ++r) {
      out << "rs" << r;
      for (int j = 0; j < nsubj; ++j)
        out << ' '
            << std::string_view(buffer, static_cast<std::size_t>(
                                            write_significant6(buffer, normal(rng)) - buffer));
      out << '\n';
    }
    out.close();
    pack_score_file(text, binary);
  }
  return {text, binary};
}

void remove_score_files(const std::pair<std::string, std::string>& files) {
  fs::remove(files.first);
  fs::remove(files.second);
}

void set_scores_counter(benchmark::State& state) {
  state.counters["scores/s"] =
      benchmark::Counter(static_cast<double>(state.range(0)) * static_cast<double>(state.range(1)),
                         benchmark::Counter::kIsIterationInvariantRate);
}
}  // namespace

static void BM_load_scores_text(benchmark::State& state) {
  const auto files =
      score_files(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for ([[maybe_unused]] auto _ : state) {
    SNPData d(files.first, -999.0f, "zero");
    benchmark::DoNotOptimize(d.nsnp);
  }
  set_scores_counter(state);
  if (state.range(2) != 0) remove_score_files(files);
}

static void BM_load_scores_binary(benchmark::State& state) {
  const auto files =
      score_files(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for ([[maybe_unused]] auto _ : state) {
    SNPData d(files.second, -999.0f, "zero");
    benchmark::DoNotOptimize(d.nsnp);
  }
  set_scores_counter(state);
  if (state.range(2) != 0) remove_score_files(files);
}

// The third argument: 1 removes the files after the benchmark (the binary one runs last).
BENCHMARK(BM_load_scores_text)
    ->Args({20000, 1000, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_load_scores_binary)
    ->Args({20000, 1000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

static void BM_prep_score_text(benchmark::State& state) {
  std::vector<double> values(1 << 16);
  std::mt19937 rng(2);
  std::normal_distribution<double> normal;
  for (double& v : values) v = normal(rng);
  std::vector<char> out(values.size() * (kMaxNumberText + 1));
  for ([[maybe_unused]] auto _ : state) {
    char* p = out.data();
    for (double v : values) {
      p = write_significant6(p, v);
      *p++ = ' ';
    }
    benchmark::DoNotOptimize(p);
  }
  state.counters["scores/s"] = benchmark::Counter(static_cast<double>(values.size()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

static void BM_prep_score_binary(benchmark::State& state) {
  std::vector<double> values(1 << 16);
  std::mt19937 rng(2);
  std::normal_distribution<double> normal;
  for (double& v : values) v = normal(rng);
  std::vector<float> out(values.size());
  for ([[maybe_unused]] auto _ : state) {
    for (std::size_t i = 0; i < values.size(); ++i) out[i] = significant6_as_read(values[i]);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["scores/s"] = benchmark::Counter(static_cast<double>(values.size()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_prep_score_text);
BENCHMARK(BM_prep_score_binary);
