"""The few null-distribution numbers the figures need: quantiles of the standard normal and of
the 1-degree-of-freedom chi-square, upper-tail p-values, and the genomic inflation factor.
"""
import math
from statistics import NormalDist, median

# Median of the chi-square distribution with 1 degree of freedom (qchisq(0.5, 1)).
CHISQ1_MEDIAN = 0.45493642311957283

_normal = NormalDist()


def plotting_positions(n):
    """Expected upper-tail probabilities of n sorted values: (i - 0.5) / n, largest first."""
    return [(i + 0.5) / n for i in range(n)]


def normal_quantiles_desc(n):
    """Standard normal quantiles for n values sorted from largest to smallest."""
    return [_normal.inv_cdf(1.0 - p) for p in plotting_positions(n)]


def chisq1_quantiles_desc(n):
    """1-df chi-square quantiles for n values sorted from largest to smallest."""
    return [_normal.inv_cdf(1.0 - p / 2.0) ** 2 for p in plotting_positions(n)]


def chisq1_upper_p(statistic):
    """P(X >= statistic) for X chi-square with 1 degree of freedom."""
    return math.erfc(math.sqrt(max(statistic, 0.0) / 2.0))


def minus_log10(p):
    """-log10 p, with p = 0 (beyond double precision) shown at the smallest positive double."""
    return -math.log10(max(p, 5e-324))


def inflation_factor(statistics):
    """Genomic inflation factor: median 1-df chi-square statistic over the null median."""
    finite = [s for s in statistics if math.isfinite(s)]
    return median(finite) / CHISQ1_MEDIAN if finite else float("nan")


def finite_sorted_desc(values):
    return sorted((v for v in values if math.isfinite(v)), reverse=True)
