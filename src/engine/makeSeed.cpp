#include "engine/makeSeed.h"

#include <cstdint>
#include <ctime>

#include "engine/MersenneTwister.h"

unsigned long makeSeed(long t, long c) {
  static std::uint64_t differ = 0;
  return static_cast<unsigned long>(
      MTRand::mix(static_cast<std::uint64_t>(t), static_cast<std::uint64_t>(c), differ++));
}

unsigned long clock_seed() {
  const clock_t c = clock();
  const time_t t = time(nullptr);
  const unsigned long s = makeSeed(static_cast<long>(t), static_cast<long>(c)) % kSeedLimit;
  return s == 0 ? kSeedLimit : s;
}
