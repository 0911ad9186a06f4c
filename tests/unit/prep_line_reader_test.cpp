#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "cli/fail.h"
#include "files/line_reader.h"
#include "prep/output_file.h"
#include "test_support.h"

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
  TempDir folder;
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

TEST(OutputFile, AppearsOnlyOnCommitAndLeavesNoTemporaryFile) {
  TempDir folder;
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
  TempDir folder;
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

TEST(OutputFile, SymbolicLinkIsWrittenThroughAndFifoWrittenInPlace) {
  TempDir folder;
  folder.write("target.txt", "old\n");
  std::filesystem::create_symlink("target.txt", folder.file("link.txt"));
  {
    OutputFile out(folder.file("link.txt"));
    out.write("new\n");
    out.commit();
  }
  EXPECT_TRUE(std::filesystem::is_symlink(folder.file("link.txt")));
  EXPECT_EQ(folder.read("target.txt"), "new\n");

  const std::string fifo = folder.file("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] {
    std::ifstream in(fifo);
    received.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  });
  {
    OutputFile out(fifo);
    out.write("through the pipe\n");
    out.commit();
  }
  reader.join();
  EXPECT_EQ(received, "through the pipe\n");
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_EQ(folder.listing(), (std::vector<std::string>{"link.txt", "pipe", "target.txt"}));
}
