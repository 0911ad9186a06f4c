// Two-way frequency table: counts of the pairs (row value k, column value k) of two equally
// long vectors, with the distinct values of each side as row and column labels.
#pragma once

#include <iomanip>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "Matrix/MatrixLib.h"
#include "cli/fail.h"
#include "cli/print_banner.h"

template <class T>
class FreqTable {
 public:
  Matrix<int> table;         ///< counts, nrow x ncol
  std::vector<T> row_names;  ///< distinct row values, ascending
  std::vector<T> col_names;  ///< distinct column values, ascending
  int nrow = 0;
  int ncol = 0;
  std::string row_header;  ///< label of the row variable
  std::string col_header;  ///< label of the column variable

  /// Cross-tabulates the pairs (row_values[k], col_values[k]); stops the run when the two
  /// vectors differ in length.
  FreqTable(const std::vector<T>& row_values, const std::vector<T>& col_values,
            const std::string& rowHeader, const std::string& colHeader)
      : row_header(rowHeader), col_header(colHeader) {
    if (row_values.size() != col_values.size())
      fail_stderr("error: FreqTable vector lengths differ");
    const std::map<T, int> row_number = number_distinct(row_values, row_names);
    const std::map<T, int> col_number = number_distinct(col_values, col_names);
    nrow = static_cast<int>(row_names.size());
    ncol = static_cast<int>(col_names.size());
    table.set_size(nrow, ncol);
    for (std::size_t k = 0; k < row_values.size(); ++k) {
      const int col = col_number.at(col_values[k]);
      ++table[row_number.at(row_values[k])][static_cast<std::size_t>(col)];
    }
  }

  /// Prints the table under a banner of width 50; an empty title prints no banner.
  void print(const std::string& title) const {
    if (!title.empty()) print_banner(title, 50);
    std::cout << "Counts of " << row_header << " x " << col_header << ":" << '\n' << '\n';
    std::cout << std::string(7, ' ');
    for (const T& value : col_names) std::cout << std::setw(4) << value << ' ';
    std::cout << '\n';
    std::cout << std::string(static_cast<std::size_t>((ncol + 1) * 5 + 2), '-') << '\n';
    for (int i = 0; i < nrow; ++i) {
      std::cout << std::setw(4) << row_names[static_cast<std::size_t>(i)] << " : ";
      for (int count : table[i]) std::cout << std::setw(4) << count << ' ';
      std::cout << '\n';
    }
  }

 private:
  /// Fills `names` with the distinct values in ascending order; returns value -> position.
  static std::map<T, int> number_distinct(const std::vector<T>& values, std::vector<T>& names) {
    std::map<T, int> number;
    for (const T& value : values) number.emplace(value, 0);
    names.clear();
    for (auto& entry : number) {
      entry.second = static_cast<int>(names.size());
      names.push_back(entry.first);
    }
    return number;
  }
};
