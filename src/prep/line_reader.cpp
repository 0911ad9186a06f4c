#include "prep/line_reader.h"

#include <cerrno>
#include <cstring>

#include "fail.h"

LineReader::LineReader(const std::string& file_path) : path(file_path), chunk(1 << 16) {
  file = gzopen(path.c_str(), "rb");
  if (file == nullptr) fail_stderr("error: cannot open " + path + ": " + std::strerror(errno));
  gzbuffer(file, 1 << 17);
}

LineReader::~LineReader() {
  if (file != nullptr) gzclose(file);
}

bool LineReader::read_line(std::string& line) {
  line.clear();
  bool got_any = false;
  // gzgets stops at the chunk size, so a long line arrives in pieces.
  while (gzgets(file, chunk.data(), static_cast<int>(chunk.size())) != nullptr) {
    got_any = true;
    const std::size_t length = std::strlen(chunk.data());
    if (length > 0 && chunk[length - 1] == '\n') {
      line.append(chunk.data(), length - 1);
      break;
    }
    line.append(chunk.data(), length);
  }
  if (!got_any) {
    int code = Z_OK;
    const char* message = gzerror(file, &code);
    if (code != Z_OK) {
      fail_stderr("error: " + path + ": damaged compressed data after line " +
                  std::to_string(line_number) + " (" + message + ")");
    }
    return false;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  ++line_number;
  return true;
}

std::string LineReader::where() const { return path + " line " + std::to_string(line_number); }

void split_whitespace(const std::string& line, std::vector<std::string>& fields) {
  fields.clear();
  std::size_t start = line.find_first_not_of(" \t");
  while (start != std::string::npos) {
    const std::size_t end = line.find_first_of(" \t", start);
    fields.push_back(line.substr(start, end - start));
    if (end == std::string::npos) break;
    start = line.find_first_not_of(" \t", end);
  }
}

void split_tabs(const std::string& line, std::vector<std::string>& fields) {
  fields.clear();
  std::size_t start = 0;
  while (true) {
    const std::size_t end = line.find('\t', start);
    fields.push_back(line.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

bool is_blank(const std::string& line) {
  return line.find_first_not_of(" \t") == std::string::npos;
}

bool has_field_separator(const std::string& text) {
  return text.find_first_of(", \t") != std::string::npos;
}
