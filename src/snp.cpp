#include "snp.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <limits>

#include "Ranker/ranker.h"
#include "fail.h"
#include "makeSeed.h"
#include "print_banner.h"
#include "progress.h"
#include "result_file.h"
#include "stepDownPval.h"
#include "tokenize.h"

namespace {

std::string score_field_error(ScoreField status, std::string_view field, std::size_t column,
                              int line_number, const std::string& filename) {
  const std::string what =
      status == ScoreField::not_finite ? "is not a finite number" : "is not a number";
  return "error: score '" + std::string(field) + "' in field " + std::to_string(column) +
         " on line " + std::to_string(line_number) + " of file " + filename + " " + what +
         " (a missing score is written as the missing code, --miss_val)";
}

bool is_comment(const std::vector<std::string_view>& fields) {
  return !fields.empty() && fields[0][0] == '#';
}
}  // namespace

ScoreField parse_score_field(std::string_view field, float& value) {
  const char* begin = field.data();
  const char* end = begin + field.size();
  // from_chars is several times faster than strtod and rounds identically; the forms it does
  // not take (a leading '+', hexadecimal, out of range) go to strtod, which must then consume
  // the whole field and may not skip leading white space of its own.
  double number = 0;
  const auto [ptr, ec] = std::from_chars(begin, end, number);
  if (ec != std::errc() || ptr != end) {
    if (field.empty() || std::isspace(static_cast<unsigned char>(field[0]))) {
      return ScoreField::not_a_number;
    }
    const std::string text(field);
    char* parsed_end = nullptr;
    number = std::strtod(text.c_str(), &parsed_end);
    if (parsed_end != text.c_str() + text.size()) return ScoreField::not_a_number;
  }
  value = static_cast<float>(number);
  // Infinity, NaN and numbers beyond float range would turn every statistic into NaN.
  return std::isfinite(value) ? ScoreField::ok : ScoreField::not_finite;
}

float snp_statistic(const float* scores, int nsubj) {
  float sum = 0;
  for (int j = 0; j < nsubj; ++j) sum += scores[j];
  const float ssq = snp_sum_of_squares(scores, nsubj);
  return ssq > kSsqTolerance ? (sum * sum) / ssq : 0.0f;
}

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
  nsubj = scoremat.size_col();
  nsnp = scoremat.size_row();
  scoremat.replace_missing(missing_score, missing_method, 1e-6);
  random_seed = 0;
}

void SNPData::load_snp_score_tpose() {
  TextInput in(snp_score_filename);
  if (!in.is_open()) fail_stderr("error: " + snp_score_filename + "not found");
  std::string line;
  std::vector<std::string_view> fields;
  std::vector<float> scores;
  int data_line = 1;
  int row = 0;
  while (in.read_line(line)) {
    tokenize_views(line, fields, kFieldDelimiters);
    // A line without fields (empty, or delimiters only) is skipped like a comment.
    if (fields.empty() || is_comment(fields)) continue;
    if (data_line == 1) {
      if (fields.size() < 2) fail_stderr("error: < 2 items on line 1 of snp_score file");
      nsubj = static_cast<int>(fields.size()) - 1;
    }
    if (static_cast<int>(fields.size()) != nsubj + 1) {
      fail_stderr("error: expect " + std::to_string(nsubj + 1) + " fields in file " +
                  snp_score_filename + ", but found " + std::to_string(fields.size()) +
                  " on line " + std::to_string(data_line));
    }
    // Every line keeps its own row; a repeated name keeps the row of its first occurrence in
    // the map, so no name ever points at another SNP's row.
    const std::string name(fields[0]);
    if (!snp_score_map.emplace(name, row).second) {
      std::cout << "warning: repeated snp name " << fields[0] << " on line " << data_line
                << " of file " << snp_score_filename << ": the first occurrence is used"
                << std::endl;
    }
    scores.resize(static_cast<std::size_t>(nsubj));
    for (std::size_t j = 0; j < scores.size(); ++j) {
      const ScoreField status = parse_score_field(fields[j + 1], scores[j]);
      if (status != ScoreField::ok) {
        fail_stderr(
            score_field_error(status, fields[j + 1], j + 2, in.line_number, snp_score_filename));
      }
    }
    scoremat.push_bottom(scores);
    SNP snp;
    snp.name = name;
    snp.row_index = row;
    snpvec.push_back(snp);
    ++row;
    ++data_line;
  }
  // No SNP line would give no statistic at all, and a result file that looks finished.
  if (row == 0) fail_stderr("error: no SNP lines in file " + snp_score_filename);
}

void SNPData::set_seed(long seed) {
  auto s = static_cast<unsigned long>(seed);
  if (seed <= 0) {
    const clock_t c = clock();
    const time_t t = time(nullptr);
    s = makeSeed(static_cast<long>(t), static_cast<long>(c));
  }
  while (s > 100000000UL) s = s % 100000000UL;
  randGenerator.seed(s);
  random_seed = s;
  batch_size = 0;  // replicates drawn from the old stream are not handed out after reseeding
  batch_next = 0;
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
  for (int r : snp_used_index)
    snpvec[static_cast<std::size_t>(r)].x_stat = snp_statistic(scoremat[r].data(), nsubj);
}

void SNPData::plan_replicates(int n) {
  // Replicates already drawn but not handed out stay first in line: their weights came off
  // the stream, so dropping them would shift every later replicate.
  planned_replicates = n;
}

namespace {
/// Pointers to the score rows of the used SNPs, in snp_used_index order.
std::vector<const float*> used_rows(const Matrix<float>& scoremat, const std::vector<int>& used) {
  std::vector<const float*> rows;
  rows.reserve(used.size());
  for (int r : used) rows.push_back(scoremat[r].data());
  return rows;
}
}  // namespace

void SNPData::compute_batch_stats() {
  if (used_scores_stale) {
    used_scores.assign(used_rows(scoremat, snp_used_index), nsubj);
    used_scores_stale = false;
  }
  batch_stats.resize(static_cast<std::size_t>(batch_size) * snp_used_index.size());
#ifdef HALVORIX_LITERAL_KERNEL
  // The one-SNP-at-a-time computation, kept as a build option to time the "before" figures.
  for (int r = 0; r < batch_size; ++r)
    for (std::size_t k = 0; k < snp_used_index.size(); ++k)
      batch_stats[static_cast<std::size_t>(r) * snp_used_index.size() + k] =
          snp_statistic_weighted(scoremat[snp_used_index[k]].data(),
                                 batch_weights.data() + static_cast<long>(r) * nsubj, nsubj);
#else
  simulate_snp_stats(used_scores, batch_weights.data(), batch_size, batch_stats.data());
#endif
}

void SNPData::random_x_stat() {
  if (batch_next == batch_size) {
    // All weights of a replicate are drawn before the next replicate's, in subject order, and
    // even when no SNP is used: the stream position never depends on which SNPs are in use.
    const int n = std::max(1, std::min(planned_replicates, static_cast<int>(kMaxReplicateBatch)));
    batch_weights.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(nsubj));
    for (double& w : batch_weights) w = randGenerator.norm();
    batch_size = n;
    batch_next = 0;
    compute_batch_stats();
  } else if (used_scores_stale) {
    compute_batch_stats();  // the used SNPs changed mid-batch: same weights, new SNPs
  }
  const float* stats =
      batch_stats.data() + static_cast<long>(batch_next) * static_cast<long>(snp_used_index.size());
  for (std::size_t k = 0; k < snp_used_index.size(); ++k)
    snpvec[static_cast<std::size_t>(snp_used_index[k])].sim_x_stat = stats[k];
  ++batch_next;
  if (planned_replicates > 0) --planned_replicates;
}

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
  check_nsim(nsim);
  StepDownPval stepdown(get_x_stat(), nsim);
  std::vector<float> sim(snpvec.size());
  plan_replicates(nsim);
  Progress progress("replicates", nsim);
  for (int s = 0; s < nsim; ++s) {
    random_x_stat();
    for (std::size_t i = 0; i < snpvec.size(); ++i) sim[i] = snpvec[i].sim_x_stat;
    stepdown.update_by_sim_stats(sim);
    progress.tick();
  }
  stepdown.compute_pval();
  for (const StatInfo& record : stepdown.stat_info)
    snpvec[static_cast<std::size_t>(record.index)].sim_pval = record.pval;
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
void print_score_block(const Matrix<float>& scores, int rows, int cols) {
  std::cout.precision(4);
  for (int r = 0; r < rows; ++r) {
    for (int j = 0; j < cols; ++j)
      std::cout << std::setw(5) << scores[r][static_cast<std::size_t>(j)] << ", ";
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
  std::ofstream& out = result.out;
  if (!result.is_open()) {
    std::cout << "Cannot open " << filename << "for csv output." << std::endl;
    return;
  }
  write_snp_table(out, snpvec);
  result.commit();
}
