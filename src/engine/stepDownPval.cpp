#include "engine/stepDownPval.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <string>

#include "cli/fail.h"

bool greater_stat(const StatInfo& a, const StatInfo& b) {
  // A NaN statistic takes the last place so that the comparison stays a strict weak ordering.
  if (std::isnan(b.stat)) return !std::isnan(a.stat);
  return a.stat > b.stat;
}

bool lesser_index(const StatInfo& a, const StatInfo& b) { return a.index < b.index; }

void check_nsim(int nsim) {
  if (nsim <= 0) fail_stdout("error: invalid no. simulations  = " + std::to_string(nsim));
}

StepDownPval::StepDownPval(std::vector<float> stats, int nsim_) : nsim(nsim_) {
  nstats = static_cast<int>(stats.size());
  stat_info.reserve(stats.size());
  for (int k = 0; k < nstats; ++k)
    stat_info.push_back(StatInfo{stats[static_cast<std::size_t>(k)], 0, 1.0f, k});
  revsort_stat();
}

void StepDownPval::revsort_stat() { std::sort(stat_info.begin(), stat_info.end(), greater_stat); }

void StepDownPval::update_by_sim_stats(const std::vector<float>& sim) {
  // The running maximum starts below every number, so a NaN simulated value never enters it
  // (a comparison with NaN is false) and cannot poison the other records.
  float m = -std::numeric_limits<float>::infinity();
  for (int pos = nstats - 1; pos >= 0; --pos) {
    StatInfo& record = stat_info[static_cast<std::size_t>(pos)];
    const float s = sim[static_cast<std::size_t>(record.index)];
    if (s > m) m = s;
    if (m >= record.stat) ++record.count_rej;
  }
}

void StepDownPval::add_counts(const StepDownPval& other) {
  if (other.stat_info.size() != stat_info.size())
    fail_stderr("error: step-down counts of " + std::to_string(other.stat_info.size()) +
                " statistics cannot be added to counts of " + std::to_string(stat_info.size()));
  for (std::size_t pos = 0; pos < stat_info.size(); ++pos) {
    if (other.stat_info[pos].index != stat_info[pos].index)
      fail_stderr("error: step-down counts of other statistics cannot be added");
    stat_info[pos].count_rej += other.stat_info[pos].count_rej;
  }
}

void StepDownPval::force_monotonic() {
  for (std::size_t pos = 1; pos < stat_info.size(); ++pos)
    stat_info[pos].count_rej = std::max(stat_info[pos].count_rej, stat_info[pos - 1].count_rej);
}

void StepDownPval::compute_pval() {
  force_monotonic();
  // A statistic that is not a number was never compared with anything: its count is only
  // the one it inherits from its neighbour, and it gets no p-value.
  for (StatInfo& record : stat_info)
    record.pval = std::isnan(record.stat)
                      ? std::numeric_limits<float>::quiet_NaN()
                      : static_cast<float>(record.count_rej) / static_cast<float>(nsim);
}

void StepDownPval::sort_index() { std::sort(stat_info.begin(), stat_info.end(), lesser_index); }

void StepDownPval::print() const { print(nstats); }

void StepDownPval::print(int n) const {
  for (int k = 0; k < n; ++k) {
    const StatInfo& r = stat_info[static_cast<std::size_t>(k)];
    std::cout << "[" << k << "]: "
              << "stat = " << r.stat << ", index = " << r.index << ", count = " << r.count_rej
              << ", pval = " << r.pval << std::endl;
  }
}
