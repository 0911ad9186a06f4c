#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "cli/fail.h"
#include "prep/output_file.h"
#include "test_support.h"

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

TEST(OutputFile, ReplacedFileKeepsModeAndHardLinks) {
  TempDir folder;
  const std::string path = folder.write("edges.dat", "old\n");
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  const auto replace = [&path](const char* text) {
    OutputFile out(path);
    out.write(text);
    out.commit();
  };
  // Without a link the file is renamed into place: the mode is the temporary file's to keep.
  replace("new\n");
  EXPECT_EQ(folder.read("edges.dat"), "new\n");
  EXPECT_EQ(std::filesystem::status(path).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::filesystem::create_hard_link(path, folder.file("copy.dat"));
  replace("newer\n");
  EXPECT_EQ(folder.read("copy.dat"), "newer\n");
  EXPECT_EQ(folder.listing(), (std::vector<std::string>{"copy.dat", "edges.dat"}));
}
