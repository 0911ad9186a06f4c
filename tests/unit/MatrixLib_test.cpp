#include "Matrix/MatrixLib.h"

#include <gtest/gtest.h>

TEST(Matrix, EmptyDimensionGivesZeroByZero) {
  Matrix<float> a(0, 5), b(5, 0);
  EXPECT_EQ(a.size_row() + a.size_col() + b.size_row() + b.size_col(), 0);
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

TEST(Matrix, SumOfSquaresAndTheBoundsCheckThatTheReleaseBuildKeeps) {
  Matrix<float> m(2, 2);
  m[0][0] = 1;
  m[0][1] = 2;
  m[1][0] = 3;
  m[1][1] = 0.5f;
  EXPECT_EQ(m.ssq(), 14.25f);
  EXPECT_DEATH(m[2], "index >=0 && index<nrow");
}
