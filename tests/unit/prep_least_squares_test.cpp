#include <gtest/gtest.h>

#include "prep/least_squares.h"

namespace {

void expect_residuals(const std::vector<double>& actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(actual[i], expected[i], 1e-12);
}

}  // namespace

TEST(LeastSquares, InterceptOnlyCentresThePhenotype) {
  std::vector<double> residuals;
  EXPECT_EQ(fit_residuals({1, 2, 3, 5}, {}, residuals), -1);
  expect_residuals(residuals, {-1.75, -0.75, 0.25, 2.25});
}

TEST(LeastSquares, OneCovariateMatchesTheHandFit) {
  // y = 0.8 + 1.3 x: Sxy = 6.5, Sxx = 5 around the means 1.5 and 2.75.
  std::vector<double> residuals;
  EXPECT_EQ(fit_residuals({1, 2, 3, 5}, {{0, 1, 2, 3}}, residuals), -1);
  expect_residuals(residuals, {0.2, -0.1, -0.4, 0.3});
}

TEST(LeastSquares, TwoCovariatesFitExactlyWhenTheyExplainEverything) {
  // y = 1 + 2 a - b holds exactly, so nothing is left.
  std::vector<double> residuals;
  const std::vector<double> a = {0, 1, 0, 2, 1}, b = {1, 0, 3, 1, 2};
  std::vector<double> y;
  for (std::size_t i = 0; i < a.size(); ++i) y.push_back(1 + 2 * a[i] - b[i]);
  EXPECT_EQ(fit_residuals(y, {a, b}, residuals), -1);
  expect_residuals(residuals, {0, 0, 0, 0, 0});
}

TEST(LeastSquares, ReportsTheFirstCollinearCovariate) {
  std::vector<double> residuals;
  const std::vector<double> y = {1, 4, 2, 8, 5};
  EXPECT_EQ(fit_residuals(y, {{3, 3, 3, 3, 3}}, residuals), 0);  // constant: the intercept
  const std::vector<double> x = {0, 1, 2, 3, 5}, z = {1, 0, 1, 0, 0};
  std::vector<double> combination;
  for (std::size_t i = 0; i < x.size(); ++i) combination.push_back(2 * x[i] - z[i] + 1);
  EXPECT_EQ(fit_residuals(y, {x, z, combination}, residuals), 2);
  EXPECT_EQ(fit_residuals(y, {x, x}, residuals), 1);
}
