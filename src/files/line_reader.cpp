#include "files/line_reader.h"

#include <cerrno>
#include <cstring>

#include "cli/fail.h"
#include "files/tokenize.h"

LineReader::LineReader(const std::string& file_path) : path(file_path), chunk(1 << 16) {
  if (is_directory(path)) fail_stderr("error: " + path + " is a directory");
  file = gzopen(path.c_str(), "rb");
  if (file == nullptr) fail_stderr("error: cannot open " + path + ": " + std::strerror(errno));
  gzbuffer(file, 1 << 17);
}

LineReader::~LineReader() {
  if (file != nullptr) gzclose(file);
}

bool LineReader::fill_chunk() {
  const int n = gzread(file, chunk.data(), static_cast<unsigned>(chunk.size()));
  int code = Z_OK;
  const char* message = gzerror(file, &code);
  // A stream cut short reads as a short chunk with an error recorded; so does a damaged one.
  if (n < 0 || (n == 0 && code != Z_OK)) {
    const std::string where =
        line_number == 0 ? "before its first line" : "after line " + std::to_string(line_number);
    fail_stderr("error: " + path + ": damaged compressed data " + where + " (" + message + ")");
  }
  chunk_start = 0;
  chunk_end = static_cast<std::size_t>(n);
  return n > 0;
}

bool LineReader::read_line(std::string& line) {
  line.clear();
  bool got_any = false;
  // A line may span several chunks; the newline ends it.
  while (chunk_start < chunk_end || fill_chunk()) {
    got_any = true;
    const char* begin = chunk.data() + chunk_start;
    const auto* newline =
        static_cast<const char*>(std::memchr(begin, '\n', chunk_end - chunk_start));
    const std::size_t length =
        newline != nullptr ? static_cast<std::size_t>(newline - begin) : chunk_end - chunk_start;
    line.append(begin, length);
    chunk_start += length;
    if (newline != nullptr) {
      ++chunk_start;
      break;
    }
  }
  if (!got_any) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  ++line_number;
  if (line_number == 1) line.erase(0, byte_order_mark_length(line));
  // A NUL byte means this is not a text file; reading on would glue names together.
  if (line.find('\0') != std::string::npos) fail_stderr("error: " + where() + ": NUL byte");
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
