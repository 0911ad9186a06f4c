#include "prep/least_squares.h"

#include <cmath>

namespace {

// A column whose part outside the span of the columns before it is this small, relative to its
// own length, adds nothing the earlier columns do not already explain.
constexpr double kCollinearTolerance = 1e-9;

double tail_dot(const std::vector<double>& a, const std::vector<double>& b, std::size_t from) {
  double sum = 0;
  for (std::size_t i = from; i < a.size(); ++i) sum += a[i] * b[i];
  return sum;
}

/// Applies the reflection I - 2 v v' / (v'v), v living in rows `from`.., to `column`.
void reflect(const std::vector<double>& v, double v_norm2, std::size_t from,
             std::vector<double>& column) {
  const double factor = 2 * tail_dot(v, column, from) / v_norm2;
  for (std::size_t i = from; i < column.size(); ++i) column[i] -= factor * v[i];
}

}  // namespace

int fit_residuals(const std::vector<double>& y, const std::vector<std::vector<double>>& covariates,
                  std::vector<double>& residuals) {
  const std::size_t rows = y.size();
  std::vector<std::vector<double>> columns;
  columns.emplace_back(rows, 1.0);
  for (const auto& covariate : covariates) columns.push_back(covariate);
  const std::size_t width = columns.size();

  std::vector<double> original_norm(width);
  for (std::size_t j = 0; j < width; ++j) {
    original_norm[j] = std::sqrt(tail_dot(columns[j], columns[j], 0));
  }

  residuals = y;
  std::vector<std::vector<double>> reflectors(width);
  std::vector<double> reflector_norm2(width);
  for (std::size_t j = 0; j < width; ++j) {
    const double tail_norm = std::sqrt(tail_dot(columns[j], columns[j], j));
    if (!(tail_norm > kCollinearTolerance * original_norm[j])) return static_cast<int>(j) - 1;
    const double alpha = columns[j][j] > 0 ? -tail_norm : tail_norm;
    std::vector<double>& v = reflectors[j];
    v.assign(rows, 0.0);
    for (std::size_t i = j; i < rows; ++i) v[i] = columns[j][i];
    v[j] -= alpha;
    reflector_norm2[j] = tail_dot(v, v, j);
    for (std::size_t c = j; c < width; ++c) reflect(v, reflector_norm2[j], j, columns[c]);
    reflect(v, reflector_norm2[j], j, residuals);
  }
  // Q'y with its first `width` entries zeroed, mapped back by Q, is the part of y outside the
  // column space: the residuals.
  for (std::size_t j = 0; j < width; ++j) residuals[j] = 0;
  for (std::size_t j = width; j-- > 0;) reflect(reflectors[j], reflector_norm2[j], j, residuals);
  return -1;
}
