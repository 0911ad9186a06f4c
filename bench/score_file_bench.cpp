// Reading score files: the text reader (parallel blocks) against the binary file mapped in
// place, on the same generated matrix; and the per-score cost of halvorix-prep's two outputs
// (six-digit text against the float that text reads back as). Throughput in scores per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include "bench_data.h"
#include "engine/snp_kernel.h"
#include "prep/number_format.h"
#include "prep/score_binary.h"
#include "prep/score_compact.h"
#include "stats/snp.h"

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

// The checks every run makes on a resident score matrix before its statistics: the scan for
// missing codes and stray non-numbers, and the transposition of all rows into kernel blocks
// (with the missing codes of one row in ten replaced). Throughput in scores per second.
static void BM_scan_missing(benchmark::State& state) {
  auto data =
      make_bench_snpdata(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for ([[maybe_unused]] auto _ : state)
    benchmark::DoNotOptimize(data->scoremat.find_missing(-999, "zero"));
  set_scores_counter(state);
}
BENCHMARK(BM_scan_missing)->Args({20000, 1000})->Args({1000, 13})->Unit(benchmark::kMillisecond);

static void BM_transpose_blocks(benchmark::State& state) {
  const int nsnp = static_cast<int>(state.range(0)), nsubj = static_cast<int>(state.range(1));
  ScoreMatrix scores;
  scores.reserve(nsnp, nsubj);
  float* at = scores.append_rows(nsnp);
  std::mt19937 rng(3);
  for (long k = 0; k < static_cast<long>(nsnp) * nsubj; ++k)
    at[k] = (k / nsubj) % 10 == 0 && rng() % 50 == 0 ? -999.0f : static_cast<float>(rng() % 997);
  scores.find_missing(-999, "mean");
  std::vector<int> rows(static_cast<std::size_t>(nsnp));
  for (int r = 0; r < nsnp; ++r) rows[static_cast<std::size_t>(r)] = r;
  std::vector<float> block(static_cast<std::size_t>(nsubj) * kSnpBlock);
  for ([[maybe_unused]] auto _ : state)
    for (int first = 0; first < nsnp; first += kSnpBlock) {
      scores.transpose_rows(rows.data() + first, std::min(kSnpBlock, nsnp - first), kSnpBlock,
                            block.data());
      benchmark::DoNotOptimize(block.data());
    }
  set_scores_counter(state);
}
BENCHMARK(BM_transpose_blocks)->Args({20000, 1000})->Unit(benchmark::kMillisecond);

// The same transposition from a compact file: each row decoded from its codes first (argument
// 3: 1 genotype rows, 2 dosage rows of table indices), so the difference from
// BM_transpose_blocks is what decoding costs a score.
static void BM_transpose_blocks_compact(benchmark::State& state) {
  const int nsnp = static_cast<int>(state.range(0)), nsubj = static_cast<int>(state.range(1));
  const bool dosages = state.range(2) == 2;
  const std::string path =
      (fs::temp_directory_path() / ("halvorix_bench_compact_" + std::to_string(getpid()))).string();
  {
    std::mt19937 rng(4);
    std::vector<double> residuals(static_cast<std::size_t>(nsubj));
    for (double& r : residuals) r = static_cast<double>(rng() % 1000) / 300.0 - 1.5;
    CompactScoreWriter writer(path, dosages ? RowCoding::dosages : RowCoding::genotypes, residuals,
                              {}, -999.0f);
    std::vector<double> row(static_cast<std::size_t>(nsubj));
    for (int r = 0; r < nsnp; ++r) {
      for (double& g : row)
        g = rng() % 100 == 0 ? std::nan("")
            : dosages        ? static_cast<double>(rng() % 2001) / 1000.0
                             : rng() % 3;
      writer.write_row("rs" + std::to_string(r), row, 1.0);
    }
    writer.commit();
  }
  SNPData data(path, -999.0f, "mean");
  fs::remove(path);  // the mapping keeps the file's pages
  std::vector<int> rows(static_cast<std::size_t>(nsnp));
  for (int r = 0; r < nsnp; ++r) rows[static_cast<std::size_t>(r)] = r;
  std::vector<float> block(static_cast<std::size_t>(nsubj) * kSnpBlock);
  for ([[maybe_unused]] auto _ : state)
    for (int first = 0; first < nsnp; first += kSnpBlock) {
      data.scoremat.transpose_rows(rows.data() + first, std::min(kSnpBlock, nsnp - first),
                                   kSnpBlock, block.data());
      benchmark::DoNotOptimize(block.data());
    }
  set_scores_counter(state);
}
BENCHMARK(BM_transpose_blocks_compact)
    ->Args({20000, 1000, 1})
    ->Args({20000, 1000, 2})
    ->Unit(benchmark::kMillisecond);
