#include "stats/gene.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>

#include "Matrix/Moments.h"
#include "Ranker/ranker.h"
#include "cli/fail.h"
#include "cli/print_banner.h"
#include "conventions.h"
#include "engine/distributed.h"
#include "engine/distributed_transport.h"
#include "engine/parallel_for.h"
#include "files/html.h"
#include "files/result_file.h"
#include "files/tokenize.h"
#include "stats/simulation.h"

namespace {
/// The gene's SNPs whose `used` flag is set, in list order.
std::vector<int> used_snps(const Gene& gene, const SNPData& snpdat) {
  std::vector<int> snps;
  snps.reserve(gene.snp_index.size());
  for (int s : gene.snp_index)
    if (snpdat.snpvec[static_cast<std::size_t>(s)].used) snps.push_back(s);
  return snps;
}

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
void score_gene(const Gene& gene, const SNPData& snpdat, float SNP::*stat, GeneScore method, int& n,
                float& score) {
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
  switch (method) {
    case GeneScore::mean:
      score = mean;
      break;
    case GeneScore::sqrtmean:
      score = std::sqrt(mean);
      break;
    case GeneScore::max:
      score = max;
      break;
  }
}

/// (score - mean) / sd for a used gene. The guard is "sd > 1e-6": an sd at the tolerance
/// itself, or not a number (simulated moments take the root of a difference that can come out
/// slightly negative), gives 0 rather than a huge or NaN z-score.
float standardise(bool used, float score, float mean, float sd) {
  if (!used || !(sd > kTolerance)) return 0;
  return (score - mean) / sd;
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

GENEData::GENEData(const Scoring& run_scoring, std::string filename, int max_dist2gene,
                   SNPData& snpdat)
    : gene_snp_filename(std::move(filename)), scoring(run_scoring) {
  load_gene_snp(snpdat, max_dist2gene);
  ngene = static_cast<int>(genevec.size());
}

GENEData::GENEData(const Scoring& run_scoring,
                   const std::vector<std::pair<std::string, std::string>>& gene_snp,
                   SNPData& snpdat)
    : scoring(run_scoring) {
  SeenPairs seen;
  for (const auto& [gene, snp] : gene_snp) add_gene_snp(snpdat, gene, snp, seen);
  ngene = static_cast<int>(genevec.size());
}

void GENEData::load_gene_snp(SNPData& snpdat, int max_dist2gene) {
  DataLines in(gene_snp_filename, "error: " + gene_snp_filename + "not found");
  std::vector<std::string> fields;
  SeenPairs seen = loaded_pairs();
  while (in.next(fields)) {
    in.require_fields(fields, 3);
    // Widened before abs: the most negative 32-bit distance has no 32-bit absolute value.
    long distance = 0;
    if (!read_distance(fields[2], distance)) {
      fail_stderr("error: distance '" + quote_prefix(fields[2]) + "' on line " +
                  std::to_string(in.line_number()) + " of file " + gene_snp_filename +
                  " is not a whole number of base pairs");
    }
    if (std::labs(distance) > max_dist2gene) continue;
    add_gene_snp(snpdat, fields[0], fields[1], seen);
  }
  in.require_data_lines("gene-SNP lines: gene, SNP, distance");
}

SeenPairs GENEData::loaded_pairs() const {
  SeenPairs seen;
  for (std::size_t g = 0; g < genevec.size(); ++g)
    seen.insert_all(static_cast<int>(g), genevec[g].snp_index);
  return seen;
}

void GENEData::add_gene_snp(SNPData& snpdat, const std::string& gene_name,
                            const std::string& snp_name, SeenPairs& seen) {
  const auto snp_it = snpdat.snp_score_map.find(snp_name);
  if (snp_it == snpdat.snp_score_map.end()) return;
  const int snp_index = snp_it->second;
  // A SNP name has one index, so a repeated (gene, SNP index) pair is a repeated name pair.
  const int gene_index =
      gene_map.try_emplace(gene_name, static_cast<int>(genevec.size())).first->second;
  if (static_cast<std::size_t>(gene_index) == genevec.size()) {
    genevec.emplace_back();
    genevec.back().name = gene_name;
  }
  Gene& gene = genevec[static_cast<std::size_t>(gene_index)];
  if (!seen.insert(gene_index, snp_index, gene.snp_index)) return;
  gene.snp.push_back(snp_name);
  gene.snp_index.push_back(snp_index);
  snpdat.snpvec[static_cast<std::size_t>(snp_index)].used = true;
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
    if (gene.used) score_gene(gene, snpdat, &SNP::x_stat, geneScore(), gene.count, gene.score);
  }
}

void GENEData::compute_score_sim(SNPData& snpdat) {
  for (Gene& gene : genevec) {
    gene.sim_count = 0;
    gene.sim_score = 0;
    if (gene.used) {
      score_gene(gene, snpdat, &SNP::sim_x_stat, geneScore(), gene.sim_count, gene.sim_score);
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
  return gene_self_covs(snpdat, {gene}).front();
}

float GENEData::gene_pair_cov(SNPData& snpdat, int a, int b) {
  return gene_pair_covs(snpdat, {{a, b}}).front();
}

std::vector<float> GENEData::gene_pair_covs(SNPData& snpdat,
                                            const std::vector<std::pair<int, int>>& pairs) {
  std::vector<std::vector<int>> gene_snps(genevec.size());
  std::vector<bool> listed(genevec.size(), false);
  for (const auto& [a, b] : pairs) {
    for (int g : {a, b}) {
      const auto i = static_cast<std::size_t>(g);
      if (listed[i]) continue;
      listed[i] = true;
      gene_snps[i] = used_snps(genevec[i], snpdat);
      // Nothing to correlate: the callers pass genes with data, so this stops a fault in the
      // program rather than read past the data.
      if (gene_snps[i].empty())
        fail_stderr("error: gene covariance: gene " + genevec[i].name + " has no SNP in use");
    }
  }
  if (!pairs.empty() && snpdat.nsubj < 1) fail_stderr("error: gene covariance without subjects");
  const int nprocs = process_count();
  if (nprocs == 1)
    return ::gene_pair_covs(snpdat.scoremat, snp_deviations, gene_snps, pairs, worker_threads());
  // In a job each process computes its share of the pairs, and the shares are gathered by a
  // sum: every other process holds +0 in an entry, and x + 0 is x for every covariance (they
  // are never -0: a sum of squares starts at +0).
  const auto [first, end] = pair_share(gene_snps, pairs, process_rank(), nprocs);
  const std::vector<std::pair<int, int>> share(pairs.begin() + static_cast<std::ptrdiff_t>(first),
                                               pairs.begin() + static_cast<std::ptrdiff_t>(end));
  const std::vector<float> part =
      ::gene_pair_covs(snpdat.scoremat, snp_deviations, gene_snps, share, worker_threads());
  std::vector<float> covs(pairs.size(), 0.0f);
  std::copy(part.begin(), part.end(), covs.begin() + static_cast<std::ptrdiff_t>(first));
  sum_over_processes(covs);
  return covs;
}

std::vector<float> GENEData::gene_self_covs(SNPData& snpdat, const std::vector<int>& genes,
                                            [[maybe_unused]] bool keep_deviations) {
  std::vector<std::vector<int>> gene_snps;
  gene_snps.reserve(genes.size());
  for (int g : genes) {
    gene_snps.push_back(used_snps(genevec[static_cast<std::size_t>(g)], snpdat));
    // Two SNPs or more have moments to form, which takes a subject.
    if (gene_snps.back().size() >= 2 && snpdat.nsubj < 1)
      fail_stderr("error: moments_score has error = 1");
  }
#ifdef HALVORIX_LITERAL_KERNEL
  // The straightforward computation, kept as a build option for the "before" timings.
  std::vector<float> covs(genes.size(), 0.0f);
  parallel_for(static_cast<int>(genes.size()), worker_threads(), [&](int i) {
    const auto k = static_cast<std::size_t>(i);
    const int m = static_cast<int>(gene_snps[k].size());
    if (m < 2) {
      covs[k] = m == 0 ? 0.0f : 2.0f;
      return;
    }
    Matrix<float> data = gene_snp_matrix(snpdat, genes[k]);
    const Moments<float> moments(data);
    const Matrix<float> r = moments.correlation();
    covs[k] = static_cast<float>(static_cast<double>(r.ssq()) * 2 /
                                 static_cast<double>(static_cast<float>(m * m)));
  });
  return covs;
#else
  if (keep_deviations)
    return ::gene_self_covs(snpdat.scoremat, snp_deviations, gene_snps, worker_threads());
  const std::size_t per_snp =
      static_cast<std::size_t>(std::max(snpdat.nsubj - 1, 1)) * sizeof(float);
  std::vector<float> covs;
  covs.reserve(genes.size());
  SnpDeviations deviations;
  for (std::size_t first = 0; first < gene_snps.size();) {
    // At least one gene, then as many more as fit.
    std::size_t end = first + 1, bytes = gene_snps[first].size() * per_snp;
    while (end < gene_snps.size() && bytes + gene_snps[end].size() * per_snp <= deviation_memory)
      bytes += gene_snps[end++].size() * per_snp;
    const std::vector<std::vector<int>> group(
        gene_snps.begin() + static_cast<std::ptrdiff_t>(first),
        gene_snps.begin() + static_cast<std::ptrdiff_t>(end));
    const std::vector<float> part =
        ::gene_self_covs(snpdat.scoremat, deviations, group, worker_threads());
    covs.insert(covs.end(), part.begin(), part.end());
    deviations.forget();
    first = end;
  }
  return covs;
#endif
}

void GENEData::compute_gene_var(SNPData& snpdat) {
  std::vector<int> used_genes;
  for (std::size_t g = 0; g < genevec.size(); ++g) {
    genevec[g].var_mean = 0;
    if (genevec[g].used) used_genes.push_back(static_cast<int>(g));
  }
  const std::vector<float> covs = gene_self_covs(snpdat, used_genes);
  for (std::size_t k = 0; k < used_genes.size(); ++k)
    genevec[static_cast<std::size_t>(used_genes[k])].var_mean = covs[k];
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
  const SimulatedMoments moments =
      simulate_moments(snpdat, genevec.size(), [&](std::vector<float>& sim) {
        compute_score_sim(snpdat);
        for (std::size_t g = 0; g < genevec.size(); ++g) sim[g] = genevec[g].sim_score;
      });
  for (std::size_t g = 0; g < genevec.size(); ++g) {
    Gene& gene = genevec[g];
    gene.null_mean = gene.used ? moments.mean[g] : 0.0f;
    gene.null_sd = gene.used ? moments.sd[g] : 0.0f;
  }
}

void GENEData::compute_score_moments(SNPData& snpdat) {
  if (geneMoments() == GeneMoments::nor && geneScore() == GeneScore::sqrtmean) {
    score_sqrtmean_moments(snpdat);
  } else if (geneMoments() == GeneMoments::nor && geneScore() == GeneScore::mean) {
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

void GeneCovariances::set_size(int genes) {
  size = std::max(genes, 0);
  const auto n = static_cast<std::size_t>(size);
  values_.reset(n == 0 ? nullptr : static_cast<float*>(std::calloc(n * n, sizeof(float))));
  if (n > 0 && values_ == nullptr)
    fail_stderr("error: no memory for the " + std::to_string(n) + " x " + std::to_string(n) +
                " gene covariance matrix");
}

GeneCovariances::GeneCovariances(const GeneCovariances& other) { *this = other; }

GeneCovariances& GeneCovariances::operator=(const GeneCovariances& other) {
  if (this == &other) return *this;
  set_size(other.size);
  const auto n = static_cast<std::size_t>(size);
  if (n > 0) std::memcpy(values_.get(), other.values_.get(), n * n * sizeof(float));
  return *this;
}

std::ostream& operator<<(std::ostream& out, const GeneCovariances& covs) {
  out << "Nrow = " << covs.size << ", Ncol = " << covs.size << std::endl;
  for (int i = 0; i < covs.size; ++i) {
    for (int j = 0; j < covs.size; ++j) out << covs[i][j] << ", ";
    out << std::endl;
  }
  return out;
}

void GENEData::compute_gene_cov(SNPData& snpdat) {
  gene_cov.set_size(ngene);
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
  std::vector<float> observed;
  observed.reserve(genevec.size());
  for (const Gene& gene : genevec) observed.push_back(gene.zscore);
  const std::vector<float> pval =
      simulate_step_down(snpdat, observed, nsim, [&](std::vector<float>& sim) {
        compute_score_sim(snpdat);
        compute_zscore_sim();
        for (std::size_t g = 0; g < genevec.size(); ++g) sim[g] = genevec[g].sim_zscore;
      });
  for (std::size_t g = 0; g < genevec.size(); ++g) genevec[g].sim_pval = pval[g];
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

std::vector<std::size_t> GENEData::report_order() const {
  std::vector<std::size_t> order(genevec.size());
  for (std::size_t g = 0; g < order.size(); ++g) order[g] = g;
  // Stable: genes with equal z-scores keep the order in which they were made, whatever the
  // standard library's sort does with ties, so a seed gives the same files everywhere.
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return Gene_greater_zscore(genevec[a], genevec[b]);
  });
  return order;
}

void GENEData::print_gene_stats_csv(const std::string& outfile) const {
  ResultFile result(outfile);
  if (!result.is_open_or_warn("csv")) return;
  std::ostream& out = result.out;
  out << "   geneID, num_snps,   score,   mean,     sd, zscore,       pval\n";
  for (std::size_t g : report_order()) write_csv_row(out, genevec[g]);
  result.commit();
}

void GENEData::print_gene_stats_html(const std::string& outfile) const {
  ResultFile result(outfile);
  if (!result.is_open_or_warn("html")) return;
  std::ostream& out = result.out;
  out << "<HTML>\n<TITLE> Results </TITLE>\n</HEAD>\n<BODY>\n";
  out << "<H1> Gene-Level Analyses</H1>\n";
  out << "<table border=\"1\">\n";
  out << "<tr>\n<td>gene ID</td>\n<td>no. SNPs</td>\n<td>z-score</td>\n<td>p-value</td>\n</tr>\n";
  out.precision(4);
  for (std::size_t g : report_order()) write_html_row(out, genevec[g]);
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
