#include "MersenneTwister.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "makeSeed.h"

TEST(MTRand, ReproducesTheReferenceSequences) {
  MTRand gen;
  gen.seed(5489UL);
  EXPECT_EQ(gen.randInt(), 3499211612UL);
  gen.seed(1UL);
  EXPECT_EQ(gen.randInt(), 1791095845UL);
  // The standard library's mt19937 is an independent implementation of the same algorithm.
  for (unsigned long seed : {1UL, 5489UL, 4357UL, 100000000UL, 4294967295UL}) {
    gen.seed(seed);
    std::mt19937 ref(static_cast<std::mt19937::result_type>(seed));
    for (int i = 0; i < 2000; ++i)
      ASSERT_EQ(gen.randInt(), ref()) << "seed " << seed << " draw " << i;
  }
}

TEST(MTRand, SeedUsesOnlyTheLow32Bits) {
  MTRand a, b;
  a.seed(7UL);
  b.seed(7UL + (1UL << 32));
  for (int i = 0; i < 10; ++i) EXPECT_EQ(a.randInt(), b.randInt());
}

TEST(MTRand, UniformIsTheProductWithTheFixedConstant) {
  MTRand gen;
  gen.seed(42UL);
  std::mt19937 ref(42);
  for (int i = 0; i < 100; ++i)
    EXPECT_EQ(gen.rand(), static_cast<double>(ref()) * 2.3283064370807974e-10);
}

TEST(MTRand, NormIsThePolarMethodWithTheSavedSecondDeviate) {
  MTRand::iset = 0;
  MTRand gen;
  gen.seed(2024UL);
  std::mt19937 ref(2024);
  auto uniform = [&ref] { return static_cast<double>(ref()) * (1.0 / 4294967295.0); };
  for (int pair = 0; pair < 50; ++pair) {
    double x, y, rsq;
    do {
      x = 2.0 * uniform() - 1.0;
      y = 2.0 * uniform() - 1.0;
      rsq = x * x + y * y;
    } while (rsq >= 1.0 || rsq == 0.0);
    const double fac = std::sqrt(-2.0 * std::log(rsq) / rsq);
    EXPECT_EQ(gen.norm(), y * fac);
    EXPECT_EQ(gen.norm(), x * fac);  // the saved deviate costs no draw
  }
}

TEST(MTRand, SavedDeviateSurvivesReseeding) {
  MTRand::iset = 0;
  MTRand gen;
  gen.seed(3UL);
  gen.norm();
  const double saved = MTRand::gset;
  gen.seed(99UL);
  EXPECT_EQ(gen.norm(), saved);
}

TEST(MakeSeed, CallCounterSeparatesCallsWithinOneTick) {
  const unsigned long first = makeSeed(1000, 20);
  const unsigned long second = makeSeed(1000, 20);
  EXPECT_NE(first, second);
  // Byte hash of 1000 (0xE8, 0x03 low bytes first) is 232*257^7 + 3*257^6, that of 20 is
  // 20*257^7.
  const std::uint64_t h_t =
      232ULL * 257 * 257 * 257 * 257 * 257 * 257 * 257 + 3ULL * 257 * 257 * 257 * 257 * 257 * 257;
  const std::uint64_t h_c = 20ULL * 257 * 257 * 257 * 257 * 257 * 257 * 257;
  EXPECT_EQ(MTRand::mix(1000, 20, 5), (h_t + 5) ^ h_c);
}
