// Micro-benchmarks of the simulation kernels. Measured with the release preset (-O2,
// -ffp-contract=off); report ratios from one run, the machines are shared and noisy.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
