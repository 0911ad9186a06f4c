#include "tokenize.h"

#include <gtest/gtest.h>

#include <sstream>

#include "test_support.h"

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

TEST(DataLines, HandsOverDataLinesWithTheirNumberAndSkipsCommentsAndBlankLines) {
  TempDir dir;
  const std::string path = dir.write("in.dat",
                                     "\xEF\xBB\xBF# header\r\n"
                                     "a,b\tc\r\n"
                                     "\n , \t\n"
                                     "   # indented comment\n"
                                     "d#x #e\n"
                                     "#\n"
                                     "f");  // no line end
  DataLines in(path, "unused");
  std::vector<std::string> fields;
  ASSERT_TRUE(in.next(fields));
  EXPECT_EQ(fields, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(in.line_number(), 2);
  ASSERT_TRUE(in.next(fields));
  EXPECT_EQ(fields, (std::vector<std::string>{"d#x", "#e"}));  // only a leading # is a comment
  EXPECT_EQ(in.line_number(), 6);
  ASSERT_TRUE(in.next(fields));
  EXPECT_EQ(fields, (std::vector<std::string>{"f"}));
  EXPECT_EQ(in.line_number(), 8);
  EXPECT_FALSE(in.next(fields));

  // A loader that judges blank lines itself sees them, as no fields; comments stay skipped.
  DataLines keep(path, "unused");
  keep.skip_blank_lines = false;
  std::vector<int> numbers;
  while (keep.next(fields))
    numbers.push_back(fields.empty() ? -keep.line_number() : keep.line_number());
  EXPECT_EQ(numbers, (std::vector<int>{2, -3, -4, 6, 8}));
}

TEST(DataLines, StopsWithTheCallersMessageOrNamesFileAndLine) {
  TempDir dir;
  EXPECT_EXIT(DataLines(dir.file("absent.dat"), "error: my own words"), testing::ExitedWithCode(1),
              "^error: my own words\n$");
  EXPECT_STDOUT_EXIT(DataLines(dir.file("absent.dat"), "on stdout", fail_stdout), "^on stdout\n$");
  EXPECT_EXIT(DataLines(dir.path.string(), "not this"), testing::ExitedWithCode(1),
              "^error: .* is a directory\n$");

  const std::string path = dir.write("short.dat", "# c\na b c\n\nx y\n");
  DataLines in(path, "unused");
  std::vector<std::string> fields;
  ASSERT_TRUE(in.next(fields));
  in.require_fields(fields, 3);  // enough: returns
  ASSERT_TRUE(in.next(fields));
  EXPECT_EXIT(in.require_fields(fields, 3), testing::ExitedWithCode(1),
              "^error: expect at least 3 fields on line 4 of file " + path + ", but found 2\n$");
  DataLines nul(dir.write("nul.dat", std::string("a\nb\0c\n", 6)), "unused");
  ASSERT_TRUE(nul.next(fields));
  EXPECT_EXIT(nul.next(fields), testing::ExitedWithCode(1),
              "^error: NUL byte on line 2 of file .*nul.dat: not a text file\n$");
}
