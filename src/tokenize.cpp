#include "tokenize.h"

void tokenize(const std::string& str, std::vector<std::string>& tokens,
              const std::string& delimiters) {
  tokens.clear();
  std::string::size_type start = str.find_first_not_of(delimiters, 0);
  std::string::size_type end = str.find_first_of(delimiters, start);
  while (start != std::string::npos || end != std::string::npos) {
    tokens.push_back(str.substr(start, end - start));
    start = str.find_first_not_of(delimiters, end);
    end = str.find_first_of(delimiters, start);
  }
}

bool read_line(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}
