// Shared pieces of the unit tests: a temporary folder per test (plain and gzip writers), and a
// death test for messages that the program writes on standard output.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

  std::string write_gzip(const std::string& name, const std::string& content) const {
    gzFile out = gzopen(file(name).c_str(), "wb");
    gzwrite(out, content.data(), static_cast<unsigned>(content.size()));
    gzclose(out);
    return file(name);
  }

  /// The content of the file `name` in the folder.
  std::string read(const std::string& name) const {
    std::stringstream text;
    text << std::ifstream(path / name, std::ios::binary).rdbuf();
    return text.str();
  }

  /// The path of `name` in the folder.
  std::string file(const std::string& name) const { return (path / name).string(); }

  /// Names of the files in the folder, to show that nothing was left behind.
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::filesystem::path path;
};

/// The lines of `text` that are not '#' comments.
inline std::vector<std::string> data_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  return lines;
}
