// The genotypes of a compact score file as the permutation null reads them. Without covariates a
// SNP's x_i is g_i - m_j, the very double the study's score is made of; with covariates it is
// g_i minus its least-squares fit on the covariate matrix Z (the intercept included), fitted in
// double over the subjects with a call, so that permuting residuals does not break the link
// between covariates and genotypes (Freedman-Lane). A missing call is 0: it stays with its
// subject and scores 0.
#pragma once

#include <vector>

#include "files/compact_scores.h"

class CentredGenotypes {
 public:
  const CompactRows* rows = nullptr;
  int nsubj = 0;
  int ncovariates = 1;        ///< columns of Z, the intercept's included
  std::vector<double> z_row;  ///< Z subject by subject: z_row[i * ncovariates + c]
  std::vector<double> ztz;    ///< Z'Z over all subjects, ncovariates x ncovariates

  /// Reads what `compact` (which must outlive this) holds: its genotypes and covariates.
  void attach(const CompactRows& compact);
  /// SNP r's x_i into out[i * stride] for every subject; returns the largest |x_i|.
  double centre(int r, double* out, int stride) const;
  /// Rows snps[0..nrows) as one block of the permutation kernel: subject-major, kSnpBlock lanes,
  /// lanes past `nrows` 0; returns a bound on the largest magnitude written.
  double fill_block(const int* snps, int nrows, double* out) const;

 private:
  /// fill_block of genotype codes without covariates: x = code - m_j from a table per lane (a
  /// bound on the largest |x| is returned: |0 - m_j| or |2 - m_j|).
  double fill_genotype_codes(const int* snps, int nrows, double* out) const;
  /// x = g - Z b with b the least-squares coefficients over the subjects whose g is a number.
  void residualise(std::vector<double>& g) const;
};

/// Solves a x = rhs for the symmetric positive semi-definite n x n matrix `a` (row-major) by
/// Cholesky in double; a column that is (numerically) a combination of those before it gets
/// coefficient 0, which leaves the fitted values the least-squares ones. `a` is overwritten.
std::vector<double> solve_normal_equations(std::vector<double> a, std::vector<double> rhs, int n);
