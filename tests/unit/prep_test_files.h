// A temporary folder per test for the halvorix-prep tests, with writers for plain, gzip and
// binary files; removed with everything in it when the test ends.
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

class PrepTempFolder {
 public:
  std::filesystem::path path;

  PrepTempFolder() {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    path = std::filesystem::temp_directory_path() /
           ("halvorix_prep_" + std::to_string(getpid()) + "_" + test->test_suite_name() + "_" +
            test->name());
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~PrepTempFolder() { std::filesystem::remove_all(path); }

  std::string file(const std::string& name) const { return (path / name).string(); }

  std::string write(const std::string& name, const std::string& content) const {
    std::ofstream(file(name), std::ios::binary) << content;
    return file(name);
  }

  std::string write_bytes(const std::string& name, const std::vector<unsigned char>& bytes) const {
    std::ofstream out(file(name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return file(name);
  }

  std::string write_gzip(const std::string& name, const std::string& content) const {
    gzFile out = gzopen(file(name).c_str(), "wb");
    gzwrite(out, content.data(), static_cast<unsigned>(content.size()));
    gzclose(out);
    return file(name);
  }

  std::string read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  /// Names of the files in the folder, to show that nothing was left behind.
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

/// The lines of `text` that are not '#' comments.
inline std::vector<std::string> data_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  return lines;
}
