// In-memory inputs for the benchmarks: score matrices filled from a seeded generator, so the
// benchmarks need no files and every run times the same numbers.
#pragma once

#include <memory>

#include "stats/snp.h"

/// An SNPData of `nsnp` x `nsubj` standard-normal-like scores, all SNPs used, seeded.
std::unique_ptr<SNPData> make_bench_snpdata(int nsnp, int nsubj);
