#include "files/line_reader.h"

#include <gtest/gtest.h>

#include "files/tokenize.h"
#include "test_support.h"

namespace {

std::vector<std::string> read_all(const std::string& path, long& last_line) {
  LineReader in(path, halvorix_wording("unused", fail_stderr));
  std::vector<std::string> lines;
  std::string line;
  while (in.read_line(line)) lines.push_back(line);
  last_line = in.line_number;
  return lines;
}

/// `text` compressed, without the last `cut` bytes.
std::string gzip_cut_short(const TempDir& folder, const std::string& text, std::size_t cut) {
  folder.write_gzip("whole.gz", text);
  const std::string whole = folder.read("whole.gz");
  return folder.write("cut.gz", whole.substr(0, whole.size() - cut));
}

}  // namespace

TEST(LineReader, ReadsGzipExactlyLikePlainText) {
  TempDir folder;
  const std::string long_line(200000, 'x');  // longer than one read chunk
  // A byte-order mark is dropped on the first line only.
  const std::string text =
      "\xEF\xBB\xBF"
      "a b\r\n\n" +
      long_line + "\n\xEF\xBB\xBFlast without end";
  long plain_count = 0, gzip_count = 0;
  const auto plain = read_all(folder.write("in.txt", text), plain_count);
  const auto gzip = read_all(folder.write_gzip("in.txt.gz", text), gzip_count);
  const std::vector<std::string> expected = {"a b", "", long_line, "\xEF\xBB\xBFlast without end"};
  EXPECT_EQ(plain, expected);
  EXPECT_EQ(gzip, expected);
  EXPECT_EQ(plain_count, 4);
  EXPECT_EQ(gzip_count, 4);
  EXPECT_TRUE(read_all(folder.write_gzip("empty.gz", ""), gzip_count).empty());
  EXPECT_EQ(gzip_count, 0);
}

// The lines before the damage are handed over; the damage stops the run, worded by the program
// (halvorix's wording here; halvorix-prep's run end to end as golden cases).
TEST(LineReader, DamagedOrMissingInputStopsTheRunInTheProgramsWording) {
  TempDir folder;
  LineReader in(gzip_cut_short(folder, "a\nb\nc\n", 4), halvorix_wording("unused", fail_stderr));
  std::string line;
  for (const char* expected : {"a", "b", "c"}) {
    ASSERT_TRUE(in.read_line(line));
    EXPECT_EQ(line, expected);
  }
  EXPECT_EXIT(in.read_line(line), testing::ExitedWithCode(1),
              "^error: damaged compressed data after line 3 of file .*cut.gz \\(unexpected end of "
              "file\\)\n$");
  EXPECT_STDOUT_EXIT(LineReader(folder.file("absent.txt"),
                                halvorix_wording("error: absent.txtnot found", fail_stdout)),
                     "^error: absent.txtnot found\n$");
}
