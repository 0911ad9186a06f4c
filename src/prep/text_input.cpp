#include "prep/text_input.h"

#include "cli/fail.h"
#include "conventions.h"
#include "files/tokenize.h"

InputWording prep_wording() {
  InputWording wording;
  wording.cannot_open = [](const std::string& path, const std::string& reason) {
    fail_stderr("error: cannot open " + path + ": " + reason);
  };
  wording.nul_byte = [](const std::string& path, long line) {
    return "error: " + path + " line " + std::to_string(line) + ": NUL byte";
  };
  wording.line_too_long = [](const std::string& path, long line, std::size_t limit) {
    return "error: " + path + " line " + std::to_string(line) + ": longer than " +
           std::to_string(limit) + " bytes (a line end missing, or not a text file)";
  };
  wording.damaged_data = [](const std::string& path, long line, const std::string& cause) {
    const std::string where =
        line == 0 ? "before its first line" : "after line " + std::to_string(line);
    return "error: " + path + ": damaged compressed data " + where + " (" + cause + ")";
  };
  return wording;
}

void split_whitespace(const std::string& line, std::vector<std::string>& fields) {
  tokenize(line, fields, " \t");
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
  return text.find_first_of(kFieldDelimiters) != std::string::npos;
}

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}
