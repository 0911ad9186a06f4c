// Tables of the allowed values of the choice options, and the upper-casing of a method name.
#pragma once

#include <map>
#include <string>

class LookupTable {
 public:
  /// Allowed value -> number of entries the table held when it was inserted.
  std::map<std::string, int> table;

  /// Adds `s` with the next insertion index; a key already present keeps its first index.
  void insert(const std::string& s);
  /// Exact, case-sensitive membership.
  bool inTable(const std::string& s) const;
  /// The keys in ascending byte order joined by ", "; empty for an empty table.
  std::string get_csv() const;
  /// get_csv() enclosed in "(" and ")", as shown in the option descriptions.
  std::string get_csv_enclosed() const;
};

/// Upper-cases the ASCII letters of `s` in place; every other byte is left as it is.
void str_toupper(std::string& s);
