// The plan of a job (mpirun -n N halvorix ...): every process must run the same one, with one
// seed. Each process reads its own command line and parameter file, so they are compared.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/analysis_plan.h"

/// An option that changes results, named as on the command line, and a hash of its value.
struct OptionPrint {
  const char* name;
  std::uint64_t hash;
};

/// One entry per option that changes results, in a fixed order. File names are left out (a
/// machine may see the same file under another path; the processes compare what they read
/// instead), and so are the outputs, which process 0 alone writes. A seed of 0 or less (the
/// clock's) hashes as one value whatever it is.
std::vector<OptionPrint> option_prints(const AnalysisPlan& plan);

/// Stops the run, naming the first such option, when the processes of the job were given
/// different values of an option that changes results; then sets plan.seed to the seed of
/// process 0 (made from its clock when none was given), so that every process draws the same
/// stream. Outside a job only the clock seed is made here.
void share_plan(AnalysisPlan& plan);
