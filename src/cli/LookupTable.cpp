#include "cli/LookupTable.h"

#include <cctype>

void LookupTable::insert(const std::string& s) {
  // emplace never overwrites, so a repeated key keeps its first index
  table.emplace(s, static_cast<int>(table.size()));
}

bool LookupTable::inTable(const std::string& s) const { return table.count(s) != 0; }

std::string LookupTable::get_csv() const {
  std::string csv;
  bool first = true;  // not csv.empty(): an empty key still needs its separator
  for (const auto& entry : table) {
    if (!first) csv += ", ";
    csv += entry.first;
    first = false;
  }
  return csv;
}

std::string LookupTable::get_csv_enclosed() const { return "(" + get_csv() + ")"; }

void str_toupper(std::string& s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}
