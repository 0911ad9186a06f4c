// Column means and covariances in one pass (Moments), and correlations between the columns of
// two matrices with the same rows (cor). Rows are subjects, columns SNPs at the gene level.
#pragma once

#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "Matrix/MatrixLib.h"
#include "cli/fail.h"

template <class T>
class Moments {
 public:
  Matrix<T> covar;         ///< ncol_dat x ncol_dat sample covariances
  std::vector<T> mean;     ///< column means
  std::vector<int> count;  ///< rows used per column (all rows: no missing data here)
  T eps;                   ///< a standard deviation product not above eps counts as zero
  int nrow_dat;
  int ncol_dat;
  int error;  ///< 9 before computing, 0 on success, 1 when there is no data
  T missing_value;

  explicit Moments(Matrix<T>& data)
      : covar(data.size_col(), data.size_col()),
        mean(static_cast<std::size_t>(data.size_col()), T(0)),
        count(static_cast<std::size_t>(data.size_col()), data.size_row()),
        eps(static_cast<T>(1e-6)),
        nrow_dat(data.size_row()),
        ncol_dat(data.size_col()),
        error(9),
        missing_value(0) {
    compute_covar_no_missing(data);
  }

  /// Running (Welford-style) update of means and the lower triangle, in T.
  void compute_covar_no_missing(Matrix<T>& data) {
    if (nrow_dat < 1 || ncol_dat < 1) {
      error = 1;
      return;
    }
    const auto p = static_cast<std::size_t>(ncol_dat);
    for (std::size_t j = 0; j < p; ++j) mean[j] = data[0][j];
    std::vector<T> dev(p);
    for (int i = 1; i < nrow_dat; ++i) {
      const T n = static_cast<T>(i + 1);
      const T fi = static_cast<T>(i);
      const std::vector<T>& row = data[i];
      for (std::size_t j = 0; j < p; ++j) {
        dev[j] = row[j] - mean[j];
        mean[j] = mean[j] + dev[j] / n;
      }
      for (std::size_t j = 0; j < p; ++j) {
        std::vector<T>& cj = covar.matrix[j];
        for (std::size_t k = 0; k <= j; ++k) cj[k] = ((dev[j] * dev[k]) * fi) / n + cj[k];
      }
    }
    for (std::size_t j = 0; j < p; ++j)
      for (std::size_t k = 0; k <= j; ++k)
        covar.matrix[j][k] =
            static_cast<T>(static_cast<double>(covar.matrix[j][k]) / (nrow_dat - 1));
    for (std::size_t j = 0; j < p; ++j)
      for (std::size_t k = j + 1; k < p; ++k) covar.matrix[j][k] = covar.matrix[k][j];
    error = 0;
  }

  /// Correlations from the covariances; a pair with a zero standard deviation gets 1.
  Matrix<T> correlation() const {
    Matrix<T> r(ncol_dat, ncol_dat);
    const auto p = static_cast<std::size_t>(ncol_dat);
    for (std::size_t i = 0; i < p; ++i) {
      const T si = std::sqrt(covar.matrix[i][i]);
      for (std::size_t j = i; j < p; ++j) {
        const T d = std::sqrt(covar.matrix[j][j]) * si;
        r.matrix[i][j] = std::abs(d) > eps ? covar.matrix[i][j] / d : T(1);
      }
    }
    for (std::size_t i = 0; i < p; ++i)
      for (std::size_t j = 0; j < i; ++j) r.matrix[i][j] = r.matrix[j][i];
    return r;
  }
};

/// Correlations between every column of x and every column of y (same rows); a pair with a
/// zero standard deviation gets 0. Size problems stop the run.
template <class T>
Matrix<T> cor(Matrix<T>& x, Matrix<T>& y) {
  const int rx = x.size_row(), p = x.size_col();
  const int ry = y.size_row(), q = y.size_col();
  int code = 0;
  if (rx < 1 || p < 1) {
    code = 2;
  } else if (rx != ry) {
    code = 1;
  }
  if (ry < 1 || q < 1) code = 3;
  if (code != 0) {
    fail_stderr("error: cor of 2 matrices, error code = " + std::to_string(code));
  }
  const T dm = static_cast<T>(rx - 1.0);
  std::vector<T> meanx = x[0], meany = y[0];
  std::vector<T> ssx(static_cast<std::size_t>(p), T(0)), ssy(static_cast<std::size_t>(q), T(0));
  std::vector<T> dx(static_cast<std::size_t>(p)), dy(static_cast<std::size_t>(q));
  Matrix<T> r(p, q);
  for (int i = 1; i < rx; ++i) {
    const T n = static_cast<T>(i + 1);
    const T fi = static_cast<T>(i);
    for (std::size_t j = 0; j < dx.size(); ++j) {
      dx[j] = x[i][j] - meanx[j];
      meanx[j] += dx[j] / n;
      ssx[j] += ((dx[j] * dx[j]) * fi) / n;
    }
    for (std::size_t k = 0; k < dy.size(); ++k) {
      dy[k] = y[i][k] - meany[k];
      meany[k] += dy[k] / n;
      ssy[k] += ((dy[k] * dy[k]) * fi) / n;
    }
    for (std::size_t j = 0; j < dx.size(); ++j) {
      std::vector<T>& rj = r.matrix[j];
      for (std::size_t k = 0; k < dy.size(); ++k) rj[k] = ((dx[j] * dy[k]) * fi) / n + rj[k];
    }
  }
  for (T& v : ssx) v /= dm;
  for (T& v : ssy) v /= dm;
  for (std::size_t j = 0; j < dx.size(); ++j) {
    for (std::size_t k = 0; k < dy.size(); ++k) {
      T& v = r.matrix[j][k];
      v = v / dm;
      const T s = std::sqrt(ssx[j] * ssy[k]);
      v = s > static_cast<T>(1e-6) ? v / s : T(0);
    }
  }
  return r;
}
