// Dense matrix stored as a vector of row vectors: the SNP score matrix (one row per SNP),
// covariance and correlation matrices, and frequency-table counts.
#pragma once

#include <cassert>
#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "cli/fail.h"

template <class T>
class Matrix {
 public:
  int nrow;
  int ncol;
  std::vector<std::vector<T>> matrix;  ///< matrix[i] is row i, of ncol elements

  Matrix() : nrow(0), ncol(0) {}
  Matrix(int rows, int cols) : nrow(0), ncol(0) { set_size(rows, cols); }
  Matrix(int rows, int cols, T value) : nrow(0), ncol(0) { assign(rows, cols, value); }
  Matrix(const Matrix& src) = default;
  ~Matrix() {
    empty();
    nrow = 0;
    ncol = 0;
  }

  int size_row() const { return nrow; }
  int size_col() const { return ncol; }

  /// Row `index`; rows are bounds-checked, elements within a row are not.
  std::vector<T>& operator[](int index) {
    // The assertion text is part of the program's output: keep it as written.
    // clang-format off
    assert(index >=0 && index<nrow);
    // clang-format on
    return matrix[static_cast<std::size_t>(index)];
  }
  const std::vector<T>& operator[](int index) const {
    // The assertion text is part of the program's output: keep it as written.
    // clang-format off
    assert(index >=0 && index<nrow);
    // clang-format on
    return matrix[static_cast<std::size_t>(index)];
  }

  Matrix& operator=(const Matrix& src) {
    if (this == &src) return *this;
    set_size(src.nrow, src.ncol);
    for (int i = 0; i < nrow; ++i)
      matrix[static_cast<std::size_t>(i)] = src.matrix[static_cast<std::size_t>(i)];
    return *this;
  }

  /// Resizes to rows x cols of zeros; a request with no rows or no columns gives 0 x 0.
  void set_size(int rows, int cols) {
    empty();
    nrow = rows;
    ncol = cols;
    // clang-format off
    assert(nrow >=0 && ncol >= 0);
    // clang-format on
    if (nrow == 0 || ncol == 0) {
      nrow = 0;
      ncol = 0;
      return;
    }
    matrix.assign(static_cast<std::size_t>(nrow),
                  std::vector<T>(static_cast<std::size_t>(ncol), T(0)));
  }

  void assign(int rows, int cols, T value) {
    set_size(rows, cols);
    for (auto& row : matrix) row.assign(row.size(), value);
  }

  /// Removes every row; leaves nrow and ncol as they are (callers reset them).
  void empty() {
    for (auto& row : matrix) {
      row.clear();
      row.shrink_to_fit();
    }
    matrix.clear();
    matrix.shrink_to_fit();
  }

  /// Appends a row; the first row of an empty matrix fixes the column count.
  void push_bottom(const std::vector<T>& row) {
    if (ncol > 0 && static_cast<int>(row.size()) != ncol) {
      fail_stderr("error: vector to push_bottom of matrix has wrong size, vec size = " +
                  std::to_string(row.size()) + ", matrix ncol = " + std::to_string(ncol));
    }
    matrix.push_back(row);
    nrow = static_cast<int>(matrix.size());
    ncol = static_cast<int>(matrix[0].size());
  }

  /// Sum of squares of all elements, accumulated row by row in T.
  T ssq() const {
    T sum = 0;
    for (const auto& row : matrix)
      for (T v : row) sum += v * v;
    return sum;
  }

  /// Missing when eps > |v - missing|: difference in T, comparison in double.
  static bool is_missing(T v, T missing, double eps) {
    const T diff = std::abs(static_cast<T>(v - missing));
    return eps > static_cast<double>(diff);
  }

  /// Means of the non-missing elements of each column (0 for a column with none).
  std::vector<double> mean_of_col(T missing, double eps) const {
    std::vector<double> sum(static_cast<std::size_t>(ncol), 0.0);
    std::vector<int> count(static_cast<std::size_t>(ncol), 0);
    for (const auto& row : matrix) {
      for (std::size_t j = 0; j < row.size(); ++j) {
        if (is_missing(row[j], missing, eps)) continue;
        sum[j] += static_cast<double>(row[j]);
        ++count[j];
      }
    }
    for (std::size_t j = 0; j < sum.size(); ++j) sum[j] = count[j] > 0 ? sum[j] / count[j] : 0.0;
    return sum;
  }

  void replace_missing_by_zero(T missing, double eps) {
    for (auto& row : matrix)
      for (T& v : row)
        if (is_missing(v, missing, eps)) v = 0;
  }

  /// Means are taken before any replacement, so replaced values never feed another mean.
  void replace_missing_by_mean(T missing, double eps) {
    const std::vector<double> means = mean_of_col(missing, eps);
    for (auto& row : matrix)
      for (std::size_t j = 0; j < row.size(); ++j)
        if (is_missing(row[j], missing, eps)) row[j] = static_cast<T>(means[j]);
  }

  void replace_missing(T missing, const std::string& method, double eps) {
    if (method == "zero") {
      replace_missing_by_zero(missing, eps);
    } else if (method == "mean") {
      replace_missing_by_mean(missing, eps);
    } else {
      fail_stderr("error:  method = " + method + " for replace missing");
    }
  }
};

template <class T>
std::ostream& operator<<(std::ostream& out, const Matrix<T>& m) {
  out << "Nrow = " << m.nrow << ", Ncol = " << m.ncol << std::endl;
  for (const auto& row : m.matrix) {
    for (T v : row) out << v << ", ";
    out << std::endl;
  }
  return out;
}
