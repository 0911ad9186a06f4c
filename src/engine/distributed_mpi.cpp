// The transport of the MPI build (HALVORIX_MPI). A job is joined only when an MPI launcher
// started the program, so that the same binary run by itself is the one-process program, with
// no MPI start-up (and none of its messages) at all.
#include <fcntl.h>
#include <mpi.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "engine/distributed.h"
#include "engine/distributed_transport.h"

namespace {

bool in_job = false;    ///< MPI_Init was called
int rank = 0;           ///< this process in MPI_COMM_WORLD
int size = 1;           ///< processes in MPI_COMM_WORLD
int saved_stderr = -1;  ///< a process other than 0: its standard error before silencing

/// Seconds a process other than 0 waits before reporting its own failure: an input that every
/// process reads fails on every one, and the one message the user should see is process 0's.
constexpr int kFailureGraceSeconds = 2;

bool started_by_launcher() {
  // Open MPI's mpirun, and PMIx or PMI launchers such as Slurm's srun. A batch script's own
  // variables (SLURM_PROCID) do not count: a script that runs halvorix without srun runs one.
  for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"})
    if (std::getenv(name) != nullptr) return true;
  return false;
}

void end_job_if_left_unfinished() {
  // An exit that skipped the end of main() is a failure, and it must end the whole job: the
  // other processes would otherwise wait for this one forever.
  int finalized = 0;
  MPI_Finalized(&finalized);
  if (finalized) return;
  std::cout.flush();
  MPI_Abort(MPI_COMM_WORLD, 1);
}

void write_all(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

/// Waits for a collective operation without spinning: a process that finished its replicates
/// early would otherwise busy-poll a core that the others, or their threads, need (MPI's
/// blocking calls poll). A millisecond of latency is nothing next to a level's simulation.
void wait_idle(MPI_Request& request) {
  int done = 0;
  MPI_Test(&request, &done, MPI_STATUS_IGNORE);
  while (!done) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    MPI_Test(&request, &done, MPI_STATUS_IGNORE);
  }
}

}  // namespace

DistributedRun::DistributedRun(int& argc, char**& argv) {
  if (!started_by_launcher()) return;
  // Only the main thread talks to other processes; the kernel's threads never do.
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  in_job = true;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  std::atexit(end_job_if_left_unfinished);
  if (rank != 0) {
    saved_stderr = ::dup(2);
    const int null_fd = ::open("/dev/null", O_WRONLY);
    ::dup2(null_fd, 1);
    ::dup2(null_fd, 2);
    ::close(null_fd);
  }
}

DistributedRun::~DistributedRun() {
  if (!in_job) return;
  std::cout.flush();
  MPI_Finalize();
}

int process_rank() { return rank; }
int process_count() { return size; }

void wait_for_all_processes() {
  if (!in_job) return;
  MPI_Request request;
  MPI_Ibarrier(MPI_COMM_WORLD, &request);
  wait_idle(request);
}

bool same_on_every_process(std::uint64_t value) {
  if (!in_job) return true;
  // The minimum of ~value is the complement of the maximum: one reduction gives both.
  std::uint64_t both[2] = {value, ~value};
  MPI_Request request;
  MPI_Iallreduce(MPI_IN_PLACE, both, 2, MPI_UINT64_T, MPI_MIN, MPI_COMM_WORLD, &request);
  wait_idle(request);
  return both[0] == ~both[1];
}

void sum_over_processes(std::vector<int>& values) {
  if (!in_job) return;
  MPI_Request request;
  MPI_Iallreduce(MPI_IN_PLACE, values.data(), static_cast<int>(values.size()), MPI_INT, MPI_SUM,
                 MPI_COMM_WORLD, &request);
  wait_idle(request);
}

void sum_over_processes(std::vector<float>& values) {
  if (!in_job) return;
  MPI_Request request;
  MPI_Iallreduce(MPI_IN_PLACE, values.data(), static_cast<int>(values.size()), MPI_FLOAT, MPI_SUM,
                 MPI_COMM_WORLD, &request);
  wait_idle(request);
}

void exit_failed_run(const std::string& message) {
  if (in_job && rank != 0) {
    std::this_thread::sleep_for(std::chrono::seconds(kFailureGraceSeconds));
    write_all(saved_stderr, "halvorix process " + std::to_string(rank) + " of " +
                                std::to_string(size) + ": " + message + "\n");
  }
  std::exit(1);  // removes unfinished result files, then ends the job (end_job_if_left_unfinished)
}
