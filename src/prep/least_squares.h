// Phenotype residuals after a least-squares fit on an intercept and covariates.
#pragma once

#include <vector>

/// Fits `y` on an intercept and the given covariate columns (each as long as `y`) by Householder
/// QR in double, and fills `residuals` with y minus the fitted values. Returns -1 on success, or
/// the index of the first covariate that is (numerically) a linear combination of the intercept
/// and the covariates before it; `residuals` is then left unspecified. Needs more rows than
/// columns (intercept included).
int fit_residuals(const std::vector<double>& y, const std::vector<std::vector<double>>& covariates,
                  std::vector<double>& residuals);
