// The one simulation driver of every level (SNP, gene, gene set). A level supplies its observed
// statistics and a way to fill one replicate's simulated statistics; the driver owns the rest:
// the count check, this process's share of the replicates (MPI), progress, the step-down
// accumulator and the sum of the processes' counts. Simulated null moments run through the
// same driver. Every replicate is drawn by SNPData::random_x_stat from the run's one stream,
// so a seed reproduces a run whatever the number of processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class SNPData;
class StepDownPval;

/// Writes, for the replicate just drawn, the simulated counterpart of each observed statistic
/// into `sim` (sized to the observed statistics, in their order).
using FillReplicate = std::function<void(std::vector<float>& sim)>;

/// Step-down adjusted p-values of `observed` from `nsim` replicates: p-value k belongs to
/// observed statistic k. Stops the run unless nsim is positive. In a job each process draws
/// its own share of the replicates and every process returns the p-values of the whole run.
std::vector<float> simulate_step_down(SNPData& snpdat, const std::vector<float>& observed, int nsim,
                                      const FillReplicate& fill_replicate);

/// Null mean and standard deviation of `nstat` statistics from kMomentReplicates replicates.
struct SimulatedMoments {
  std::vector<float> mean, sd;
};
/// Every process simulates all the moment replicates: the moments standardise the statistics
/// before the step-down, so each process needs them whole.
SimulatedMoments simulate_moments(SNPData& snpdat, std::size_t nstat,
                                  const FillReplicate& fill_replicate);

/// Replicates [first, last) of a level's simulation.
struct ReplicateShare {
  int first = 0;
  int last = 0;
  int count() const { return last - first; }
};

/// Process `rank`'s share of `nsim` replicates among `nprocs`: consecutive ranges in rank
/// order, covering [0, nsim) once, sizes differing by at most one (the first ones larger).
ReplicateShare replicate_share(int nsim, int rank, int nprocs);

/// Moves the run's random stream to this process's first replicate of a level's `nsim` and
/// announces its replicates to `snpdat`; the caller then simulates [first, last).
ReplicateShare begin_replicate_share(SNPData& snpdat, int nsim);
/// The same for process `rank` of `nprocs` (what any one process of a job does).
ReplicateShare begin_replicate_share(SNPData& snpdat, int nsim, int rank, int nprocs);
/// Moves the stream past the rest of the level's replicates (so that it stands where the whole
/// run leaves it) and adds up every process's counts in `stepdown`: each process then holds
/// the counts of the whole run. Stops the run when the processes' observed statistics differ.
void end_replicate_share(SNPData& snpdat, int nsim, const ReplicateShare& share,
                         StepDownPval& stepdown);

/// A fingerprint of the observed statistics, their order and nsim: equal on every process that
/// holds the same data.
std::uint64_t step_down_fingerprint(const StepDownPval& stepdown);
