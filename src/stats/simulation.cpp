// The simulation driver and the replicate split, shared by the one-process and the MPI builds;
// the transport (the functions that talk to other processes) is in distributed_local.cpp or
// distributed_mpi.cpp.
#include "stats/simulation.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "cli/fail.h"
#include "cli/progress.h"
#include "conventions.h"
#include "engine/distributed.h"
#include "engine/distributed_transport.h"
#include "engine/fnv1a.h"
#include "engine/stepDownPval.h"
#include "stats/snp.h"

std::vector<float> simulate_step_down(SNPData& snpdat, const std::vector<float>& observed, int nsim,
                                      const FillReplicate& fill_replicate) {
  check_nsim(nsim);
  StepDownPval stepdown(observed, nsim);
  std::vector<float> sim(observed.size());
  const ReplicateShare share = begin_replicate_share(snpdat, nsim);
  Progress progress("replicates", share.count());
  for (int rep = share.first; rep < share.last; ++rep) {
    snpdat.random_x_stat();
    fill_replicate(sim);
    stepdown.update_by_sim_stats(sim);
    progress.tick();
  }
  end_replicate_share(snpdat, nsim, share, stepdown);
  stepdown.compute_pval();
  std::vector<float> pval(observed.size());
  for (const StatInfo& record : stepdown.stat_info)
    pval[static_cast<std::size_t>(record.index)] = record.pval;
  return pval;
}

SimulatedMoments simulate_moments(SNPData& snpdat, std::size_t nstat,
                                  const FillReplicate& fill_replicate) {
  std::vector<float> sum(nstat, 0.0f), sumsq(nstat, 0.0f), sim(nstat);
  snpdat.plan_replicates(kMomentReplicates);
  for (int rep = 0; rep < kMomentReplicates; ++rep) {
    snpdat.random_x_stat();
    fill_replicate(sim);
    for (std::size_t k = 0; k < nstat; ++k) {
      sum[k] += sim[k];
      sumsq[k] += sim[k] * sim[k];
    }
  }
  const auto reps = static_cast<float>(kMomentReplicates);
  const auto reps_less_one = static_cast<float>(kMomentReplicates - 1);
  SimulatedMoments moments;
  moments.mean.resize(nstat);
  moments.sd.resize(nstat);
  for (std::size_t k = 0; k < nstat; ++k) {
    moments.mean[k] = sum[k] / reps;
    moments.sd[k] = std::sqrt((sumsq[k] - sum[k] * sum[k] / reps) / reps_less_one);
  }
  return moments;
}

ReplicateShare replicate_share(int nsim, int rank, int nprocs) {
  const int base = nsim / nprocs, extra = nsim % nprocs;
  ReplicateShare share;
  share.first = rank * base + (rank < extra ? rank : extra);
  share.last = share.first + base + (rank < extra ? 1 : 0);
  return share;
}

ReplicateShare begin_replicate_share(SNPData& snpdat, int nsim) {
  return begin_replicate_share(snpdat, nsim, process_rank(), process_count());
}

ReplicateShare begin_replicate_share(SNPData& snpdat, int nsim, int rank, int nprocs) {
  const ReplicateShare share = replicate_share(nsim, rank, nprocs);
  snpdat.skip_replicates(share.first);
  snpdat.plan_replicates(share.count());
  return share;
}

std::uint64_t step_down_fingerprint(const StepDownPval& stepdown) {
  // FNV-1a over nsim and each record's statistic bits and index, in the records' order.
  Fnv1a hash;
  hash.add_word(static_cast<std::uint32_t>(stepdown.nsim));
  for (const StatInfo& record : stepdown.stat_info) {
    std::uint32_t bits;
    std::memcpy(&bits, &record.stat, sizeof bits);
    hash.add_word(bits);
    hash.add_word(static_cast<std::uint32_t>(record.index));
  }
  return hash.hash;
}

void end_replicate_share(SNPData& snpdat, int nsim, const ReplicateShare& share,
                         StepDownPval& stepdown) {
  snpdat.skip_replicates(nsim - share.last);
  if (process_count() == 1) return;
  // Counts are added record by record in the order of the observed statistics, which must
  // therefore be the same everywhere: a node that read another version of an input would
  // otherwise add counts of other statistics without a word.
  if (!same_on_every_process(step_down_fingerprint(stepdown)))
    fail_stderr(
        "error: the processes of this run hold different observed statistics; every process "
        "must read the same input files");
  std::vector<int> counts;
  counts.reserve(stepdown.stat_info.size());
  for (const StatInfo& record : stepdown.stat_info) counts.push_back(record.count_rej);
  sum_over_processes(counts);
  for (std::size_t pos = 0; pos < counts.size(); ++pos)
    stepdown.stat_info[pos].count_rej = counts[pos];
}
