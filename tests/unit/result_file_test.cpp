#include "files/result_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <iterator>
#include <thread>

#include "files/html.h"
#include "test_support.h"

namespace fs = std::filesystem;

TEST(ResultFile, PreviousResultStaysWholeUntilCommitAndNoTemporaryIsLeft) {
  TempDir dir;
  const std::string path = dir.write("output.csv", "previous result\n");
  {
    ResultFile result(path);
    ASSERT_TRUE(result.is_open());
    result.out << "half of a new";
    EXPECT_EQ(dir.read("output.csv"), "previous result\n");  // not truncated at open
  }                                                          // abandoned: as if the run had stopped
  EXPECT_EQ(dir.read("output.csv"), "previous result\n");
  EXPECT_EQ(dir.listing(), std::vector<std::string>{"output.csv"});
  {
    ResultFile result(path);
    result.out << "new result\n";
    result.commit();
  }
  EXPECT_EQ(dir.read("output.csv"), "new result\n");
  EXPECT_EQ(dir.listing(), std::vector<std::string>{"output.csv"});
  EXPECT_FALSE(ResultFile(dir.file("no/such/dir/out.csv")).is_open());
}

TEST(ResultFile, SymbolicLinkIsKeptAndItsTargetReplacedFifoWrittenInPlace) {
  TempDir dir;
  fs::create_directory(dir.path / "real");
  dir.write("real/output.html", "old\n");
  fs::create_symlink("real/output.html", dir.path / "output.html");
  {
    ResultFile result(dir.file("output.html"));
    result.out << "new\n";
    result.commit();
  }
  EXPECT_TRUE(fs::is_symlink(dir.path / "output.html"));
  EXPECT_EQ(dir.read("real/output.html"), "new\n");

  const std::string fifo = dir.file("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_TRUE(resolve_output_target(fifo).direct);
  std::string received;
  std::thread reader([&] {
    std::ifstream in(fifo);
    received.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  });
  {
    ResultFile result(fifo);
    result.out << "streamed\n";
    result.commit();
  }
  reader.join();
  EXPECT_EQ(received, "streamed\n");
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(resolve_output_target("/dev/null").direct);
  EXPECT_FALSE(resolve_output_target(dir.file("new.csv")).direct);
}

// Markup in names is escaped end to end in the golden HTML cases.
TEST(Html, LinkNamesPercentEncoded) {
  EXPECT_EQ(percent_encode("a b&c=d/\"<>%"), "a%20b%26c%3Dd%2F%22%3C%3E%25");
  const std::string plain = "GO:0008150.hsa-MIR_21";  // the names of every golden case
  EXPECT_EQ(html_escape(plain), plain);
  EXPECT_EQ(percent_encode(plain), plain);
  EXPECT_EQ(percent_encode("\xC3\xA9"), "%C3%A9");
}
