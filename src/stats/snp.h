// SNP scores: the SNP-by-subject score matrix, one record per SNP, the SNP statistics with
// their simulated replicates and step-down p-values, and the run's one random generator.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/MersenneTwister.h"
#include "engine/permutation_kernel.h"
#include "engine/replicate_batches.h"
#include "engine/snp_kernel.h"
#include "files/score_matrix.h"
#include "stats/centred_genotypes.h"

struct SNP {
  std::string name;
  bool used = false;      ///< takes part in the statistics
  int row_index = 0;      ///< row in scoremat = position in snpvec = 0-based data-line number
  float x_stat = 0;       ///< observed statistic: (sum of scores)^2 / sum of squares
  float sim_x_stat = 0;   ///< statistic of the latest simulated replicate
  float rank_x_stat = 0;  ///< rank of x_stat among the used SNPs (1 = largest)
  float sim_pval = 1;     ///< step-down adjusted p-value (SNP method)
};

class SNPData {
 public:
  std::string snp_score_filename;
  ScoreMatrix scoremat;  ///< one row per SNP (file order), one column per subject
  int nsubj = 0;
  int nsnp = 0;
  unsigned long random_seed = 0;  ///< seed in use, as reported
  MTRand randGenerator;           ///< every simulation of the run draws from this one stream
  float missing_score = -999;
  std::map<std::string, int> snp_score_map;  ///< name -> index; a repeated name keeps its first
  std::string missing_method = "zero";       ///< "zero" or "mean"
  std::vector<SNP> snpvec;
  std::vector<int> snp_used_index;  ///< indexes of used SNPs, ascending
  BlockedScores used_scores;        ///< the used SNPs' scores as the kernel reads them
  bool used_scores_stale = true;    ///< the used SNPs changed since used_scores was set up
  /// Replicates drawn ahead of the calls of random_x_stat, when they were announced.
  ReplicateBatches replicates;
  bool binary_scores = false;  ///< the scores came from a binary score file
  /// Replicates permute a compact file's residuals among the subjects (the permutation null)
  /// instead of weighting the scores; observed statistics are then those of centred_genotypes.
  bool permute_residuals = false;
  CentredGenotypes centred_genotypes;  ///< what the permuted scores are made of
  CentredBlocks used_centred;  ///< the used SNPs' centred genotypes as the kernel reads them

  /// Loads the score file (text or binary, told apart by its first byte) and sets up the
  /// replacement of missing scores; stops the run on a malformed file.
  SNPData(std::string filename, float missing, std::string method);
  /// Scores given in memory: one row of scores per SNP name, all rows of one length; missing
  /// codes are replaced as for a file. Stops the run when the rows are ragged or empty.
  SNPData(const std::vector<std::string>& names, const std::vector<std::vector<float>>& rows,
          float missing = -999, std::string method = "zero");
  /// An empty data set, filled by the caller (benchmarks and the fuzz harness build scores
  /// themselves).
  SNPData() = default;

  void load_snp_score_tpose();
  void load_text_scores();
  void load_binary_scores();
  /// Adds the SNP of the next row, warning about a name seen before.
  void add_snp(const std::string& name);
  /// After the scores are in place: dimensions and missing-score replacement.
  void finish_scores();
  /// Warns about the SNPs whose scores are scaled down to keep their sums finite (the first
  /// few by name, then a count).
  void report_scaled_rows() const;
  /// Seeds the generator; a seed below 1 is replaced by one made from the clock.
  void set_seed(long seed);
  void set_all_used();
  int count_used() const;
  void make_snp_used_index();

  void compute_x_stat();
  /// One simulated replicate: a standard-normal weight per subject, then sim_x_stat of every
  /// used SNP: (sum of its weighted scores)^2 / (sum of squares of its observed scores).
  void random_x_stat();
  /// Announces that the next `n` random draws of the run are `n` calls of random_x_stat, so
  /// that they may be computed in batches.
  void plan_replicates(int n);
  /// Moves the random stream past the next `n` replicates without computing them: a process
  /// that simulates replicates [a, b) of a run skips a first, and draws what the whole run
  /// would have drawn for the rest.
  void skip_replicates(int n);
  /// Statistics of `nrep` replicates of the used SNPs from their weights.
  void compute_replicate_stats(const double* weights, int nrep, float* out);
  /// Points the kernel at the used SNPs' rows where they are, with their sums of squares.
  void prepare_used_scores();
  /// Replicates from now on are permutations of the subjects; stops the run unless the scores
  /// come from a compact file and missing scores are replaced by zero.
  void use_permutation_null();
  /// prepare_used_scores of a permutation run: the observed sums are those of the identity.
  void prepare_permuted_scores();
  /// Replicates computed in one pass over the scores.
  int replicates_per_pass() const;
  void compute_rank_x_stat();
  std::vector<float> get_x_stat() const;
  std::vector<float> get_sim_x_stat() const;
  void stepDownPval(int nsim);

  void print_summary(const std::string& title) const;
  void print_snp_score_map(const std::string& title) const;
  void print_scoremat(const std::string& title) const;
  void snapshot_scoremat(const std::string& title) const;
  void print_x_stat(const std::string& title) const;
  void print_snp_stats(const std::string& title) const;
  void print_snp_stats_csv(const std::string& filename) const;
};

/// The statistic of one row under subject weights: each product formed in double and rounded
/// to float, then summed in float in subject order; the square of that sum is divided by the
/// row's observed sum of squares (0 when that is not above kSsqTolerance).
float snp_statistic_weighted(const float* scores, const double* weights, int nsubj);
