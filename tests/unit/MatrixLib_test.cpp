#include "Matrix/MatrixLib.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(Matrix, EmptyDimensionGivesZeroByZero) {
  Matrix<float> a(0, 5), b(5, 0);
  EXPECT_EQ(a.size_row(), 0);
  EXPECT_EQ(a.size_col(), 0);
  EXPECT_EQ(b.size_row(), 0);
  EXPECT_EQ(b.size_col(), 0);
  Matrix<float> c(2, 3, 1.5f);
  c = a;
  EXPECT_EQ(c.size_row(), 0);
  EXPECT_EQ(c.size_col(), 0);
}

TEST(Matrix, PushBottomFixesTheColumnCount) {
  Matrix<float> m;
  m.push_bottom(std::vector<float>(7, 1.0f));
  EXPECT_EQ(m.size_row(), 1);
  EXPECT_EQ(m.size_col(), 7);
  EXPECT_EXIT(m.push_bottom(std::vector<float>(6, 1.0f)), ::testing::ExitedWithCode(1),
              "^error: vector to push_bottom of matrix has wrong size, vec size = 6, "
              "matrix ncol = 7\n$");
}

TEST(Matrix, MissingTestIsStrictAndInSinglePrecision) {
  EXPECT_TRUE(Matrix<float>::is_missing(-9.0000005f, -9.0f, 1e-6));
  EXPECT_FALSE(Matrix<float>::is_missing(-9.01f, -9.0f, 1e-6));
  EXPECT_FALSE(Matrix<float>::is_missing(0.5f, 0.0f, 0.5));  // exactly eps away: kept
}

TEST(Matrix, ReplaceMissingByMeanUsesMeansTakenBeforeReplacing) {
  Matrix<float> m;
  m.push_bottom({1.0f, -9.0f, -9.0f});
  m.push_bottom({-9.0f, 4.0f, -9.0f});
  m.push_bottom({3.0f, 6.0f, -9.0f});
  std::string method = "mean";
  m.replace_missing(-9.0f, method, 1e-6);
  EXPECT_EQ(m[1][0], 2.0f);  // mean of 1 and 3
  EXPECT_EQ(m[0][1], 5.0f);  // mean of 4 and 6
  EXPECT_EQ(m[0][2], 0.0f);  // a column with nothing but missing values
  EXPECT_EQ(m[2][2], 0.0f);
}

TEST(Matrix, ReplaceMissingByZeroAndUnknownMethod) {
  Matrix<float> m;
  m.push_bottom({-999.0f, 2.0f});
  Matrix<float> copy = m;
  m.replace_missing(-999.0f, "zero", 1e-6);
  EXPECT_EQ(m[0][0], 0.0f);
  EXPECT_EQ(m[0][1], 2.0f);
  EXPECT_EXIT(copy.replace_missing(-999.0f, "Mean", 1e-6), ::testing::ExitedWithCode(1),
              "^error:  method = Mean for replace missing\n$");
}

TEST(Matrix, SumOfSquaresAndPrinting) {
  Matrix<float> m(2, 2);
  m[0][0] = 1;
  m[0][1] = 2;
  m[1][0] = 3;
  m[1][1] = 0.5f;
  EXPECT_EQ(m.ssq(), 14.25f);
  std::ostringstream out;
  out << m;
  EXPECT_EQ(out.str(), "Nrow = 2, Ncol = 2\n1, 2, \n3, 0.5, \n");
}

TEST(Matrix, RowIndexOutOfRangeAborts) {
  Matrix<float> m(2, 2);
  EXPECT_DEATH(m[2], "index >=0 && index<nrow");
}
