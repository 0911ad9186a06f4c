#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "prep/number_format.h"

namespace {

std::string formatted(double value) {
  char text[kMaxNumberText];
  return std::string(text, write_significant6(text, value));
}

std::string printf_g6(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

}  // namespace

TEST(NumberFormat, HandPickedValues) {
  EXPECT_EQ(formatted(0.175), "0.175");
  EXPECT_EQ(formatted(-2.5), "-2.5");
  EXPECT_EQ(formatted(-999), "-999");
  EXPECT_EQ(formatted(123456.7), "123457");
  EXPECT_EQ(formatted(0.000123456789), "0.000123457");
  EXPECT_EQ(formatted(9.9999996), "10");    // rounding carries into a new digit
  EXPECT_EQ(formatted(999999.7), "1e+06");  // and out of fixed notation
  EXPECT_EQ(formatted(0.00001), "1e-05");
  EXPECT_EQ(formatted(-0.0), "0");
}

TEST(NumberFormat, AgreesWithPrintfOverTheWholeRange) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> exponent(-7, 8), mantissa(-1, 1);
  int mismatches = 0;
  for (int i = 0; i < 300000; ++i) {
    double value = mantissa(random) * std::pow(10.0, exponent(random));
    if (i % 3 == 0) value = std::round(value * 1e4) / 1e4;  // short decimals, exact ties nearby
    if (value == 0) continue;
    if (formatted(value) != printf_g6(value)) ++mismatches;
  }
  EXPECT_EQ(mismatches, 0);
}
