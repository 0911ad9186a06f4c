// The processes of an MPI job (`mpirun -n N halvorix ...`): joining and leaving the job, who
// prints and writes, and how a failed run ends the job. Every process loads the same inputs;
// the simulation driver (stats/simulation.h) shares the replicates among them. Process 0 alone
// prints and writes the results, so they are byte-identical to a single-process run.
//
// A build without MPI (or an MPI build started without a launcher) is one process, and every
// function here is then the identity: the whole run is process 0's share.
#pragma once

#include <cstdint>
#include <string>

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

/// Returns when every process has reached this call (at once outside a job). Called before a
/// result file is opened, so that no result is written by a job in which a process failed.
/// This and every other collective step ends the job when another process has failed.
void wait_for_all_processes();

/// Ends a run that failed after its message was printed: exit status 1 outside a job. Inside
/// one, the process waits for the others' next collective step, where every process learns of
/// the failure and leaves the job with status 1; when they do not come within seconds, or on a
/// worker thread, the job is aborted. A
/// process other than 0, whose console is silenced, writes `message` on its own standard error
/// unless process 0 failed with the same message.
[[noreturn]] void exit_failed_run(const std::string& message);
