// The score file from VCF/BCF genotypes (imputed studies): ALT allele counts from GT or ALT
// dosages from a FORMAT field such as DS, by the same rule and writer as PLINK genotypes.
#pragma once

#include "prep/scores.h"

/// Runs the whole conversion from `options.vcf` and writes `options.out`. Samples are matched
/// to the phenotype and covariate tables by IID; records with more than one ALT allele are
/// counted in `multiallelic_skipped` and left out.
ScoreSummary write_vcf_score_file(const ScoreOptions& options);
