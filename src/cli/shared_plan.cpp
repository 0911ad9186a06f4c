#include "cli/shared_plan.h"

#include <cstring>
#include <string>

#include "cli/fail.h"
#include "engine/distributed_transport.h"
#include "engine/fnv1a.h"
#include "engine/makeSeed.h"

namespace {

std::uint64_t hash_of(const std::string& text) { return fnv1a(text.data(), text.size()); }
std::uint64_t hash_of(long value) { return fnv1a(&value, sizeof value); }
template <class E>
std::uint64_t hash_of_choice(E choice) {
  return hash_of(static_cast<long>(choice));
}
std::uint64_t hash_of_float(float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return hash_of(static_cast<long>(bits));
}

}  // namespace

std::vector<OptionPrint> option_prints(const AnalysisPlan& plan) {
  return {{"--method", hash_of_choice(plan.method)},
          {"--gene-level", hash_of_choice(plan.scoring.gene_score)},
          {"--gene-moments", hash_of_choice(plan.scoring.gene_moments)},
          {"--gene-set-level", hash_of_choice(plan.scoring.set_score)},
          {"--resample", hash_of_choice(plan.resample)},
          {"--replace", hash_of(plan.replace_missing)},
          {"--go_type", hash_of(plan.go_type)},
          {"--miss_val", hash_of_float(plan.miss_val)},
          {"--dist", hash_of(static_cast<long>(plan.dist2gene))},
          {"--max_size", hash_of(static_cast<long>(plan.max_set_size))},
          {"--nsim", hash_of(static_cast<long>(plan.nsim))},
          {"--seed", hash_of(plan.seed > 0 ? plan.seed : 0L)}};
}

void share_plan(AnalysisPlan& plan) {
  const std::vector<OptionPrint> prints = option_prints(plan);
  std::vector<std::uint64_t> hashes;
  hashes.reserve(prints.size());
  for (const OptionPrint& print : prints) hashes.push_back(print.hash);
  const std::size_t differing = first_differing_entry(hashes);
  if (differing < hashes.size())
    fail_stderr(std::string("error: the processes of this run were given different values of ") +
                prints[differing].name + "; every process must be given the same options");
  const unsigned long own = plan.seed > 0 ? static_cast<unsigned long>(plan.seed) : clock_seed();
  plan.seed = static_cast<long>(value_of_process_0(own));
}
