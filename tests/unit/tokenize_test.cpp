#include "files/tokenize.h"

#include <gtest/gtest.h>

#include "test_support.h"

TEST(Tokenize, RunsOfDelimitersGiveNoEmptyFields) {
  std::vector<std::string> tokens{"stale"};
  tokenize(",,a,,b,", tokens, ",");
  EXPECT_EQ(tokens, (std::vector<std::string>{"a", "b"}));
  tokenize("  rs1\t, 1.5 ,\t-2,3", tokens, kFieldDelimiters);
  EXPECT_EQ(tokens, (std::vector<std::string>{"rs1", "1.5", "-2", "3"}));
  tokenize("whole", tokens, kFieldDelimiters);
  EXPECT_EQ(tokens, (std::vector<std::string>{"whole"}));
  for (const char* blank : {"", " ,\t, "}) {
    tokenize(blank, tokens, kFieldDelimiters);
    EXPECT_TRUE(tokens.empty()) << blank;
  }
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
}

// A missing file and a line short of fields run end to end as golden cases.
TEST(DataLines, StopsOnADirectoryOrANulByteNamingFileAndLine) {
  TempDir dir;
  EXPECT_EXIT(DataLines(dir.path.string(), "not this"), testing::ExitedWithCode(1),
              "^error: .* is a directory\n$");
  std::vector<std::string> fields;
  DataLines nul(dir.write("nul.dat", std::string("a\nb\0c\n", 6)), "unused");
  ASSERT_TRUE(nul.next(fields));
  EXPECT_EXIT(nul.next(fields), testing::ExitedWithCode(1),
              "^error: NUL byte on line 2 of file .*nul.dat: not a text file\n$");
}

// An empty or comments-only annotation file is not an empty annotation: the run would go on
// with no genes, terms or pathways and look finished.
TEST(DataLines, RequireDataLinesStopsOnlyWhenNoLineWasHandedOver) {
  TempDir dir;
  std::vector<std::string> fields;
  DataLines empty(dir.write("comments.dat", "# header\n\n  \n# more\n"), "unused");
  EXPECT_FALSE(empty.next(fields));
  EXPECT_EXIT(empty.require_data_lines("gene-SNP lines"), testing::ExitedWithCode(1),
              "^error: no data lines in file .*comments.dat \\(expected gene-SNP lines\\)\n$");
  DataLines one(dir.write("one.dat", "# header\nG1 rs1 0\n"), "unused");
  while (one.next(fields)) {
  }
  one.require_data_lines("gene-SNP lines");  // returns: the file had a data line
  EXPECT_EQ(one.line_number(), 2);
}
