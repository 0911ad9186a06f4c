// What every module of the program agrees on.
//  - Numbers: statistics, scores, moments, ranks and p-values are float; subject weights and
//    normal deviates are double; a step widens to double only where the arithmetic is fixed
//    that way, so that a seed reproduces a run to the bit.
//  - Names: lower case with underscores, `sim_`/`_sim` for simulated values, `print_` for
//    console reports, `load_` for readers.
//  - Errors: no exceptions; a run stops through cli/fail.h with one message and status 1.
//  - Order: reports list equal values in the order in which their records were made.
// Below, the constants that more than one module uses: how input lines split and which are
// comments, the tolerances below which a statistic counts as zero, the replicates behind
// simulated moments, and the databases that the HTML reports link to.
#pragma once

#include <string>

/// Field separators of every data file: runs of comma, blank and tab.
inline const std::string kFieldDelimiters = ", \t";

/// A data line whose first field starts with this is a comment.
inline constexpr char kCommentMarker = '#';

/// Below this a variance or standard deviation counts as zero (as in cor()).
inline constexpr float kTolerance = 1e-6f;

/// A SNP whose sum of squares is not above this has statistic 0, observed and simulated.
inline constexpr float kSsqTolerance = 1e-7f;

/// A score this close to the missing code is missing; the difference is taken in float and
/// compared in double.
inline constexpr double kMissingTolerance = 1e-6;

/// Replicates behind the simulated null moments of genes and gene sets.
inline constexpr int kMomentReplicates = 1000;

// Hosts of the public databases the HTML pages link to; the paths and query keys are fixed.
inline constexpr const char* kGeneDatabase = "https://www.ncbi.nlm.nih.gov";
inline constexpr const char* kGoBrowser = "https://amigo.geneontology.org";
inline constexpr const char* kPathwayDatabase = "https://www.genome.jp";
