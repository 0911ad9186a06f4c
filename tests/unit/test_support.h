// Shared pieces of the unit tests: a temporary folder per test, and a death test for
// messages that the program writes on standard output.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// A death test only sees standard error, but several of the program's messages go to
// standard output: the child process sends its standard output there before the statement.
#define EXPECT_STDOUT_EXIT(statement, regex) \
  EXPECT_EXIT(                               \
      {                                      \
        dup2(STDERR_FILENO, STDOUT_FILENO);  \
        statement;                           \
      },                                     \
      ::testing::ExitedWithCode(1), regex)

/// What `call` writes on standard output.
template <typename Call>
std::string stdout_of(Call call) {
  testing::internal::CaptureStdout();
  call();
  return testing::internal::GetCapturedStdout();
}

/// A folder of its own for each test that writes files, removed at the end of the test.
class TempDir {
 public:
  TempDir() {
    path = std::filesystem::temp_directory_path() /
           ("halvorix_test_" + std::to_string(getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(path);
  }
  ~TempDir() { std::filesystem::remove_all(path); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  /// Writes `content` to the file `name` in the folder and returns its path.
  std::string write(const std::string& name, const std::string& content) const {
    const std::filesystem::path file = path / name;
    std::ofstream(file, std::ios::binary) << content;
    return file.string();
  }

  /// The content of the file `name` in the folder.
  std::string read(const std::string& name) const {
    std::stringstream text;
    text << std::ifstream(path / name, std::ios::binary).rdbuf();
    return text.str();
  }

  /// The path of `name` in the folder.
  std::string file(const std::string& name) const { return (path / name).string(); }

  std::filesystem::path path;
};
