// The transport of a build without MPI: the run is one process.
#include <cstdlib>

#include "engine/distributed.h"
#include "engine/distributed_transport.h"

DistributedRun::DistributedRun(int& /*argc*/, char**& /*argv*/) {}
DistributedRun::~DistributedRun() = default;

int process_rank() { return 0; }
int process_count() { return 1; }
void wait_for_all_processes() {}
bool same_on_every_process(std::uint64_t /*value*/) { return true; }
std::size_t first_differing_entry(const std::vector<std::uint64_t>& values) {
  return values.size();
}
std::uint64_t value_of_process_0(std::uint64_t value) { return value; }
void sum_over_processes(std::vector<int>& /*values*/) {}
void sum_over_processes(std::vector<float>& /*values*/) {}

void exit_failed_run(const std::string& /*message*/) { std::exit(1); }
