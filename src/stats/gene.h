// Gene level: genes and their SNPs from the gene-SNP map, gene scores with their null moments,
// z-scores, ranks, gene covariances, gene step-down p-values and the gene result files.
#pragma once

#include <cstdlib>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "Matrix/MatrixLib.h"
#include "stats/gene_pair_covs.h"
#include "stats/scoring.h"
#include "stats/snp.h"

class GeneSets;

/// SNP deviations formed at a time for gene variances (GENE runs) and for the gene covariances
/// inside sets (a group of sets at a time), in bytes.
constexpr std::size_t kDeviationMemory = std::size_t{256} << 20;

/// The square matrix of gene covariances, 0 where never set. Sets hold few of all gene pairs,
/// so the memory comes from the system untouched (a large calloc maps zero pages) and is paid
/// for only where written; a vector of rows would write all n^2 entries up front.
class GeneCovariances {
 public:
  int size = 0;
  GeneCovariances() = default;
  GeneCovariances(const GeneCovariances& other);
  GeneCovariances& operator=(const GeneCovariances& other);
  GeneCovariances(GeneCovariances&&) = default;
  GeneCovariances& operator=(GeneCovariances&&) = default;
  ~GeneCovariances() = default;
  /// `genes` x `genes` zeros, replacing what was there.
  void set_size(int genes);
  float* operator[](int row) { return values_.get() + static_cast<std::size_t>(row) * size; }
  const float* operator[](int row) const {
    return values_.get() + static_cast<std::size_t>(row) * size;
  }

 private:
  struct Free {
    void operator()(float* p) const { std::free(p); }
  };
  std::unique_ptr<float[], Free> values_;
};
/// Printed as a Matrix prints.
std::ostream& operator<<(std::ostream& out, const GeneCovariances& covs);

struct Gene {
  std::string name;
  bool used = false;             ///< takes part in the analysis
  std::vector<std::string> snp;  ///< SNP names in order of first acceptance, no duplicates
  std::vector<int> snp_index;    ///< parallel to snp: index in SNPData::snpvec
  int count = 0;                 ///< SNPs in use (set by compute_score)
  float score = 0;
  float null_mean = 0;
  float var_mean = 0;  ///< null variance of the mean of the gene's SNP statistics
  float null_sd = 0;
  float zscore = 0;
  float snp_rank = 0;   ///< mean rank of the gene's SNP statistics
  float gene_rank = 0;  ///< rank of zscore among used genes
  int sim_count = 0;
  float sim_score = 0;
  float sim_zscore = 0;
  float sim_pval = 1;  ///< step-down adjusted p-value
};

class GENEData {
 public:
  std::string gene_snp_filename;
  int ngene = 0;
  std::vector<Gene> genevec;            ///< in order of first appearance in the file
  std::map<std::string, int> gene_map;  ///< name -> index in genevec as loaded
  GeneCovariances gene_cov;             ///< null covariances of the genes' mean SNP statistics
  /// The run's scoring, held by the plan; gene_score and gene_moments are read here.
  const Scoring& scoring = kDefaultScoring;
  /// Bytes of SNP deviations formed at a time (gene variances; covariances inside sets).
  std::size_t deviation_memory = kDeviationMemory;
  /// The SNPs' part of the gene covariances, formed on first use.
  SnpDeviations snp_deviations;

  GENEData() = default;
  GENEData(const Scoring& run_scoring, std::string filename, int max_dist2gene, SNPData& snpdat);
  /// Genes given in memory: (gene, SNP) pairs in the order a gene-SNP file would list them,
  /// every distance taken as inside the window.
  GENEData(const Scoring& run_scoring,
           const std::vector<std::pair<std::string, std::string>>& gene_snp, SNPData& snpdat);
  /// How a gene's SNP statistics make its score, and where its null moments come from.
  GeneScore geneScore() const { return scoring.gene_score; }
  GeneMoments geneMoments() const { return scoring.gene_moments; }

  void load_gene_snp(SNPData& snpdat, int max_dist2gene);
  /// Adds SNP `snp_name` to gene `gene_name` (a new gene goes last), as one accepted line of
  /// the gene-SNP file; unknown SNPs and repeated pairs are skipped.
  void add_gene_snp(SNPData& snpdat, const std::string& gene_name, const std::string& snp_name);
  /// Index of `gene` in genevec, or -1 when unknown.
  int get_gene_index(const std::string& gene) const;
  void all_genes_used();
  int count_gene_used() const;
  int count_genes_used() const;

  void compute_score(SNPData& snpdat);
  void compute_score_sim(SNPData& snpdat);
  void compute_gene_var(SNPData& snpdat);
  void score_mean_moments(SNPData& snpdat);
  void score_sqrtmean_moments(SNPData& snpdat);
  void sim_score_moments(SNPData& snpdat);
  /// Analytic moments for a mean or sqrtmean score with normal moments; simulated otherwise
  /// (a max score has no analytic ones).
  void compute_score_moments(SNPData& snpdat);
  void compute_zscore();
  void compute_zscore_sim();
  void compute_gene_snp_rank(SNPData& snpdat);
  void compute_gene_rank();
  void compute_gene_cov(SNPData& snpdat);
  /// gene_cov for the genes and gene pairs that share a gene set (weighted-mean set scores).
  void compute_gene_cov2(SNPData& snpdat, GeneSets& gene_sets);
  void stepDownPval(int nsim, SNPData& snpdat);

  /// Number of the gene's SNPs whose `used` flag is set.
  int count_used_snps(const SNPData& snpdat, int gene) const;
  /// Subject-by-SNP matrix of a gene: one column per used SNP in list order (0 x 0 when the
  /// gene has no used SNP).
  Matrix<float> gene_snp_matrix(const SNPData& snpdat, int gene) const;
  /// Null variance of the mean SNP statistic of one gene (the gene_cov diagonal and var_mean):
  /// 0 without used SNPs, 2 with one, else 2 * ssq(R) / m^2 of the SNP correlations R (those
  /// of Moments). Stops the run when the moments of the SNP matrix cannot be formed.
  float gene_self_cov(SNPData& snpdat, int gene);
  /// gene_self_cov of each of `genes`, in that order, spread over the worker threads; the
  /// values do not depend on the thread count. With `keep_deviations` the SNP deviations stay
  /// in snp_deviations for the pair covariances that follow; otherwise genes go in groups
  /// whose deviations fit deviation_memory, each group's given back before the next, since
  /// the deviations of all SNPs would take as much memory as the scores.
  std::vector<float> gene_self_covs(SNPData& snpdat, const std::vector<int>& genes,
                                    bool keep_deviations = false);
  /// Null covariance of the mean SNP statistics of genes a and b: 2 * ssq(C) / (m_a * m_b) with
  /// C = cor(S_a, S_b). Both genes need a used SNP; otherwise the run stops.
  float gene_pair_cov(SNPData& snpdat, int a, int b);
  /// Covariances of many gene pairs at once, shared among worker_threads(); the same values as
  /// gene_pair_cov one by one. Stops the run when a gene of a pair has no used SNP.
  std::vector<float> gene_pair_covs(SNPData& snpdat, const std::vector<std::pair<int, int>>& pairs);

  void print_summary(const std::string& title) const;
  void print_genevec(const std::string& title) const;
  void print_gene_map(const std::string& title) const;
  void print_gene_cov(const std::string& title) const;
  /// Gene indexes in report order: decreasing z-score, not-a-number last, equal z-scores in
  /// the order in which the genes were made (whatever the standard library).
  /// The genes themselves never move, so gene_map and every index into genevec stay valid.
  std::vector<std::size_t> report_order() const;
  /// The gene results, in report order.
  void print_gene_stats_csv(const std::string& outfile) const;
  void print_gene_stats_html(const std::string& outfile) const;
};

/// Order of the gene reports: decreasing z-score.
bool Gene_greater_zscore(const Gene& gene1, const Gene& gene2);
