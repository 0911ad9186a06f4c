#include "files/tokenize.h"

#include <sys/stat.h>

#include "cli/fail.h"

void tokenize_views(std::string_view str, std::vector<std::string_view>& fields,
                    const std::string& delimiters) {
  // A byte table instead of find_first_of: score files have thousands of fields per line.
  bool is_delimiter[256] = {};
  for (unsigned char c : delimiters) is_delimiter[c] = true;
  fields.clear();
  const std::size_t n = str.size();
  std::size_t pos = 0;
  while (pos < n) {
    while (pos < n && is_delimiter[static_cast<unsigned char>(str[pos])]) ++pos;
    const std::size_t start = pos;
    while (pos < n && !is_delimiter[static_cast<unsigned char>(str[pos])]) ++pos;
    if (pos > start) fields.emplace_back(str.data() + start, pos - start);
  }
}

void tokenize(const std::string& str, std::vector<std::string>& tokens,
              const std::string& delimiters) {
  std::vector<std::string_view> views;
  tokenize_views(str, views, delimiters);
  tokens.assign(views.begin(), views.end());
}

bool read_line(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool is_directory(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::size_t byte_order_mark_length(std::string_view text) {
  return text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
}

bool is_stream(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

TextInput::TextInput(const std::string& name, const std::string& open_failure, StopRun stop)
    : filename(name) {
  if (is_directory(filename)) fail_stderr("error: " + filename + " is a directory");
  in.open(filename);
  if (!in.is_open() || in.fail()) stop(open_failure);
}

bool TextInput::read_line(std::string& line) {
  if (!::read_line(in, line)) return false;
  ++line_number;
  if (line_number == 1) line.erase(0, byte_order_mark_length(line));
  if (line.find('\0') != std::string::npos) {
    fail_stderr("error: NUL byte on line " + std::to_string(line_number) + " of file " + filename +
                ": not a text file");
  }
  return true;
}

bool is_comment(const std::vector<std::string>& fields) {
  return !fields.empty() && fields[0][0] == kCommentMarker;
}

DataLines::DataLines(const std::string& name, const std::string& open_failure, StopRun stop)
    : in(name, open_failure, stop) {}

bool DataLines::next(std::vector<std::string>& fields) {
  while (in.read_line(line)) {
    tokenize(line, fields, kFieldDelimiters);
    if (fields.empty() ? skip_blank_lines : is_comment(fields)) continue;
    return true;
  }
  return false;
}

void DataLines::require_fields(const std::vector<std::string>& fields, std::size_t minimum) const {
  if (fields.size() >= minimum) return;
  fail_stderr("error: expect at least " + std::to_string(minimum) + " fields on line " +
              std::to_string(in.line_number) + " of file " + in.filename + ", but found " +
              std::to_string(fields.size()));
}
