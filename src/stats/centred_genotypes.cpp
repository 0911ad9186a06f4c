#include "stats/centred_genotypes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/snp_kernel.h"

void CentredGenotypes::attach(const CompactRows& compact) {
  rows = &compact;
  nsubj = static_cast<int>(compact.header.nsubj);
  ncovariates = static_cast<int>(compact.header.covariate_columns);
  z_row.assign(static_cast<std::size_t>(nsubj) * static_cast<std::size_t>(ncovariates), 0.0);
  ztz.assign(static_cast<std::size_t>(ncovariates) * static_cast<std::size_t>(ncovariates), 0.0);
  if (ncovariates == 1) return;  // x = g - m: nothing to fit
  for (int c = 0; c < ncovariates; ++c) {
    const double* column = compact.covariate_column(c);
    for (int i = 0; i < nsubj; ++i)
      z_row[static_cast<std::size_t>(i) * ncovariates + c] = column[i];
  }
  for (int i = 0; i < nsubj; ++i) {
    const double* z = z_row.data() + static_cast<std::size_t>(i) * ncovariates;
    for (int a = 0; a < ncovariates; ++a)
      for (int b = 0; b < ncovariates; ++b)
        ztz[static_cast<std::size_t>(a) * static_cast<std::size_t>(ncovariates) +
            static_cast<std::size_t>(b)] += z[a] * z[b];
  }
}

std::vector<double> solve_normal_equations(std::vector<double> a, std::vector<double> rhs, int n) {
  const auto at = [n](int r, int c) {
    return static_cast<std::size_t>(r) * static_cast<std::size_t>(n) + static_cast<std::size_t>(c);
  };
  std::vector<bool> dependent(static_cast<std::size_t>(n), false);
  // a = L L', L in the lower triangle of a.
  for (int c = 0; c < n; ++c) {
    const double diagonal = a[at(c, c)];
    double d = diagonal;
    for (int k = 0; k < c; ++k) d -= a[at(c, k)] * a[at(c, k)];
    if (!(d > 1e-10 * std::max(diagonal, 1e-300))) {
      dependent[static_cast<std::size_t>(c)] = true;
      for (int r = c; r < n; ++r) a[at(r, c)] = 0;
      continue;
    }
    a[at(c, c)] = std::sqrt(d);
    for (int r = c + 1; r < n; ++r) {
      double v = a[at(r, c)];
      for (int k = 0; k < c; ++k) v -= a[at(r, k)] * a[at(c, k)];
      a[at(r, c)] = v / a[at(c, c)];
    }
  }
  for (int r = 0; r < n; ++r) {  // L y = rhs
    if (dependent[static_cast<std::size_t>(r)]) {
      rhs[static_cast<std::size_t>(r)] = 0;
      continue;
    }
    double v = rhs[static_cast<std::size_t>(r)];
    for (int k = 0; k < r; ++k) v -= a[at(r, k)] * rhs[static_cast<std::size_t>(k)];
    rhs[static_cast<std::size_t>(r)] = v / a[at(r, r)];
  }
  for (int r = n - 1; r >= 0; --r) {  // L' x = y
    if (dependent[static_cast<std::size_t>(r)]) continue;
    double v = rhs[static_cast<std::size_t>(r)];
    for (int k = r + 1; k < n; ++k) v -= a[at(k, r)] * rhs[static_cast<std::size_t>(k)];
    rhs[static_cast<std::size_t>(r)] = v / a[at(r, r)];
  }
  return rhs;
}

void CentredGenotypes::residualise(std::vector<double>& g) const {
  const int p = ncovariates;
  std::vector<double> a = ztz, zty(static_cast<std::size_t>(p), 0.0);
  for (int i = 0; i < nsubj; ++i) {
    const double* z = z_row.data() + static_cast<std::size_t>(i) * p;
    const double gi = g[static_cast<std::size_t>(i)];
    if (std::isnan(gi)) {  // not in this SNP's fit
      for (int r = 0; r < p; ++r)
        for (int c = 0; c < p; ++c)
          a[static_cast<std::size_t>(r) * static_cast<std::size_t>(p) +
            static_cast<std::size_t>(c)] -= z[r] * z[c];
      continue;
    }
    for (int c = 0; c < p; ++c) zty[static_cast<std::size_t>(c)] += z[c] * gi;
  }
  const std::vector<double> b = solve_normal_equations(std::move(a), std::move(zty), p);
  for (int i = 0; i < nsubj; ++i) {
    double& gi = g[static_cast<std::size_t>(i)];
    if (std::isnan(gi)) continue;
    const double* z = z_row.data() + static_cast<std::size_t>(i) * p;
    double fitted = 0;
    for (int c = 0; c < p; ++c) fitted += z[c] * b[static_cast<std::size_t>(c)];
    gi -= fitted;
  }
}

double CentredGenotypes::centre(int r, double* out, int stride) const {
  thread_local std::vector<double> g;
  g.resize(static_cast<std::size_t>(nsubj));
  rows->genotype_values(r, g.data());
  if (ncovariates == 1) {
    const double m = rows->means[r];
    for (double& gi : g) gi -= m;  // the double the study's score is made of
  } else {
    residualise(g);
  }
  double largest = 0;
  for (int i = 0; i < nsubj; ++i) {
    const double x =
        std::isnan(g[static_cast<std::size_t>(i)]) ? 0.0 : g[static_cast<std::size_t>(i)];
    out[static_cast<long>(i) * stride] = x;
    largest = std::max(largest, std::fabs(x));
  }
  return largest;
}

double CentredGenotypes::fill_genotype_codes(const int* snps, int nrows, double* out) const {
  // Each lane's x for the codes 0, 1, 2 and a missing call, formed as the general path forms
  // them; then the block is written subject by subject, every lane of a subject at once.
  const std::uint64_t row_bytes = genotype_row_bytes(rows->header.nsubj);
  thread_local std::vector<unsigned char> zeros;
  zeros.assign(row_bytes, 0);
  const unsigned char* row[kSnpBlock];
  double x[kSnpBlock][4] = {};
  double largest = 0;
  for (int lane = 0; lane < kSnpBlock; ++lane) {
    row[lane] = zeros.data();  // lanes past nrows: code 0, whose x is 0 there
    if (lane >= nrows) continue;
    row[lane] =
        rows->base + rows->header.rows_offset + static_cast<std::uint64_t>(snps[lane]) * row_bytes;
    const double m = rows->means[snps[lane]];
    for (int code = 0; code < 3; ++code) x[lane][code] = static_cast<double>(code) - m;
    largest = std::max({largest, std::fabs(x[lane][0]), std::fabs(x[lane][2])});
  }
  for (int i = 0; i < nsubj; ++i) {
    double* dst = out + static_cast<long>(i) * kSnpBlock;
    const int shift = 2 * (i % 4);
    const std::size_t byte = static_cast<std::size_t>(i / 4);
    for (int lane = 0; lane < kSnpBlock; ++lane) {
      dst[lane] = x[lane][(row[lane][byte] >> shift) & 3u];
    }
  }
  return largest;
}

double CentredGenotypes::fill_block(const int* snps, int nrows, double* out) const {
  if (ncovariates == 1 && rows->header.coding == RowCoding::genotypes)
    return fill_genotype_codes(snps, nrows, out);
  double largest = 0;
  for (int lane = 0; lane < kSnpBlock; ++lane) {
    if (lane < nrows) {
      largest = std::max(largest, centre(snps[lane], out + lane, kSnpBlock));
    } else {
      for (int i = 0; i < nsubj; ++i) out[static_cast<long>(i) * kSnpBlock + lane] = 0.0;
    }
  }
  return largest;
}
