#include "files/output_policy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "files/result_file.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

mode_t mode_of(const std::string& path) {
  struct stat status;
  EXPECT_EQ(stat(path.c_str(), &status), 0);
  return status.st_mode & 07777;
}

void write_result(const std::string& path, const std::string& text) {
  ResultFile result(path);
  ASSERT_TRUE(result.is_open());
  result.out << text;
  result.commit();
}

}  // namespace

TEST(OutputPolicy, OutputThatIsAnInputOrAnotherOutputIsRefused) {
  TempDir dir;
  const std::string score = dir.write("score.dat", "rs1 1 2\n");
  fs::create_hard_link(score, dir.path / "alias.dat");
  fs::create_symlink("score.dat", dir.path / "link.dat");
  fs::create_directory(dir.path / "sub");
  const std::vector<NamedFile> inputs = {{"--score", score}};
  for (const char* same : {"alias.dat", "link.dat", "sub/../score.dat", "./score.dat"}) {
    const std::string clash = find_output_clash(inputs, {{"--csv_output", dir.file(same)}});
    EXPECT_NE(clash.find("--csv_output " + dir.file(same) + " is the input --score " + score),
              std::string::npos)
        << same;
  }
  EXPECT_EQ(find_output_clash(inputs, {{"--csv_output", dir.file("score.csv")}}), "");

  // Names not made yet are compared as the folder resolves them, even a folder not made yet.
  const std::string clash = find_output_clash(
      inputs,
      {{"--html_output", dir.file("new.txt")}, {"--csv_output", dir.file("sub/../new.txt")}});
  EXPECT_NE(clash.find("outputs --html_output"), std::string::npos) << clash;
  EXPECT_NE(find_output_clash({}, {{"--a", dir.file("no/x")}, {"--b", dir.file("no/y/../x")}}), "");
  EXPECT_EQ(find_output_clash({}, {{"--a", dir.file("no/x")}, {"--b", dir.file("no/y")}}), "");

  // Streams take one output after another, and reading a device is not writing it.
  EXPECT_EQ(find_output_clash({{"--score", "/dev/null"}},
                              {{"--html_output", "/dev/null"}, {"--csv_output", "/dev/stdout"}}),
            "");
  EXPECT_EQ(normalised_name(dir.file("sub/./../a/b/../c")), dir.file("a/c"));
}

TEST(OutputPolicy, ReplacedFileKeepsItsModeAndItsHardLinks) {
  TempDir dir;
  const std::string path = dir.write("private.csv", "old\n");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  write_result(path, "new\n");
  EXPECT_EQ(mode_of(path), 0640u);
  EXPECT_EQ(dir.read("private.csv"), "new\n");

  const mode_t mask = umask(022);
  write_result(dir.file("fresh.csv"), "x\n");
  umask(mask);
  EXPECT_EQ(mode_of(dir.file("fresh.csv")), 0644u);

  fs::create_hard_link(path, dir.path / "shared.csv");
  write_result(path, "linked result\n");
  EXPECT_EQ(dir.read("shared.csv"), "linked result\n");
  EXPECT_TRUE(fs::equivalent(dir.path / "private.csv", dir.path / "shared.csv"));
  EXPECT_EQ(dir.listing(), (std::vector<std::string>{"fresh.csv", "private.csv", "shared.csv"}));
}

TEST(OutputPolicy, DescriptorNamesWriteThroughTheOpenDescriptor) {
  TempDir dir;
  const std::string log = dir.write("run.log", "console line\n");
  const int appending = open(log.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(appending, 0);
  const std::string name = "/dev/fd/" + std::to_string(appending);
  const OutputTarget target = resolve_output_target(name);
  EXPECT_TRUE(target.direct);
  EXPECT_EQ(target.descriptor, appending);
  EXPECT_EQ(resolve_output_target("/proc/self/fd/1").descriptor, 1);
  EXPECT_EQ(resolve_output_target("/dev/stdout").descriptor, 1);
  write_result(name, "result\n");
  ASSERT_EQ(write(appending, "after\n", 6), 6);
  close(appending);
  EXPECT_EQ(dir.read("run.log"), "console line\nresult\nafter\n");
  EXPECT_EQ(dir.listing(), std::vector<std::string>{"run.log"});

  const int read_only = open(log.c_str(), O_RDONLY);
  EXPECT_FALSE(ResultFile("/dev/fd/" + std::to_string(read_only)).is_open());
  close(read_only);
}

TEST(OutputPolicy, AnotherUsersLinkInAStickySharedFolderIsNotFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a link to another user needs root";
  TempDir dir;
  const fs::path shared = dir.path / "shared";
  fs::create_directory(shared);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  const std::string victim = dir.write("victim.txt", "precious\n");
  const std::string planted = (shared / "out.csv").string();
  fs::create_symlink(victim, planted);
  ASSERT_EQ(lchown(planted.c_str(), 4242, 4242), 0);

  const OutputTarget target = resolve_output_target(planted);
  EXPECT_NE(target.refusal.find("belongs to another user"), std::string::npos);
  EXPECT_NE(find_output_clash({}, {{"--csv_output", planted}}).find("--csv_output " + planted),
            std::string::npos);
  EXPECT_FALSE(ResultFile(planted).is_open());
  EXPECT_EQ(dir.read("victim.txt"), "precious\n");
  // A planted link to a folder is no better: the new name behind it is not written either.
  const std::string folder_link = (shared / "results").string();
  fs::create_symlink(dir.path, folder_link);
  ASSERT_EQ(lchown(folder_link.c_str(), 4242, 4242), 0);
  EXPECT_NE(resolve_output_target(folder_link + "/new.csv").refusal, "");

  // The folder's owner's links, and links outside such folders, are followed as before.
  ASSERT_EQ(lchown(planted.c_str(), 0, 0), 0);
  EXPECT_EQ(resolve_output_target(planted).refusal, "");
  ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
  ASSERT_EQ(lchown(planted.c_str(), 4242, 4242), 0);
  EXPECT_EQ(resolve_output_target(planted).final_path, victim);
}

TEST(OutputPolicy, UnwritableResultWarnsOfAnOlderFileOfThatName) {
  TempDir dir;
  // A name whose temporary twin is too long for the folder: creating the result fails even
  // for root, which a read-only folder would not stop.
  const std::string name = std::string(250, 'r') + ".csv";
  dir.write(name, "last week's result\n");
  const std::string said =
      stdout_of([&] { EXPECT_FALSE(ResultFile(dir.file(name)).is_open_or_warn("csv")); });
  EXPECT_NE(said.find("Cannot open " + dir.file(name) + "for csv output.\n"), std::string::npos);
  EXPECT_NE(said.find("warning: " + dir.file(name) + " is left from an earlier run"),
            std::string::npos);
  EXPECT_EQ(dir.read(name), "last week's result\n");
  const std::string absent = stdout_of(
      [&] { EXPECT_FALSE(ResultFile(dir.file("no/such/out.csv")).is_open_or_warn("csv")); });
  EXPECT_EQ(absent.find("warning"), std::string::npos);
}
