// The score file from PLINK genotypes: for each SNP and kept subject, the centred allele count
// times the subject's phenotype residual.
#pragma once

#include <string>
#include <vector>

#include "prep/phenotypes.h"
#include "prep/plink.h"
#include "prep/score_writer.h"

struct ScoreOptions {
  std::string bfile;         ///< prefix of the .bed, .bim and .fam (each may also end in .gz)
  std::string vcf;           ///< VCF, bgzipped VCF or BCF instead of `bfile`
  std::string dosage_field;  ///< VCF FORMAT field read as the ALT dosage; empty: count GT
  std::string pheno_file;    ///< empty: phenotype from column 6 of the .fam
  std::string pheno_name;    ///< empty: the first phenotype column of `pheno_file`
  std::string covar_file;    ///< empty: no covariates
  std::vector<std::string> covar_names;  ///< empty: every column of `covar_file`
  bool zero_one_coding = false;          ///< case/control coded 0/1 instead of 1/2
  double missing_code = -999;            ///< written for a missing genotype
  std::string out;
  ScoreFormat format = ScoreFormat::text;
};

/// What the run read, kept and dropped, for the console summary.
struct ScoreSummary {
  long long snps = 0;
  long long subjects = 0;
  long long kept_subjects = 0;
  long long missing_phenotype = 0;  ///< dropped for a missing phenotype
  long long missing_covariate = 0;  ///< dropped for a missing covariate (phenotype present)
  long long table_rows_not_in_fam = 0;
  long long missing_genotypes = 0;  ///< among kept subjects
  long long snps_without_genotype = 0;
  long long multiallelic_skipped = 0;  ///< VCF records with more than one ALT allele
  bool case_control = false;
  double case_fraction = 0;      ///< case/control: the kept subjects' share of cases
  double residual_skewness = 0;  ///< skewness of the kept subjects' residuals
  double residual_variance = 0;  ///< variance of the kept subjects' residuals (divisor n)
  std::string phenotype_name;
  std::vector<std::string> covariate_names;
};

/// Per-subject phenotype residuals, and which .fam subjects they belong to.
struct Residuals {
  std::vector<long long> kept;                  ///< .fam indexes of the kept subjects, ascending
  std::vector<double> value;                    ///< residual of each kept subject
  std::vector<std::vector<double>> covariates;  ///< each covariate of the kept subjects
};

/// Reads phenotype and covariates for `subjects` (the genotype file's, in its order; tables
/// find them as `match` says), drops subjects missing either, and fits the residuals; a
/// collinear covariate or a phenotype without variance stops the run.
Residuals load_residuals(const ScoreOptions& options, const std::vector<FamRecord>& subjects,
                         SubjectMatch match, ScoreSummary& summary);

/// Runs the whole conversion from the PLINK set and writes `options.out`.
/// PREFIX + extension, or the same with ".gz" when only the compressed file is there: the file
/// of a PLINK set that `scores` reads.
std::string plink_file(const std::string& prefix, const char* extension);

ScoreSummary write_score_file(const ScoreOptions& options);

void print_score_summary(const ScoreOptions& options, const ScoreSummary& summary);
