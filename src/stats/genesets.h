// Gene sets for the GO, KEGG and SETS methods: building them from an annotation source, their
// scores and null moments, simulated replicates, step-down p-values and the result files.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "stats/gene.h"
#include "stats/gmt.h"
#include "stats/go.h"
#include "stats/kegg.h"
#include "stats/scoring.h"
#include "stats/snp.h"

struct GENE_SET {
  std::vector<int> set_index;          ///< terms or pathways that produced this set
  std::vector<std::string> set_names;  ///< their names, parallel to set_index
  std::set<int> gene_index_set;        ///< genes of the set: indexes in GENEData::genevec
  int count = 0;
  float mean = 0;
  float var = 0;
  float zscore = 0;
  float gene_rank = 0;  ///< mean gene_rank of the set's genes
  int sim_count = 0;
  float sim_mean = 0;
  float sim_var = 0;
  float sim_zscore = 0;
  float sim_pval = 1;
  float score = 0;
  float sim_score = 0;
  float null_mean = 0;
  float null_sd = 0;
};

/// The genes of every set side by side, in increasing index order per set (set i holds
/// genes[begin[i] .. begin[i + 1])): the replicate loops walk arrays instead of ordered sets.
struct FlatGeneSets {
  std::vector<int> genes;
  std::vector<std::size_t> begin;
  /// Weight of each gene of GENEData::genevec for the weighted-mean set scores, computed once
  /// before the replicates (it depends only on gene_cov); empty when not asked for.
  std::vector<float> weight;
  explicit FlatGeneSets(const std::vector<GENE_SET>& sets);
  FlatGeneSets(const std::vector<GENE_SET>& sets, const GENEData& genedat,
               float (*weight_of)(const GENEData&, int));
};

/// The annotation the sets were made from; the HTML links terms or pathways by it.
enum class SetSource { go, kegg, gmt };

class GeneSets {
 public:
  int max_set_size = 0;  ///< 0 or less: no limit
  std::vector<GENE_SET> geneset_vec;
  std::string makeSetsMethod;  ///< "GO-" + GO type, "KEGG" or "SETS"
  std::string setIDLabel;      ///< "GOID", "KEGGID" or "SETID"
  SetSource source = SetSource::go;
  /// For GMT sets: each file set's description, by the set_index that GENE_SET records.
  std::vector<std::string> set_descriptions;
  /// The run's scoring, held by the plan; set_score and gene_score are read here.
  const Scoring& scoring;

  explicit GeneSets(const Scoring& run_scoring = kDefaultScoring);
  void set_max_set_size(int max);
  void make_gene_sets(const GOData& godat, int maxSetSize);
  void make_gene_sets(const KEGGData& keggdat, int maxSetSize);
  void make_gene_sets(const GMTData& gmtdat, int maxSetSize);
  void print_geneset_summary(const std::string& title) const;

  void score_wtd_mean(GENEData& genedat);
  void score_wtd_mean_sim(GENEData& genedat);
  void score_nor_mean_moments(GENEData& genedat);
  void score_wtd_sqrtmean(GENEData& genedat);
  void score_wtd_sqrtmean_sim(GENEData& genedat);
  void score_nor_sqrtmean_moments(GENEData& genedat);
  /// Every set's sim_score as the weighted mean of its genes' sim_score under flat.weight.
  void weighted_sim_scores(GENEData& genedat, const FlatGeneSets& flat);
  void score_mean_gene_zscore(GENEData& genedat);
  void sim_score_mean_gene_zscore(GENEData& genedat);
  void sim_score_mean_gene_zscore(GENEData& genedat, const FlatGeneSets& flat);
  void score_max_gene_zscore(GENEData& genedat);
  void sim_score_max_gene_zscore(GENEData& genedat);
  void sim_score_max_gene_zscore(GENEData& genedat, const FlatGeneSets& flat);
  void compute_zscore();
  void compute_zscore_sim();
  void zscore_nor_mean(GENEData& genedat);
  void zscore_nor_sqrtmean(GENEData& genedat);

  /// The observed scores, null moments and z-scores of every set under `scoring`, with the
  /// gene statistics they need.
  void compute_scores(SNPData& snpdat, GENEData& genedat);
  /// Null mean and sd of the mean_z and max_z set scores from simulated replicates.
  void sim_score_moments(SNPData& snpdat, GENEData& genedat);
  /// Adjusted p-values by step-down over nsim replicates; sim_pval of set i comes from the
  /// observed z-score of set i.
  void stepDownPval(int nsim, SNPData& snpdat, GENEData& genedat);
  void compute_geneset_gene_rank(GENEData& genedat);
  void sim_compute_geneset_stats(GENEData& genedat);

  /// Set indexes in report order: decreasing z-score, then the sets whose z-score is not a
  /// number; equal z-scores keep creation order. The sets themselves are not moved.
  std::vector<std::size_t> report_order() const;
  void print_gene_sets_csv(const std::string& outfile, GENEData& genedat) const;
  void print_gene_sets_html(const std::string& outfile, GENEData& genedat) const;
  void print_go_gene_sets_html(const std::string& outfile, GENEData& genedat) const;
  void print_kegg_gene_sets_html(const std::string& outfile, GENEData& genedat) const;
  /// Each set links to its description when that is a web address, else shows its name.
  void print_gmt_gene_sets_html(const std::string& outfile, GENEData& genedat) const;
  /// Set, gene and SNP of every used SNP of every set's genes, sets in report order.
  void print_set_mappings(const std::string& outfile, const SNPData& snpdat,
                          const GENEData& genedat) const;
  void print_gene_sets(const std::string& title, GENEData& genedat) const;
};

bool compare_set_size(const GENE_SET& a, const GENE_SET& b);
/// Order of the set reports: decreasing z-score; a set whose z-score is not a number goes
/// after all others (a strict weak ordering, for a stable sort).
bool GeneSet_greater_zscore(const GENE_SET& set1, const GENE_SET& set2);
