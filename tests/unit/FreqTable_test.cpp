#include "Matrix/FreqTable.h"

#include <gtest/gtest.h>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

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

TEST(FreqTable, PrintsAlignedColumnsUnderARuleAsWideAsARow) {
  // out- and in-degrees of the chain R -> A -> B
  const FreqTable<int> freq({1, 1, 0}, {0, 1, 1}, "out", "in");
  CaptureStdout();
  freq.print("");
  EXPECT_EQ(GetCapturedStdout(),
            "Counts of out x in:\n\n"
            "          0    1 \n"
            "-----------------\n"
            "   0 :    0    1 \n"
            "   1 :    1    1 \n");
}

TEST(FreqTable, PrintsBannerForTitleAndWritesWideNumbersInFull) {
  const FreqTable<int> freq({12345}, {7}, "r", "c");
  CaptureStdout();
  freq.print("T");
  const std::string out = GetCapturedStdout();
  EXPECT_EQ(out.rfind("\n" + std::string(50, '=') + "\n", 0), 0u);
  EXPECT_NE(out.find("Counts of r x c:\n\n       "
                     "   7 \n------------\n12345 :    1 \n"),
            std::string::npos);
}

TEST(FreqTable, UnequalLengthsStop) {
  EXPECT_EXIT(FreqTable<int>({1, 2}, {1}, "r", "c"), ::testing::ExitedWithCode(1),
              "error: FreqTable vector lengths differ");
}
