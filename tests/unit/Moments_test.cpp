#include "Matrix/Moments.h"

#include <gtest/gtest.h>

#include <string>

namespace {
Matrix<float> from_rows(const std::vector<std::vector<float>>& rows) {
  Matrix<float> m;
  for (const auto& r : rows) m.push_bottom(r);
  return m;
}
}  // namespace

TEST(Moments, MeansCovariancesAndCorrelationOfAWorkedExample) {
  Matrix<float> data = from_rows({{1, 2}, {3, 6}, {5, 10}});
  Moments<float> mom(data);
  EXPECT_EQ(mom.error, 0);
  EXPECT_EQ(mom.mean, (std::vector<float>{3, 6}));
  EXPECT_EQ(mom.covar[0][0], 4.0f);
  EXPECT_EQ(mom.covar[0][1], 8.0f);
  EXPECT_EQ(mom.covar[1][0], 8.0f);
  EXPECT_EQ(mom.covar[1][1], 16.0f);
  Matrix<float> r = mom.correlation();
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) EXPECT_EQ(r[i][j], 1.0f);
}

TEST(Cor, AgreesWithTheTwoPassFormulaOnIndependentColumns) {
  Matrix<float> x = from_rows({{1, 0}, {2, 1}, {3, 0}, {4, 1}});
  Matrix<float> y = from_rows({{2}, {4}, {6}, {9}});
  Matrix<float> c = cor(x, y);
  ASSERT_EQ(c.size_row(), 2);
  ASSERT_EQ(c.size_col(), 1);
  // Pearson correlations from the two-pass formula in double: 0.99437671 and 0.48336824. The
  // one-pass float sums round differently in the last bits, hence the tolerance.
  EXPECT_NEAR(c[0][0], 0.99437671, 1e-6);
  EXPECT_NEAR(c[1][0], 0.48336824, 1e-6);
}

TEST(Cor, SizeProblemsStopWithTheirCode) {
  Matrix<float> a(10, 3), b(9, 2), empty, c(10, 2);
  const auto stops_with = [](int code) {
    return "^error: cor of 2 matrices, error code = " + std::to_string(code) + "\n$";
  };
  EXPECT_EXIT(cor(a, b), ::testing::ExitedWithCode(1), stops_with(1));
  EXPECT_EXIT(cor(empty, c), ::testing::ExitedWithCode(1), stops_with(2));
  EXPECT_EXIT(cor(a, empty), ::testing::ExitedWithCode(1), stops_with(3));
  EXPECT_EXIT(cor(empty, empty), ::testing::ExitedWithCode(1), stops_with(3));
}
