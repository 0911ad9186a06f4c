// One way to spread independent pieces of work over threads.
#pragma once

#include <functional>

/// Threads this process may run on: the CPUs of its affinity mask, capped by the environment
/// variable HALVORIX_THREADS when that holds a positive whole number. At least 1.
int worker_threads();

/// Calls body(i) once for every i in [0, n), spread over at most `nthreads` threads (the
/// caller's among them); items are handed out in increasing order. Returns when all are done.
/// The body must not stop the run: it records what went wrong, and the caller reports it.
void parallel_for(int n, int nthreads, const std::function<void(int)>& body);
