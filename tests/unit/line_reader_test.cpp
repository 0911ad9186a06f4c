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

// Each piece is checked before the line keeps it: a file of zeros or one without line ends is
// refused within a chunk or the limit instead of being read whole (or forever).
TEST(LineReader, NulByteOrOverlongLineStopsTheRunBeforeTheLineGrows) {
  TempDir folder;
  long count = 0;
  EXPECT_EXIT(read_all(folder.write("nul.txt", std::string("a\nb\0c\n", 6)), count),
              testing::ExitedWithCode(1),
              "^error: NUL byte on line 2 of file .*nul.txt: not a text file\n$");
  EXPECT_EXIT(read_all("/dev/zero", count), testing::ExitedWithCode(1),
              "^error: NUL byte on line 1 of file /dev/zero: not a text file\n$");
  EXPECT_EXIT(read_all(folder.write_gzip("endless.gz", std::string(3 << 20, 'x')), count),
              testing::ExitedWithCode(1),
              "^error: line 1 of file .*endless.gz is longer than 1048576 bytes: a line end is "
              "missing, or it is not a text file\n$");

  // At the limit a line passes, a DOS line end not counted; one byte more stops the run.
  LineReader in(folder.write("limit.txt", "12345678\r\n87654321\n123456789\n"),
                halvorix_wording("unused", fail_stderr));
  in.max_line_bytes = 8;
  std::string line;
  ASSERT_TRUE(in.read_line(line));
  EXPECT_EQ(line, "12345678");
  ASSERT_TRUE(in.read_line(line));
  EXPECT_EQ(line, "87654321");
  EXPECT_EXIT(in.read_line(line), testing::ExitedWithCode(1),
              "^error: line 3 of file .*limit.txt is longer than 8 bytes");
}

TEST(QuotePrefix, LongFieldsCutAtACharacterAndControlBytesShownAsHex) {
  const std::string forty(40, 'a');
  EXPECT_EQ(quote_prefix("rs1"), "rs1");
  EXPECT_EQ(quote_prefix(forty), forty);
  EXPECT_EQ(quote_prefix(forty + "b"), forty + "...");
  // A two-byte character across the cut is left out whole, not split.
  EXPECT_EQ(quote_prefix(forty.substr(1) + "\xC3\xA9z"), forty.substr(1) + "...");
  EXPECT_EQ(quote_prefix(std::string("a\0b\x1b[31m", 8)), "a\\x00b\\x1b[31m");
}
