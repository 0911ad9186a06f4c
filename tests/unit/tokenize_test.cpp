#include "tokenize.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(Tokenize, RunsOfDelimitersGiveNoEmptyFields) {
  std::vector<std::string> tokens{"stale"};
  tokenize(",,a,,b,", tokens, ",");
  EXPECT_EQ(tokens, (std::vector<std::string>{"a", "b"}));
  tokenize("  rs1\t, 1.5 ,\t-2,3", tokens, kFieldDelimiters);
  EXPECT_EQ(tokens, (std::vector<std::string>{"rs1", "1.5", "-2", "3"}));
}

TEST(Tokenize, EdgeLines) {
  std::vector<std::string> tokens;
  tokenize("whole", tokens, kFieldDelimiters);
  EXPECT_EQ(tokens, (std::vector<std::string>{"whole"}));
  tokenize("", tokens, kFieldDelimiters);
  EXPECT_TRUE(tokens.empty());
  tokenize(" ,\t, ", tokens, kFieldDelimiters);
  EXPECT_TRUE(tokens.empty());
}

TEST(ReadLine, DropsOneTrailingCarriageReturn) {
  std::istringstream in("a b\r\nc\n\r\nlast\r");
  std::string line;
  ASSERT_TRUE(read_line(in, line));
  EXPECT_EQ(line, "a b");
  ASSERT_TRUE(read_line(in, line));
  EXPECT_EQ(line, "c");
  ASSERT_TRUE(read_line(in, line));
  EXPECT_EQ(line, "");
  ASSERT_TRUE(read_line(in, line));
  EXPECT_EQ(line, "last");
  EXPECT_FALSE(read_line(in, line));
}
