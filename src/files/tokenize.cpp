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

InputWording halvorix_wording(const std::string& open_failure, StopRun stop) {
  InputWording wording;
  wording.cannot_open = [open_failure, stop](const std::string&, const std::string&) {
    stop(open_failure);
  };
  wording.nul_byte = [](const std::string& path, long line) {
    return "error: NUL byte on line " + std::to_string(line) + " of file " + path +
           ": not a text file";
  };
  wording.line_too_long = [](const std::string& path, long line, std::size_t limit) {
    return "error: line " + std::to_string(line) + " of file " + path + " is longer than " +
           std::to_string(limit) + " bytes: a line end is missing, or it is not a text file";
  };
  wording.damaged_data = [](const std::string& path, long line, const std::string& cause) {
    const std::string where = line == 0 ? "at the start" : "after line " + std::to_string(line);
    // zlib names the file first; the message names it already.
    const std::string prefix = path + ": ";
    const std::string reason = cause.rfind(prefix, 0) == 0 ? cause.substr(prefix.size()) : cause;
    return "error: damaged compressed data " + where + " of file " + path + " (" + reason + ")";
  };
  return wording;
}

bool is_comment(const std::vector<std::string>& fields) {
  return !fields.empty() && fields[0][0] == kCommentMarker;
}

DataLines::DataLines(const std::string& name, const std::string& open_failure, StopRun stop)
    : in(name, halvorix_wording(open_failure, stop)) {}

bool DataLines::next(std::vector<std::string>& fields) {
  while (in.read_line(line)) {
    tokenize(line, fields, kFieldDelimiters);
    if (fields.empty() ? skip_blank_lines : is_comment(fields)) continue;
    ++handed_over;
    return true;
  }
  return false;
}

void DataLines::require_fields(const std::vector<std::string>& fields, std::size_t minimum) const {
  if (fields.size() >= minimum) return;
  fail_stderr("error: expect at least " + std::to_string(minimum) + " fields on line " +
              std::to_string(in.line_number) + " of file " + in.path + ", but found " +
              std::to_string(fields.size()));
}

void fail_no_data_lines(const std::string& path, const std::string& what) {
  fail_stderr("error: no data lines in file " + path + " (expected " + what + ")");
}

void DataLines::require_data_lines(const std::string& what) const {
  if (handed_over == 0) fail_no_data_lines(in.path, what);
}
