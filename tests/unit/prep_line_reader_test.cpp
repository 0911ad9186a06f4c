#include <gtest/gtest.h>

#include "fail.h"
#include "prep/line_reader.h"
#include "prep/output_file.h"
#include "prep_test_files.h"

namespace {

std::vector<std::string> read_all(const std::string& path, long& last_line) {
  LineReader in(path);
  std::vector<std::string> lines;
  std::string line;
  while (in.read_line(line)) lines.push_back(line);
  last_line = in.line_number;
  return lines;
}

}  // namespace

TEST(LineReader, ReadsGzipExactlyLikePlainText) {
  PrepTempFolder folder;
  const std::string long_line(200000, 'x');  // longer than one read chunk
  const std::string text = "a b\r\n\n" + long_line + "\nlast without end";
  long plain_count = 0, gzip_count = 0;
  const auto plain = read_all(folder.write("in.txt", text), plain_count);
  const auto gzip = read_all(folder.write_gzip("in.txt.gz", text), gzip_count);
  const std::vector<std::string> expected = {"a b", "", long_line, "last without end"};
  EXPECT_EQ(plain, expected);
  EXPECT_EQ(gzip, expected);
  EXPECT_EQ(plain_count, 4);
  EXPECT_EQ(gzip_count, 4);
}

TEST(LineReader, MissingFileAndDamagedGzipStopWithTheFileName) {
  PrepTempFolder folder;
  const std::string missing = folder.file("absent.txt");
  EXPECT_EXIT(LineReader in(missing), testing::ExitedWithCode(1),
              "^error: cannot open .*absent.txt");
  std::string packed = folder.read(folder.write_gzip("whole.gz", std::string(5000, 'y') + "\n"));
  folder.write("cut.gz", packed.substr(0, packed.size() / 2));
  const std::string cut = folder.file("cut.gz");
  EXPECT_EXIT(
      {
        long count = 0;
        read_all(cut, count);
      },
      testing::ExitedWithCode(1), "^error: .*cut.gz: damaged compressed data");
}

TEST(LineReader, SplittersKeepOrDropEmptyFieldsAsTheLayoutNeeds) {
  std::vector<std::string> fields;
  split_whitespace("  a\t b  c ", fields);
  EXPECT_EQ(fields, (std::vector<std::string>{"a", "b", "c"}));
  split_tabs("a\t\tc\t", fields);
  EXPECT_EQ(fields, (std::vector<std::string>{"a", "", "c", ""}));
  EXPECT_TRUE(has_field_separator("a,b"));
  EXPECT_FALSE(has_field_separator("GO:0000001"));
}

TEST(OutputFile, AppearsOnlyOnCommitAndLeavesNoTemporaryFile) {
  PrepTempFolder folder;
  {
    OutputFile out(folder.file("result.txt"));
    out.write("one ");
    char* p = out.reserve(8);
    *p++ = '2';
    out.advance(p);
    out.write_char('\n');
    EXPECT_EQ(folder.listing().size(), 1u);
    EXPECT_EQ(folder.listing()[0].rfind("result.txt.tmp.", 0), 0u);
    out.commit();
  }
  EXPECT_EQ(folder.listing(), std::vector<std::string>{"result.txt"});
  EXPECT_EQ(folder.read("result.txt"), "one 2\n");
}

TEST(OutputFile, AbandonedOrFailedOutputLeavesNothing) {
  PrepTempFolder folder;
  folder.write("old.txt", "previous content");
  {
    OutputFile out(folder.file("old.txt"));
    out.write("half");
  }
  EXPECT_EQ(folder.read("old.txt"), "previous content");
  const std::string target = folder.file("new.txt");
  EXPECT_EXIT(
      {
        OutputFile out(target);
        out.write(std::string(10 << 20, 'z'));  // past the buffer: bytes reach the disk
        fail_stderr("error: stop");
      },
      testing::ExitedWithCode(1), "error: stop");
  EXPECT_EQ(folder.listing(), std::vector<std::string>{"old.txt"});
}
