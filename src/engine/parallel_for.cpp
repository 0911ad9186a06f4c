#include "engine/parallel_for.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <vector>

int worker_threads() {
  static const int threads = [] {
    cpu_set_t mask;
    int n = 1;
    if (sched_getaffinity(0, sizeof mask, &mask) == 0) n = std::max(1, CPU_COUNT(&mask));
    if (const char* cap = std::getenv("HALVORIX_THREADS")) {
      char* end = nullptr;
      const long value = std::strtol(cap, &end, 10);
      if (end != cap && *end == '\0' && value > 0) n = static_cast<int>(std::min<long>(n, value));
    }
    return n;
  }();
  return threads;
}

void parallel_for(int n, int nthreads, const std::function<void(int)>& body) {
  const int parts = std::max(1, std::min(nthreads, n));
  if (parts == 1) {
    for (int i = 0; i < n; ++i) body(i);
    return;
  }
  std::atomic<int> next{0};
  auto work = [&] {
    for (int i = next++; i < n; i = next++) body(i);
  };
  std::vector<std::thread> helpers;
  helpers.reserve(static_cast<std::size_t>(parts - 1));
  for (int t = 1; t < parts; ++t) {
    // A thread the system cannot start (no memory for its stack, say) leaves the work to
    // those that run: no result depends on how many share it.
    try {
      helpers.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    }
  }
  work();
  for (std::thread& helper : helpers) helper.join();
}
