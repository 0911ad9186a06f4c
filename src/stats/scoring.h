// The scoring of a run: how a gene's SNP statistics make its score, where the gene scores'
// null moments come from, and how a set's genes make its score. One value, made once by the
// analysis plan and read by reference by GENEData and GeneSets, so no copy can drift.
#pragma once

/// How a gene's SNP statistics make its score.
enum class GeneScore { mean, sqrtmean, max };
/// Where a gene score's null moments come from: the normal approximation or simulation.
enum class GeneMoments { nor, sim };
/// How a set's gene scores make its score.
enum class GeneSetScore { wtdmean, mean_z, max_z };

/// The plan only builds the combinations that exist for gene sets: wtdmean with normal
/// moments and a mean or sqrtmean gene score; mean_z and max_z with simulated moments and any
/// gene score.
struct Scoring {
  GeneScore gene_score = GeneScore::sqrtmean;
  GeneMoments gene_moments = GeneMoments::nor;
  GeneSetScore set_score = GeneSetScore::wtdmean;
};

/// The default scoring, read by data objects made without a plan (tests, benchmarks, fuzzing).
inline const Scoring kDefaultScoring{};
