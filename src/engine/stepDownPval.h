// Step-down maximum-statistic adjusted p-values, shared by the SNP, gene and gene-set levels.
#pragma once

#include <vector>

struct StatInfo {
  float stat;     ///< observed statistic
  int count_rej;  ///< simulations whose successive maximum reached `stat`
  float pval;     ///< adjusted p-value; 1 until computed
  int index;      ///< position of the statistic in the caller's observed vector
};

/// Order of the records from construction on: decreasing statistic, a NaN statistic last.
bool greater_stat(const StatInfo& a, const StatInfo& b);
bool lesser_index(const StatInfo& a, const StatInfo& b);

/// Stops the run (message on standard output) unless `nsim` is positive: every level checks
/// this before it builds its accumulator.
void check_nsim(int nsim);

class StepDownPval {
 public:
  std::vector<StatInfo> stat_info;  ///< decreasing `stat` until sort_index()
  int nstats;
  int nsim;  ///< number of simulations the counts are divided by

  StepDownPval(std::vector<float> stats, int nsim);
  void revsort_stat();
  /// Adds one simulation; `sim[k]` is the simulated counterpart of observed statistic k.
  void update_by_sim_stats(const std::vector<float>& sim);
  /// Adds the counts of `other`, an accumulator of the same observed statistics fed with other
  /// simulations: counts of disjoint ranges of replicates add up to those of the whole run, so
  /// the replicates can be shared among processes or machines.
  void add_counts(const StepDownPval& other);
  void force_monotonic();
  void compute_pval();
  void sort_index();
  void print() const;
  void print(int n) const;
};
