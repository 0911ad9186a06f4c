#include "engine/makeSeed.h"

#include <cstdint>

#include "engine/MersenneTwister.h"

unsigned long makeSeed(long t, long c) {
  static std::uint64_t differ = 0;
  return static_cast<unsigned long>(
      MTRand::mix(static_cast<std::uint64_t>(t), static_cast<std::uint64_t>(c), differ++));
}
