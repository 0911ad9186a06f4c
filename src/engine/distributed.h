// One run shared among the processes of an MPI job (`mpirun -n N halvorix ...`). Every process
// loads the same inputs and computes the same observed statistics and null moments; each one
// simulates its own range of the step-down replicates, reproducing their weights from the run's
// one random stream, and the step-down counts of the ranges are added up exactly. Process 0
// alone prints and writes the results, so they are byte-identical to a single-process run.
//
// A build without MPI (or an MPI build started without a launcher) is one process, and every
// function here is then the identity: the whole run is process 0's share.
#pragma once

#include <cstdint>
#include <string>

class SNPData;
class StepDownPval;

/// Joins the job when the program was started by an MPI launcher, silences the console of every
/// process but process 0, and leaves the job when it goes out of scope at the end of main().
class DistributedRun {
 public:
  DistributedRun(int& argc, char**& argv);
  ~DistributedRun();
  DistributedRun(const DistributedRun&) = delete;
  DistributedRun& operator=(const DistributedRun&) = delete;
};

/// This process's number in the job, 0 to process_count() - 1 (0 outside a job).
int process_rank();
/// Processes in the job (1 outside a job).
int process_count();
/// Only process 0 prints and writes result files.
inline bool is_writing_process() { return process_rank() == 0; }

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

/// Returns when every process has reached this call (at once outside a job). Called before a
/// result file is opened, so that no result is written by a job in which a process failed.
void wait_for_all_processes();

/// Ends a run that failed after its message was printed: exit status 1 outside a job; inside
/// one the whole job is ended with status 1. A process other than 0, whose console is silenced,
/// writes `message` on its own standard error unless process 0 ends the job first.
[[noreturn]] void exit_failed_run(const std::string& message);
