#include "gene.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <thread>

#include "Matrix/Moments.h"
#include "Ranker/ranker.h"
#include "distributed.h"
#include "fail.h"
#include "html.h"
#include "print_banner.h"
#include "progress.h"
#include "result_file.h"
#include "stepDownPval.h"
#include "tokenize.h"

namespace {
/// Below this a variance or standard deviation counts as zero.
constexpr float kTolerance = 1e-6f;
/// Replicates behind the simulated null moments.
constexpr int kMomentReplicates = 1000;
/// Base address of the gene database that the HTML report links to.
const char* const kGeneDatabase = "https://www.ncbi.nlm.nih.gov";

/// The gene's SNPs whose `used` flag is set, in list order.
std::vector<int> used_snps(const Gene& gene, const SNPData& snpdat) {
  std::vector<int> snps;
  snps.reserve(gene.snp_index.size());
  for (int s : gene.snp_index)
    if (snpdat.snpvec[static_cast<std::size_t>(s)].used) snps.push_back(s);
  return snps;
}

bool is_comment(const std::vector<std::string>& fields) { return fields[0][0] == '#'; }

/// The distance field, a whole decimal number (optionally signed) that fits in 32 bits: a
/// distance read in part, or cut to 32 bits, would keep pairs that are far apart.
bool read_distance(const std::string& field, long& distance) {
  const bool plus = !field.empty() && field[0] == '+';  // from_chars takes only a '-' sign
  const char* begin = field.data() + (plus ? 1 : 0);
  const char* end = field.data() + field.size();
  if (plus && begin != end && *begin == '-') return false;
  int value = 0;
  const auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc() || ptr != end) return false;
  distance = value;
  return true;
}

/// Score of one gene from one SNP statistic (observed or simulated); n is the number of used
/// SNPs. The maximum starts at 0, so "max" never falls below it.
void score_gene(const Gene& gene, const SNPData& snpdat, float SNP::*stat,
                const std::string& method, int& n, float& score) {
  float sum = 0;
  float max = 0;
  n = 0;
  score = 0;
  for (int s : gene.snp_index) {
    const SNP& snp = snpdat.snpvec[static_cast<std::size_t>(s)];
    if (!snp.used) continue;
    const float x = snp.*stat;
    sum += x;
    ++n;
    max = x > max ? x : max;
  }
  if (n == 0) return;
  const float mean = sum / static_cast<float>(n);
  if (method == "mean") {
    score = mean;
  } else if (method == "sqrtmean") {
    score = std::sqrt(mean);
  } else if (method == "max") {
    score = max;
  }
}

/// (score - mean) / sd for a used gene. The guard is "sd > 1e-6": an sd at the tolerance
/// itself, or not a number (simulated moments take the root of a difference that can come out
/// slightly negative), gives 0 rather than a huge or NaN z-score.
float standardise(bool used, float score, float mean, float sd) {
  if (!used || !(sd > kTolerance)) return 0;
  return (score - mean) / sd;
}

/// Sums of squares of the correlations between the SNP columns xs (one gene) and the columns
/// ys, which hold several genes one after the other: segment m is ys[ends[m-1] .. ends[m]).
/// Every entry gets cor()'s float operations, and each segment's sum follows Matrix::ssq's
/// order (xs outer, the segment's columns inner), so each result equals that of the gene pair
/// alone. The columns are laid out row by row in whole vectors of 8, so that independent
/// running sums share one vector instruction with exactly the scalar operations in each lane;
/// putting a gene's partners side by side wastes fewer lanes than padding each pair.
__attribute__((target_clones("avx512f", "avx2", "default"))) std::vector<float> ssq_of_correlations(
    const std::vector<const SnpDeviation*>& xs, const std::vector<const SnpDeviation*>& ys,
    const std::vector<std::size_t>& ends, float dm) {
  typedef float v8f __attribute__((vector_size(32)));
  constexpr std::size_t kGroup = 8;
  const std::size_t steps = xs.front()->dev.size();
  const std::size_t width = (ys.size() + kGroup - 1) / kGroup * kGroup;
  std::vector<float> block(steps * width, 0.0f);
  for (std::size_t k = 0; k < ys.size(); ++k)
    for (std::size_t i = 0; i < steps; ++i) block[i * width + k] = ys[k]->dev[i];

  std::vector<float> r(width);
  std::vector<float> ssq(ends.size(), 0.0f);
  for (const SnpDeviation* x : xs) {
    std::fill(r.begin(), r.end(), 0.0f);
    for (std::size_t i = 0; i < steps; ++i) {
      const auto n = static_cast<float>(i + 2);  // row i + 1 of cor()
      const auto fi = static_cast<float>(i + 1);
      const float dx = x->dev[i];
      const float* dy = &block[i * width];
      for (std::size_t k = 0; k < width; k += kGroup) {
        v8f y, acc;  // unaligned loads and stores through memcpy
        std::memcpy(&y, dy + k, sizeof y);
        std::memcpy(&acc, &r[k], sizeof acc);
        acc = ((dx * y) * fi) / n + acc;
        std::memcpy(&r[k], &acc, sizeof acc);
      }
    }
    std::size_t k = 0;
    for (std::size_t m = 0; m < ends.size(); ++m) {
      for (; k < ends[m]; ++k) {
        float v = r[k] / dm;
        const float s = std::sqrt(x->ss * ys[k]->ss);
        v = s > kTolerance ? v / s : 0.0f;
        ssq[m] += v * v;
      }
    }
  }
  return ssq;
}

void write_csv_row(std::ostream& out, const Gene& gene) {
  out << std::setw(9) << gene.name << ", " << std::setw(8) << gene.count << ", "
      << std::setprecision(3) << std::setw(6) << gene.score << ", " << std::setw(6)
      << gene.null_mean << ", " << std::setw(6) << gene.null_sd << ", " << std::setw(6)
      << gene.zscore << ", " << std::setprecision(6) << std::setw(10) << gene.sim_pval << '\n';
}

void write_html_row(std::ostream& out, const Gene& gene) {
  out << "<tr>\n";
  out << "<td> <A HREF=\"" << kGeneDatabase << "/gene?term=" << percent_encode(gene.name) << "\">"
      << html_escape(gene.name) << "</A></td>\n";
  out << "<td>" << gene.count << "</td>\n";
  out << "<td>" << gene.zscore << "</td>\n";
  out << "<td>" << gene.sim_pval << "</td>\n";
  out << "</tr>\n";
}
}  // namespace

GENEData::GENEData(std::string gScore, std::string gMoments, std::string filename,
                   int max_dist2gene, SNPData& snpdat)
    : gene_snp_filename(std::move(filename)) {
  load_gene_snp(snpdat, max_dist2gene);
  ngene = static_cast<int>(genevec.size());
  geneScore = std::move(gScore);
  geneMoments = std::move(gMoments);
  for (Gene& gene : genevec) {
    gene.used = false;
    gene.count = 0;
    gene.score = gene.null_mean = gene.var_mean = gene.null_sd = 0;
    gene.zscore = gene.snp_rank = gene.gene_rank = 0;
    gene.sim_count = 0;
    gene.sim_score = gene.sim_zscore = 0;
    gene.sim_pval = 1;
  }
}

void GENEData::load_gene_snp(SNPData& snpdat, int max_dist2gene) {
  TextInput in(gene_snp_filename);
  if (!in.is_open()) fail_stderr("error: " + gene_snp_filename + "not found");
  std::string line;
  std::vector<std::string> fields;
  while (in.read_line(line)) {
    tokenize(line, fields, kFieldDelimiters);
    if (fields.empty() || is_comment(fields)) continue;
    require_fields(fields, 3, in.line_number, gene_snp_filename);
    const std::string& gene_name = fields[0];
    const std::string& snp_name = fields[1];
    // Widened before abs: the most negative 32-bit distance has no 32-bit absolute value.
    long distance = 0;
    if (!read_distance(fields[2], distance)) {
      fail_stderr("error: distance '" + fields[2] + "' on line " + std::to_string(in.line_number) +
                  " of file " + gene_snp_filename + " is not a whole number of base pairs");
    }
    if (std::labs(distance) > max_dist2gene) continue;
    const auto snp_it = snpdat.snp_score_map.find(snp_name);
    if (snp_it == snpdat.snp_score_map.end()) continue;
    const int snp_index = snp_it->second;

    const auto gene_it = gene_map.find(gene_name);
    if (gene_it == gene_map.end()) {
      Gene gene;
      gene.name = gene_name;
      gene.snp.push_back(snp_name);
      gene.snp_index.push_back(snp_index);
      gene_map[gene_name] = static_cast<int>(genevec.size());
      genevec.push_back(gene);
    } else {
      Gene& gene = genevec[static_cast<std::size_t>(gene_it->second)];
      bool known = false;
      for (const std::string& name : gene.snp) known = known || name == snp_name;
      if (known) continue;
      gene.snp.push_back(snp_name);
      gene.snp_index.push_back(snp_index);
    }
    snpdat.snpvec[static_cast<std::size_t>(snp_index)].used = true;
  }
}

int GENEData::get_gene_index(const std::string& gene) const {
  const auto it = gene_map.find(gene);
  return it == gene_map.end() ? -1 : it->second;
}

void GENEData::all_genes_used() {
  for (Gene& gene : genevec) gene.used = true;
}

int GENEData::count_gene_used() const {
  int n = 0;
  for (const Gene& gene : genevec) n += gene.used ? 1 : 0;
  return n;
}

int GENEData::count_genes_used() const { return count_gene_used(); }

void GENEData::compute_score(SNPData& snpdat) {
  for (Gene& gene : genevec) {
    gene.count = 0;
    gene.score = 0;
    if (gene.used) score_gene(gene, snpdat, &SNP::x_stat, geneScore, gene.count, gene.score);
  }
}

void GENEData::compute_score_sim(SNPData& snpdat) {
  for (Gene& gene : genevec) {
    gene.sim_count = 0;
    gene.sim_score = 0;
    if (gene.used) {
      score_gene(gene, snpdat, &SNP::sim_x_stat, geneScore, gene.sim_count, gene.sim_score);
    }
  }
}

int GENEData::count_used_snps(const SNPData& snpdat, int gene) const {
  return static_cast<int>(used_snps(genevec[static_cast<std::size_t>(gene)], snpdat).size());
}

Matrix<float> GENEData::gene_snp_matrix(const SNPData& snpdat, int gene) const {
  const std::vector<int> snps = used_snps(genevec[static_cast<std::size_t>(gene)], snpdat);
  Matrix<float> mat(snpdat.nsubj, static_cast<int>(snps.size()));
  std::vector<float> scratch;
  for (std::size_t col = 0; col < snps.size(); ++col) {
    const float* scores = snpdat.scoremat.row(snps[col], scratch);
    for (int subj = 0; subj < mat.nrow; ++subj) mat[subj][col] = scores[subj];
  }
  return mat;
}

float GENEData::gene_self_cov(SNPData& snpdat, int gene) {
  const int m = count_used_snps(snpdat, gene);
  if (m == 0) return 0;
  if (m == 1) return 2;
  Matrix<float> data = gene_snp_matrix(snpdat, gene);
  const Moments<float> moments(data);
  if (moments.error != 0)
    fail_stderr("error: moments_score has error = " + std::to_string(moments.error));
  const Matrix<float> r = moments.correlation();
  return static_cast<float>(static_cast<double>(r.ssq()) * 2 /
                            static_cast<double>(static_cast<float>(m * m)));
}

const SnpDeviation& GENEData::snp_deviation_of(const SNPData& snpdat, int snp) {
  if (snp_deviation.size() < snpdat.snpvec.size()) snp_deviation.resize(snpdat.snpvec.size());
  SnpDeviation& d = snp_deviation[static_cast<std::size_t>(snp)];
  if (d.ready) return d;
  // The column part of cor(): running mean and sum of squares, row by row, in float.
  std::vector<float> scratch;
  const float* scores = snpdat.scoremat.row(snp, scratch);
  const int rows = snpdat.nsubj;
  d.dev.assign(static_cast<std::size_t>(rows > 1 ? rows - 1 : 0), 0.0f);
  float mean = rows > 0 ? scores[0] : 0.0f;
  float ss = 0;
  for (int i = 1; i < rows; ++i) {
    const auto n = static_cast<float>(i + 1);
    const auto fi = static_cast<float>(i);
    const float dx = scores[i] - mean;
    mean += dx / n;
    ss += ((dx * dx) * fi) / n;
    d.dev[static_cast<std::size_t>(i - 1)] = dx;
  }
  d.ss = ss / static_cast<float>(rows - 1.0);
  d.ready = true;
  return d;
}

float GENEData::gene_pair_cov(SNPData& snpdat, int a, int b) {
  if (snpdat.nsubj < 1 || count_used_snps(snpdat, a) == 0 || count_used_snps(snpdat, b) == 0) {
    // Nothing to correlate: cor() reports the size error and stops the run.
    Matrix<float> sa = gene_snp_matrix(snpdat, a);
    Matrix<float> sb = gene_snp_matrix(snpdat, b);
    cor(sa, sb);
    return 0;  // not reached
  }
  prepare_snp_deviations(snpdat, a);
  prepare_snp_deviations(snpdat, b);
  return pair_cov_from_deviations(snpdat, a, b);
}

void GENEData::prepare_snp_deviations(const SNPData& snpdat, int gene) {
  for (int s : used_snps(genevec[static_cast<std::size_t>(gene)], snpdat))
    snp_deviation_of(snpdat, s);
}

float GENEData::pair_cov_from_deviations(const SNPData& snpdat, int a, int b) const {
  return pair_covs_from_deviations(snpdat, a, std::vector<int>{b}).front();
}

std::vector<float> GENEData::pair_covs_from_deviations(const SNPData& snpdat, int a,
                                                       const std::vector<int>& partners) const {
  const std::vector<int> snps_a = used_snps(genevec[static_cast<std::size_t>(a)], snpdat);
  std::vector<std::vector<int>> snps_b;
  for (int b : partners) snps_b.push_back(used_snps(genevec[static_cast<std::size_t>(b)], snpdat));
  std::vector<float> ssq;
#ifdef HALVORIX_LITERAL_KERNEL
  // The straightforward computation, kept as a build option for the "before" timings.
  Matrix<float> sa = gene_snp_matrix(snpdat, a);
  for (int b : partners) {
    Matrix<float> sb = gene_snp_matrix(snpdat, b);
    ssq.push_back(cor(sa, sb).ssq());
  }
#else
  // Entry (j, k) of cor(S_a, S_b) depends on SNP columns j and k alone, so each SNP's
  // deviations are formed once per run instead of once per gene pair, and all partners of
  // gene a are correlated with it in one pass.
  std::vector<const SnpDeviation*> xs, ys;
  std::vector<std::size_t> ends;
  for (int s : snps_a) xs.push_back(&snp_deviation[static_cast<std::size_t>(s)]);
  for (const std::vector<int>& snps : snps_b) {
    for (int s : snps) ys.push_back(&snp_deviation[static_cast<std::size_t>(s)]);
    ends.push_back(ys.size());
  }
  ssq = ssq_of_correlations(xs, ys, ends, static_cast<float>(snpdat.nsubj - 1.0));
#endif
  std::vector<float> covs;
  for (std::size_t m = 0; m < partners.size(); ++m) {
    // Both genes have a used SNP here, so the denominator is at least 1.
    const auto denom = static_cast<float>(snps_a.size() * snps_b[m].size());
    covs.push_back(
        static_cast<float>(static_cast<double>(ssq[m]) * 2 / static_cast<double>(denom)));
  }
  return covs;
}

std::vector<float> GENEData::gene_pair_covs(SNPData& snpdat,
                                            const std::vector<std::pair<int, int>>& pairs) {
  std::vector<float> covs(pairs.size(), 0.0f);
  if (pairs.empty()) return covs;
  if (snpdat.nsubj < 1) {  // the size error of cor(), reported once from this thread
    covs[0] = gene_pair_cov(snpdat, pairs[0].first, pairs[0].second);
    return covs;
  }
  for (const auto& [a, b] : pairs) {
    prepare_snp_deviations(snpdat, a);
    prepare_snp_deviations(snpdat, b);
  }
  // Runs of consecutive pairs with the same first gene are computed together.
  std::vector<std::size_t> run_starts;
  for (std::size_t p = 0; p < pairs.size(); ++p)
    if (p == 0 || pairs[p].first != pairs[p - 1].first) run_starts.push_back(p);
  run_starts.push_back(pairs.size());
  const std::size_t nruns = run_starts.size() - 1;
  // Each run only reads the prepared deviations and writes its own entries, so the runs can
  // be shared among threads without changing any value.
  const auto hardware = static_cast<std::size_t>(std::max(1u, std::thread::hardware_concurrency()));
  const std::size_t parts = std::min(hardware, nruns);
  auto compute_runs = [&](std::size_t part) {
    std::vector<int> partners;
    for (std::size_t run = part; run < nruns; run += parts) {
      partners.clear();
      for (std::size_t p = run_starts[run]; p < run_starts[run + 1]; ++p)
        partners.push_back(pairs[p].second);
      const std::vector<float> run_covs =
          pair_covs_from_deviations(snpdat, pairs[run_starts[run]].first, partners);
      std::copy(run_covs.begin(), run_covs.end(),
                covs.begin() + static_cast<std::ptrdiff_t>(run_starts[run]));
    }
  };
  std::vector<std::thread> helpers;
  for (std::size_t part = 1; part < parts; ++part) helpers.emplace_back(compute_runs, part);
  compute_runs(0);
  for (std::thread& helper : helpers) helper.join();
  return covs;
}

void GENEData::compute_gene_var(SNPData& snpdat) {
  for (std::size_t g = 0; g < genevec.size(); ++g) {
    Gene& gene = genevec[g];
    gene.var_mean = 0;
    if (gene.used) gene.var_mean = gene_self_cov(snpdat, static_cast<int>(g));
  }
}

void GENEData::score_mean_moments(SNPData& snpdat) {
  compute_gene_var(snpdat);
  for (Gene& gene : genevec) {
    gene.null_mean = gene.used ? 1.0f : 0.0f;
    gene.null_sd = gene.used ? std::sqrt(gene.var_mean) : 0.0f;
  }
}

void GENEData::score_sqrtmean_moments(SNPData& snpdat) {
  compute_gene_var(snpdat);
  for (Gene& gene : genevec) {
    gene.null_mean = 0;
    gene.null_sd = 0;
    if (!gene.used) continue;
    const auto var = static_cast<double>(gene.var_mean);
    gene.null_mean = static_cast<float>(var * -0.125 + 1.0);
    gene.null_sd = static_cast<float>(std::sqrt(var * 0.25));
  }
}

void GENEData::sim_score_moments(SNPData& snpdat) {
  std::vector<float> sum(genevec.size(), 0.0f);
  std::vector<float> sumsq(genevec.size(), 0.0f);
  snpdat.plan_replicates(kMomentReplicates);
  for (int rep = 0; rep < kMomentReplicates; ++rep) {
    snpdat.random_x_stat();
    compute_score_sim(snpdat);
    for (std::size_t g = 0; g < genevec.size(); ++g) {
      if (!genevec[g].used) continue;
      const float s = genevec[g].sim_score;
      sum[g] += s;
      sumsq[g] += s * s;
    }
  }
  const auto reps = static_cast<float>(kMomentReplicates);
  const auto reps_less_one = static_cast<float>(kMomentReplicates - 1);
  for (std::size_t g = 0; g < genevec.size(); ++g) {
    Gene& gene = genevec[g];
    gene.null_mean = 0;
    gene.null_sd = 0;
    if (!gene.used) continue;
    gene.null_mean = sum[g] / reps;
    gene.null_sd = std::sqrt((sumsq[g] - sum[g] * sum[g] / reps) / reps_less_one);
  }
}

void GENEData::compute_score_moments(SNPData& snpdat) {
  if (geneScore == "sqrtmean" && geneMoments == "nor") {
    score_sqrtmean_moments(snpdat);
  } else if (geneScore == "mean" && geneMoments == "nor") {
    score_mean_moments(snpdat);
  } else {
    sim_score_moments(snpdat);
  }
}

void GENEData::compute_zscore() {
  for (Gene& gene : genevec)
    gene.zscore = standardise(gene.used, gene.score, gene.null_mean, gene.null_sd);
}

void GENEData::compute_zscore_sim() {
  for (Gene& gene : genevec)
    gene.sim_zscore = standardise(gene.used, gene.sim_score, gene.null_mean, gene.null_sd);
}

void GENEData::compute_gene_snp_rank(SNPData& snpdat) {
  for (Gene& gene : genevec) {
    if (!gene.used) continue;
    float sum = 0;
    int n = 0;
    for (int s : gene.snp_index) {
      const SNP& snp = snpdat.snpvec[static_cast<std::size_t>(s)];
      if (!snp.used) continue;
      sum += snp.rank_x_stat;
      ++n;
    }
    gene.snp_rank = n > 0 ? sum / static_cast<float>(n) : 0.0f;
  }
}

void GENEData::compute_gene_rank() {
  std::vector<float> zscores;
  for (const Gene& gene : genevec)
    if (gene.used) zscores.push_back(gene.zscore);
  std::vector<float> ranks;
  ranker::rankhigh(zscores, ranks, "average");
  std::size_t k = 0;
  for (Gene& gene : genevec)
    if (gene.used) gene.gene_rank = ranks[k++];
}

void GENEData::compute_gene_cov(SNPData& snpdat) {
  gene_cov.set_size(ngene, ngene);
  std::cout << "computing gene_cov matrix, size = " << ngene << " x " << ngene << std::endl;
  std::vector<bool> has_snps(genevec.size());
  for (int g = 0; g < ngene; ++g)
    has_snps[static_cast<std::size_t>(g)] =
        genevec[static_cast<std::size_t>(g)].used && count_used_snps(snpdat, g) >= 1;
  for (int i = 0; i < ngene; ++i) {
    if (!has_snps[static_cast<std::size_t>(i)]) continue;
    gene_cov[i][static_cast<std::size_t>(i)] = gene_self_cov(snpdat, i);
    for (int j = 0; j < i; ++j) {
      if (!has_snps[static_cast<std::size_t>(j)]) continue;
      const float cov = gene_pair_cov(snpdat, i, j);
      gene_cov[i][static_cast<std::size_t>(j)] = cov;
      gene_cov[j][static_cast<std::size_t>(i)] = cov;
    }
  }
}

void GENEData::stepDownPval(int nsim, SNPData& snpdat) {
  check_nsim(nsim);
  std::vector<float> stats;
  stats.reserve(genevec.size());
  for (Gene& gene : genevec) {
    gene.sim_pval = 1;
    stats.push_back(gene.zscore);
  }
  StepDownPval stepdown(stats, nsim);
  std::vector<float> sim(genevec.size());
  const ReplicateShare share = begin_replicate_share(snpdat, nsim);
  Progress progress("replicates", share.count());
  for (int rep = share.first; rep < share.last; ++rep) {
    snpdat.random_x_stat();
    compute_score_sim(snpdat);
    compute_zscore_sim();
    for (std::size_t g = 0; g < genevec.size(); ++g) sim[g] = genevec[g].sim_zscore;
    stepdown.update_by_sim_stats(sim);
    progress.tick();
  }
  end_replicate_share(snpdat, nsim, share, stepdown);
  stepdown.compute_pval();
  stepdown.sort_index();
  for (const StatInfo& record : stepdown.stat_info)
    genevec[static_cast<std::size_t>(record.index)].sim_pval = record.pval;
}

void GENEData::print_summary(const std::string& title) const {
  print_banner(title, 80);
  int used = 0;
  int min = 0;
  int max = 0;
  float sum = 0;
  for (const Gene& gene : genevec) {
    if (!gene.used) continue;
    if (used == 0) min = max = gene.count;
    max = std::max(max, gene.count);
    min = std::min(min, gene.count);
    sum += static_cast<float>(gene.count);
    ++used;
  }
  const float mean = used > 0 ? sum / static_cast<float>(used) : 0.0f;
  std::cout << "gene_snp file name = " << gene_snp_filename << '\n';
  std::cout << "         No. genes = " << ngene << '\n';
  std::cout << "    No. genes used = " << used << '\n';
  std::cout << "No. snps/gene: min = " << min << '\n';
  std::cout << "               max = " << max << '\n';
  std::cout.precision(2);
  std::cout << "              mean = " << mean << std::endl;
}

void GENEData::print_genevec(const std::string& title) const {
  print_banner(title, 80);
  std::cout << "ngene = " << ngene << "\n\n";
  for (std::size_t i = 0; i < genevec.size(); ++i) {
    const Gene& gene = genevec[i];
    std::cout << "gene[" << i << "] = " << gene.name << '\n';
    std::cout << "                      used = " << (gene.used ? 1 : 0)
              << ", count = " << gene.count << ", score = " << gene.score
              << ", null_mean = " << gene.null_mean << ", null_sd = " << gene.null_sd << '\n';
    std::cout << "                      snp : ";
    for (const std::string& name : gene.snp) std::cout << name << ", ";
    std::cout << '\n';
    std::cout << "                snp_index : ";
    for (int s : gene.snp_index) std::cout << s << ", ";
    std::cout << '\n';
  }
  std::cout.flush();
}

void GENEData::print_gene_map(const std::string& title) const {
  print_banner(title, 80);
  for (const auto& entry : gene_map) std::cout << entry.first << " => " << entry.second << '\n';
  std::cout.flush();
}

void GENEData::print_gene_cov(const std::string& title) const {
  print_banner(title, 80);
  std::cout << gene_cov;
}

void GENEData::print_gene_stats_csv(const std::string& outfile) const {
  ResultFile result(outfile);
  std::ofstream& out = result.out;
  if (!result.is_open()) {
    std::cout << "Cannot open " << outfile << "for csv output." << std::endl;
    return;
  }
  out << "   geneID, num_snps,   score,   mean,     sd, zscore,       pval\n";
  for (const Gene& gene : genevec) write_csv_row(out, gene);
  result.commit();
}

void GENEData::print_gene_stats_html(const std::string& outfile) const {
  ResultFile result(outfile);
  std::ofstream& out = result.out;
  if (!result.is_open()) {
    std::cout << "Cannot open " << outfile << "for html output." << std::endl;
    return;
  }
  out << "<HTML>\n<TITLE> Results </TITLE>\n</HEAD>\n<BODY>\n";
  out << "<H1> Gene-Level Analyses</H1>\n";
  out << "<table border=\"1\">\n";
  out << "<tr>\n<td>gene ID</td>\n<td>no. SNPs</td>\n<td>z-score</td>\n<td>p-value</td>\n</tr>\n";
  out.precision(4);
  for (const Gene& gene : genevec) write_html_row(out, gene);
  out << "</table>\n</BODY>\n</HTML>\n";
  result.commit();
}

bool Gene_greater_zscore(const Gene& gene1, const Gene& gene2) {
  // NaN compares false both ways, which would break std::sort's strict weak ordering and can
  // send it past the range; NaN z-scores are therefore equivalent to each other and last.
  const bool nan1 = std::isnan(gene1.zscore);
  const bool nan2 = std::isnan(gene2.zscore);
  if (nan1 || nan2) return !nan1 && nan2;
  return gene1.zscore > gene2.zscore;
}
