#include "stats/snp.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <limits>

#include "Ranker/ranker.h"
#include "cli/fail.h"
#include "cli/print_banner.h"
#include "engine/makeSeed.h"
#include "engine/memory_budget.h"
#include "engine/parallel_for.h"
#include "files/binary_score_file.h"
#include "files/result_file.h"
#include "files/score_text.h"
#include "files/tokenize.h"
#include "stats/simulation.h"

float snp_statistic_weighted(const float* scores, const double* weights, int nsubj) {
  float sum = 0;
  for (int j = 0; j < nsubj; ++j)
    sum += static_cast<float>(static_cast<double>(scores[j]) * weights[j]);
  const float ssq = snp_sum_of_squares(scores, nsubj);
  return ssq > kSsqTolerance ? (sum * sum) / ssq : 0.0f;
}

SNPData::SNPData(std::string filename, float missing, std::string method)
    : snp_score_filename(std::move(filename)),
      missing_score(missing),
      missing_method(std::move(method)) {
  load_snp_score_tpose();
  finish_scores();
  random_seed = 0;
}

SNPData::SNPData(const std::vector<std::string>& names, const std::vector<std::vector<float>>& rows,
                 float missing, std::string method)
    : missing_score(missing), missing_method(std::move(method)) {
  const int nsubject = rows.empty() ? 0 : static_cast<int>(rows.front().size());
  if (names.size() != rows.size() || nsubject == 0)
    fail_stderr("error: scores in memory: " + std::to_string(names.size()) + " names, " +
                std::to_string(rows.size()) + " rows, " + std::to_string(nsubject) + " subjects");
  scoremat.reserve(static_cast<long long>(rows.size()), nsubject);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    if (static_cast<int>(rows[k].size()) != nsubject)
      fail_stderr("error: scores in memory: row " + std::to_string(k + 1) + " has " +
                  std::to_string(rows[k].size()) + " scores, the first has " +
                  std::to_string(nsubject));
    add_snp(names[k]);
    std::copy(rows[k].begin(), rows[k].end(), scoremat.append_rows(1));
  }
  finish_scores();
}

void SNPData::load_snp_score_tpose() {
  // Its first byte tells text from binary before it is read whole, and its size bounds the
  // room for its scores: a pipe gives neither (a second read would miss what the first took).
  if (is_stream(snp_score_filename))
    fail_stderr("error: " + snp_score_filename +
                " is not a regular file: write the scores to a file first");
  if (is_binary_score_file(snp_score_filename)) {
    load_binary_scores();
  } else {
    load_text_scores();
  }
}

void SNPData::add_snp(const std::string& name) {
  // Every line keeps its own row; a repeated name keeps the row of its first occurrence in
  // the map, so no name ever points at another SNP's row.
  const int row = static_cast<int>(snpvec.size());
  if (!snp_score_map.emplace(name, row).second) {
    std::cout << "warning: repeated snp name " << name << " on line " << row + 1 << " of file "
              << snp_score_filename << ": the first occurrence is used" << std::endl;
  }
  SNP snp;
  snp.name = name;
  snp.row_index = row;
  snpvec.push_back(snp);
}

void SNPData::load_text_scores() {
  ScoreTextReader reader(snp_score_filename);
  // Blocks are parsed straight into the end of the score matrix: no second copy. The room is
  // reserved, not allocated: pages are paid for as scores are written.
  reader.room = [&](std::size_t count) {
    if (scoremat.values == nullptr)
      scoremat.reserve(
          static_cast<long long>(reader.max_room() / static_cast<std::size_t>(reader.nsubj)) + 1,
          reader.nsubj);
    return scoremat.spare(count);
  };
  ScoreTextRows rows;
  while (reader.next(rows)) {
    for (const std::string& name : rows.names) add_snp(name);
    if (!rows.names.empty()) scoremat.append_rows(static_cast<int>(rows.names.size()));
  }
}

void SNPData::load_binary_scores() {
  BinaryScoreFile file(snp_score_filename);
  for (const std::string& name : file.names) add_snp(name);
  binary_scores = true;
  if (file.is_compact()) {
    scoremat.adopt_coded(std::move(file.map), file.compact);
    return;
  }
  const float* scores = file.scores();
  scoremat.adopt(std::move(file.map), scores, static_cast<int>(file.header.nsnp),
                 static_cast<int>(file.header.nsubj));
}

void SNPData::finish_scores() {
  nsubj = scoremat.nsubj;
  nsnp = scoremat.nsnp;
  const long long bad = scoremat.find_missing(missing_score, missing_method);
  // Text fields that are not numbers are the text reader's to judge; a stored float must be
  // a number or the missing code.
  if (bad >= 0 && binary_scores) {
    const long long r = bad / nsubj;
    const std::string reason = scoremat.coded
                                   ? scoremat.compact.undecodable_reason(
                                         static_cast<int>(r), static_cast<int>(bad % nsubj))
                                   : "";
    fail_stderr(
        "error: binary score file " + snp_score_filename + ": SNP " +
        snpvec[static_cast<std::size_t>(r)].name + " (row " + std::to_string(r + 1) +
        "), subject " + std::to_string(bad % nsubj + 1) + ": " +
        (reason.empty() ? "the score is not a finite number and not the missing code" : reason));
  }
  // No SNP line would give no statistic at all, and a result file that looks finished.
  if (nsnp == 0) fail_stderr("error: no SNP lines in file " + snp_score_filename);
  report_scaled_rows();
}

void SNPData::report_scaled_rows() const {
  // Said, because a user who reads scores this large may have meant another unit.
  constexpr int kNamed = 5;
  int scaled = 0;
  for (std::size_t r = 0; r < scoremat.row_exponent.size(); ++r) {
    const int e = scoremat.row_exponent[r];
    if (e == 0) continue;
    if (++scaled <= kNamed) {
      std::cout << "warning: the scores of SNP " << snpvec[r].name << " (row " << r + 1
                << " of file " << snp_score_filename << ") are too large for float sums; they "
                << "are taken times 2^" << e << ", which leaves every statistic as it is"
                << std::endl;
    }
  }
  if (scaled > kNamed)
    std::cout << "warning: " << scaled - kNamed << " more SNPs of file " << snp_score_filename
              << " are scaled likewise" << std::endl;
}

void SNPData::set_seed(long seed) {
  auto s = seed > 0 ? static_cast<unsigned long>(seed) : clock_seed();
  if (s > kSeedLimit) s %= kSeedLimit;
  randGenerator.seed(s);
  random_seed = s;
  replicates.reset();  // replicates drawn from the old stream are not handed out after reseeding
}

void SNPData::set_all_used() {
  for (SNP& snp : snpvec) snp.used = true;
}

int SNPData::count_used() const {
  int n = 0;
  for (const SNP& snp : snpvec) n += snp.used ? 1 : 0;
  return n;
}

void SNPData::make_snp_used_index() {
  snp_used_index.clear();
  snp_used_index.reserve(static_cast<std::size_t>(count_used()));
  for (int i = 0; i < nsnp; ++i)
    if (snpvec[static_cast<std::size_t>(i)].used) snp_used_index.push_back(i);
  used_scores_stale = true;
}

void SNPData::compute_x_stat() {
  if (used_scores_stale) prepare_used_scores();
  for (std::size_t k = 0; k < snp_used_index.size(); ++k) {
    const float sum = used_scores.observed_sum[k], ssq = used_scores.observed_ssq[k];
    snpvec[static_cast<std::size_t>(snp_used_index[k])].x_stat =
        ssq > kSsqTolerance ? (sum * sum) / ssq : 0.0f;
  }
}

void SNPData::plan_replicates(int n) { replicates.plan(n); }

void SNPData::prepare_used_scores() {
  if (permute_residuals) return prepare_permuted_scores();
  used_scores.nsnp = static_cast<int>(snp_used_index.size());
  used_scores.nsubj = nsubj;
  used_scores.nblocks = (used_scores.nsnp + kSnpBlock - 1) / kSnpBlock;
  used_scores.fill_block = [this](int b, float* out) {
    const int first = b * kSnpBlock;
    scoremat.transpose_rows(snp_used_index.data() + first,
                            std::min(kSnpBlock, used_scores.nsnp - first), kSnpBlock, out);
  };
  used_scores.compute_observed_sums(worker_threads());
  used_scores_stale = false;
}

void SNPData::compute_replicate_stats(const double* weights, int nrep, float* out) {
  if (used_scores_stale) prepare_used_scores();
  // Under permutation the weights are the replicates' permuted residuals.
  if (permute_residuals) return permuted_snp_stats(used_centred, weights, nrep, out);
#ifdef HALVORIX_LITERAL_KERNEL
  // The one-SNP-at-a-time computation, kept as a build option to time the "before" figures.
  std::vector<float> scratch;
  for (int r = 0; r < nrep; ++r)
    for (std::size_t k = 0; k < snp_used_index.size(); ++k)
      out[static_cast<std::size_t>(r) * snp_used_index.size() + k] = snp_statistic_weighted(
          scoremat.row(snp_used_index[k], scratch), weights + static_cast<long>(r) * nsubj, nsubj);
#else
  simulate_snp_stats(used_scores, weights, nrep, out);
#endif
}

int SNPData::replicates_per_pass() const {
  // As many replicates as the budget holds (their statistics and weights), so that a pass over
  // the scores serves the whole simulation of an ordinary study where memory allows; never
  // fewer than the kernel's batch. The replicates do not depend on how many a pass holds.
  const double per_replicate =
      4.0 * static_cast<double>(std::max<std::size_t>(1, snp_used_index.size())) + 8.0 * nsubj;
  const double fits = static_cast<double>(process_replicate_budget()) / per_replicate;
  return static_cast<int>(std::max<double>(kMaxReplicateBatch, std::min(fits, 1e6)));
}

void SNPData::random_x_stat() {
  const bool stale = used_scores_stale;
  const float* stats = replicates.next(
      randGenerator, nsubj, static_cast<int>(snp_used_index.size()), replicates_per_pass(), stale,
      [this](const double* weights, int nrep, float* out) {
        compute_replicate_stats(weights, nrep, out);
      });
  for (std::size_t k = 0; k < snp_used_index.size(); ++k)
    snpvec[static_cast<std::size_t>(snp_used_index[k])].sim_x_stat = stats[k];
}

void SNPData::skip_replicates(int n) { replicates.skip(randGenerator, nsubj, n); }

void SNPData::compute_rank_x_stat() {
  std::vector<float> stats;
  stats.reserve(snp_used_index.size());
  for (int r : snp_used_index) stats.push_back(snpvec[static_cast<std::size_t>(r)].x_stat);
  std::vector<float> ranks;
  ranker::rankhigh(stats, ranks, "average");
  for (std::size_t k = 0; k < snp_used_index.size(); ++k)
    snpvec[static_cast<std::size_t>(snp_used_index[k])].rank_x_stat = ranks[k];
}

std::vector<float> SNPData::get_x_stat() const {
  std::vector<float> stats;
  stats.reserve(snpvec.size());
  for (const SNP& snp : snpvec) stats.push_back(snp.x_stat);
  return stats;
}

std::vector<float> SNPData::get_sim_x_stat() const {
  std::vector<float> stats;
  stats.reserve(snpvec.size());
  for (const SNP& snp : snpvec) stats.push_back(snp.sim_x_stat);
  return stats;
}

void SNPData::stepDownPval(int nsim) {
  const std::vector<float> pval = simulate_step_down(*this, get_x_stat(), nsim, [this](auto& sim) {
    for (std::size_t i = 0; i < snpvec.size(); ++i) sim[i] = snpvec[i].sim_x_stat;
  });
  for (std::size_t i = 0; i < snpvec.size(); ++i) snpvec[i].sim_pval = pval[i];
}

void SNPData::print_summary(const std::string& title) const {
  print_banner(title, 80);
  std::cout << "  snp_score file = " << snp_score_filename << std::endl;
  std::cout << "   missing  code = " << missing_score << std::endl;
  std::cout << "replace missing  = " << missing_method << std::endl;
  std::cout << "        No. subj = " << nsubj << std::endl;
  std::cout << "  No. snp, total = " << nsnp << std::endl;
  std::cout << "   No. snp, used = " << count_used() << std::endl;
}

void SNPData::print_snp_score_map(const std::string& title) const {
  print_banner(title, 80);
  for (const auto& entry : snp_score_map)
    std::cout << entry.first << " => " << entry.second << std::endl;
}

namespace {
void print_score_block(const ScoreMatrix& scores, int rows, int cols) {
  std::cout.precision(4);
  for (int r = 0; r < rows; ++r) {
    for (int j = 0; j < cols; ++j) std::cout << std::setw(5) << scores.value(r, j) << ", ";
    std::cout << std::endl;
  }
}
}  // namespace

void SNPData::print_scoremat(const std::string& title) const {
  print_banner(title, 80);
  std::cout << "size of scoremat: " << nsnp << " rows x " << nsubj << " cols" << std::endl;
  print_score_block(scoremat, nsnp, nsubj);
}

void SNPData::snapshot_scoremat(const std::string& title) const {
  print_banner(title, 80);
  std::cout << "size of scoremat: " << nsnp << " rows x " << nsubj << " cols" << std::endl;
  print_score_block(scoremat, std::min(nsnp, 5), std::min(nsubj, 5));
}

void SNPData::print_x_stat(const std::string& title) const {
  print_banner(title, 80);
  for (std::size_t i = 0; i < snpvec.size(); ++i) {
    const SNP& snp = snpvec[i];
    std::cout << "snp[" << i << "]:"
              << " used = " << (snp.used ? 1 : 0) << ", x_stat = " << std::setw(5) << snp.x_stat
              << ", rank = " << std::setw(5) << snp.rank_x_stat << std::endl;
  }
}

namespace {
void write_snp_table(std::ostream& out, const std::vector<SNP>& snps) {
  out << "     snp, row_num,   used,   x-stat,     rank,       pval" << std::endl;
  for (const SNP& snp : snps) {
    out << std::setw(8) << snp.name << ", " << std::setw(7) << snp.row_index + 1 << ", "
        << std::setw(6) << (snp.used ? 1 : 0) << ", ";
    // A statistic that is not a number reads "nan" whatever its sign bit.
    const float x_stat =
        std::isnan(snp.x_stat) ? std::numeric_limits<float>::quiet_NaN() : snp.x_stat;
    out << std::scientific << std::setprecision(2) << std::setw(8) << x_stat << ", ";
    out << std::fixed << std::setprecision(2) << std::setw(8) << snp.rank_x_stat << ", ";
    out << std::fixed << std::setprecision(7) << std::setw(10) << snp.sim_pval << std::endl;
  }
}
}  // namespace

void SNPData::print_snp_stats(const std::string& title) const {
  print_banner(title, 80);
  write_snp_table(std::cout, snpvec);
}

void SNPData::print_snp_stats_csv(const std::string& filename) const {
  ResultFile result(filename);
  if (!result.is_open_or_warn("csv")) return;
  std::ostream& out = result.out;
  write_snp_table(out, snpvec);
  result.commit();
}
