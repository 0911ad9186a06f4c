#include "cli/LookupTable.h"

#include <gtest/gtest.h>

// The method is read in any case through str_toupper; the table itself no longer reads choices.
TEST(LookupTable, StrToupperChangesOnlyAsciiLetters) {
  std::string s = "biological_process";
  str_toupper(s);
  EXPECT_EQ(s, "BIOLOGICAL_PROCESS");
  s = "Go-1 z\xe9";
  str_toupper(s);
  EXPECT_EQ(s, "GO-1 Z\xe9");
}
