#include "Matrix/FreqTable.h"

#include <gtest/gtest.h>

TEST(FreqTable, CountsPairsUnderSortedDistinctValues) {
  const FreqTable<int> freq({5, -1, 5, 5, 2, -1}, {0, 3, 3, 0, 0, 3}, "out", "in");
  EXPECT_EQ(freq.nrow, 3);
  EXPECT_EQ(freq.ncol, 2);
  EXPECT_EQ(freq.row_names, (std::vector<int>{-1, 2, 5}));
  EXPECT_EQ(freq.col_names, (std::vector<int>{0, 3}));
  EXPECT_EQ(freq.table[0], (std::vector<int>{0, 2}));
  EXPECT_EQ(freq.table[1], (std::vector<int>{1, 0}));
  EXPECT_EQ(freq.table[2], (std::vector<int>{2, 1}));
}
