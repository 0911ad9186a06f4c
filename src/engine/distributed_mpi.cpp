// The transport of the MPI build (HALVORIX_MPI). A job is joined only when an MPI launcher
// started the program, so that the same binary run by itself is the one-process program, with
// no MPI start-up (and none of its messages) at all.
//
// How a job ends on an error: every collective operation below begins with a check-in, an
// exchange of each process's state (running, or failed and the hash of its message). A process
// that fails on the main thread does not end alone: it checks in as failed, and since every
// other process's next collective operation starts with the same check-in, all of them learn of
// the failure at the same point, leave the job (MPI_Finalize) and exit with status 1. An error
// that every process meets (a bad option, an input every process reads) is thus printed once,
// by process 0, with no launcher banner. A failed process waits only so long for the others:
// when they are busy (one node failed alone, the others simulate), it ends the job with
// MPI_Abort rather than let them finish work that no result will use; so does a failure on a
// worker thread, which may not talk to other processes.
#include <fcntl.h>
#include <mpi.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "engine/distributed.h"
#include "engine/distributed_transport.h"
#include "engine/fnv1a.h"

namespace {

bool in_job = false;          ///< MPI_Init was called
int rank = 0;                 ///< this process in MPI_COMM_WORLD
int size = 1;                 ///< processes in MPI_COMM_WORLD
int saved_stderr = -1;        ///< a process other than 0: its standard error before silencing
std::thread::id main_thread;  ///< the only thread that may talk to other processes

/// Seconds a process other than 0 waits before reporting a failure on a worker thread: if the
/// same failure ends process 0, its message is the one the user should see.
constexpr int kFailureGraceSeconds = 2;
/// Seconds a failed process waits for the others at its check-in. Processes that meet the same
/// error (the same files, read alike) get there within moments of one another; a longer wait
/// means the others are at work, and the job is aborted instead.
constexpr int kCheckInPatienceSeconds = 10;

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

void write_own_message(const std::string& message) {
  write_all(saved_stderr, "halvorix process " + std::to_string(rank) + " of " +
                              std::to_string(size) + ": " + message + "\n");
}

/// Waits for a collective operation without spinning: a process that finished its replicates
/// early would otherwise busy-poll a core that the others, or their threads, need (MPI's
/// blocking calls poll). A millisecond of latency is nothing next to a level's simulation.
/// With `patience` (seconds), false when the operation has not completed by then.
bool wait_idle(MPI_Request& request, int patience = -1) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(patience);
  int done = 0;
  MPI_Test(&request, &done, MPI_STATUS_IGNORE);
  while (!done) {
    if (patience >= 0 && std::chrono::steady_clock::now() >= give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    MPI_Test(&request, &done, MPI_STATUS_IGNORE);
  }
  return true;
}

std::uint64_t message_hash(const std::string& message) {
  return fnv1a(message.data(), message.size());
}

/// What a process says of itself at a check-in.
enum State : std::uint64_t { running = 0, failed = 1, finished = 2 };

/// The check-in that begins every collective operation, and the last one at the end of main().
/// `failure` is this process's message when it failed. Returns when every process is in the
/// same state, running or finished; otherwise every process leaves the job here with status 1.
/// A failed process other than 0 prints its message on its own standard error unless process 0
/// failed with the same message (and so has printed it). A failed process returns when the
/// others have not checked in within kCheckInPatienceSeconds.
void check_in(State state, const std::string* failure = nullptr) {
  const std::uint64_t mine[2] = {state, failure != nullptr ? message_hash(*failure) : 0U};
  std::vector<std::uint64_t> states(2 * static_cast<std::size_t>(size));
  MPI_Request request;
  MPI_Iallgather(mine, 2, MPI_UINT64_T, states.data(), 2, MPI_UINT64_T, MPI_COMM_WORLD, &request);
  if (!wait_idle(request, state == failed ? kCheckInPatienceSeconds : -1)) return;
  bool any_failed = false, all_alike = true;
  int first_finished = -1;
  for (int k = 0; k < size; ++k) {
    const std::uint64_t theirs = states[2 * static_cast<std::size_t>(k)];
    any_failed = any_failed || theirs == failed;
    all_alike = all_alike && theirs == state;
    if (theirs == finished && first_finished < 0) first_finished = k;
  }
  if (!any_failed && all_alike) return;
  if (state == failed && rank != 0 && !(states[0] == failed && states[1] == mine[1]))
    write_own_message(*failure);
  // A process that ended its run (help asked for on its command line alone) while the others
  // go on: nobody failed, so process 0 says why the job ends.
  if (!any_failed && rank == 0)
    std::cerr << "error: process " << first_finished << " of " << size
              << " ended its run before the others; every process must be given the same options"
              << std::endl;
  std::cout.flush();
  MPI_Finalize();
  std::exit(1);  // removes unfinished result files; the job is left, so nothing is aborted
}

}  // namespace

DistributedRun::DistributedRun(int& argc, char**& argv) {
  if (!started_by_launcher()) return;
  // Only the main thread talks to other processes; the kernel's threads never do.
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  in_job = true;
  main_thread = std::this_thread::get_id();
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
  // The last check-in: a process that failed after the others' last collective operation (a
  // result file process 0 could not finish) meets them here.
  check_in(finished);
  std::cout.flush();
  MPI_Finalize();
}

int process_rank() { return rank; }
int process_count() { return size; }

void wait_for_all_processes() {
  if (!in_job) return;
  check_in(running);  // the check-in is itself a barrier
}

std::size_t first_differing_entry(const std::vector<std::uint64_t>& values) {
  if (!in_job) return values.size();
  check_in(running);
  // The minimum of ~value is the complement of the maximum: one reduction gives both.
  std::vector<std::uint64_t> both(values);
  for (const std::uint64_t value : values) both.push_back(~value);
  MPI_Request request;
  MPI_Iallreduce(MPI_IN_PLACE, both.data(), static_cast<int>(both.size()), MPI_UINT64_T, MPI_MIN,
                 MPI_COMM_WORLD, &request);
  wait_idle(request);
  for (std::size_t k = 0; k < values.size(); ++k)
    if (both[k] != ~both[values.size() + k]) return k;
  return values.size();
}

bool same_on_every_process(std::uint64_t value) { return first_differing_entry({value}) != 0; }

std::uint64_t value_of_process_0(std::uint64_t value) {
  if (!in_job) return value;
  check_in(running);
  MPI_Request request;
  MPI_Ibcast(&value, 1, MPI_UINT64_T, 0, MPI_COMM_WORLD, &request);
  wait_idle(request);
  return value;
}

void sum_over_processes(std::vector<int>& values) {
  if (!in_job) return;
  check_in(running);
  MPI_Request request;
  MPI_Iallreduce(MPI_IN_PLACE, values.data(), static_cast<int>(values.size()), MPI_INT, MPI_SUM,
                 MPI_COMM_WORLD, &request);
  wait_idle(request);
}

void sum_over_processes(std::vector<float>& values) {
  if (!in_job) return;
  check_in(running);
  MPI_Request request;
  MPI_Iallreduce(MPI_IN_PLACE, values.data(), static_cast<int>(values.size()), MPI_FLOAT, MPI_SUM,
                 MPI_COMM_WORLD, &request);
  wait_idle(request);
}

void exit_failed_run(const std::string& message) {
  if (in_job && std::this_thread::get_id() == main_thread) {
    check_in(failed, &message);  // returns only when the others are busy: a failure of its own
    if (rank != 0) write_own_message(message);
  } else if (in_job && rank != 0) {
    std::this_thread::sleep_for(std::chrono::seconds(kFailureGraceSeconds));
    write_own_message(message);
  }
  std::exit(1);  // removes unfinished result files, then ends the job (end_job_if_left_unfinished)
}
