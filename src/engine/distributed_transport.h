// What the replicate split and the job's shared plan need from the processes' transport: the
// one-process build (distributed_local.cpp) or MPI (distributed_mpi.cpp) provides it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

/// True when `value` is the same on every process; every process must call it.
bool same_on_every_process(std::uint64_t value);
/// The index of the first entry of `values` that is not the same on every process, or
/// values.size() when each is; every process must call it with as many values.
std::size_t first_differing_entry(const std::vector<std::uint64_t>& values);
/// Process 0's `value`, on every process; every process must call it.
std::uint64_t value_of_process_0(std::uint64_t value);
/// Replaces `values` on every process by their element-wise sum over all processes; every
/// process must call it with as many values. Integers add exactly, in any order.
void sum_over_processes(std::vector<int>& values);
/// The same for floats. Exact only where at most one process holds a value other than +0 in
/// each entry (x + 0 is x): the way a list computed in shares is gathered.
void sum_over_processes(std::vector<float>& values);
