// Compact score files from halvorix-prep scores: the genotypes themselves (2-bit codes, or
// dosages as indices into the file's table of distinct values) with the SNP means, subject
// residuals and covariates that turn them into scores, written in one pass over the genotypes.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "files/compact_scores.h"
#include "prep/output_file.h"

class CompactScoreWriter {
 public:
  OutputFile out;
  CompactHeader header;
  std::string names;                     ///< every name followed by '\n'
  std::vector<double> means;             ///< m_j of every SNP written
  std::vector<std::uint64_t> directory;  ///< dosages: kind and offset of every row
  std::vector<float> table;              ///< dosages: the distinct values, in order of arrival
  std::unordered_map<std::uint32_t, std::uint16_t> table_index;  ///< a value's bits -> entry
  long long float_rows = 0;                        ///< dosage rows that did not fit the table
  std::size_t table_capacity = kMaxDosageEntries;  ///< entries the table may grow to

  /// Starts `path` (it appears only at commit) with the residuals and the covariate matrix
  /// (an intercept column, then `covariates`, each one value per subject).
  CompactScoreWriter(const std::string& path, RowCoding coding,
                     const std::vector<double>& residuals,
                     const std::vector<std::vector<double>>& covariates, float missing_code);

  /// Appends one SNP: each subject's count or dosage (NaN when missing) and the SNP's mean.
  /// Genotype files take counts 0, 1 and 2 only.
  void write_row(const std::string& name, const std::vector<double>& dosage, double mean);
  /// Writes the blocks known only at the end, fills in the header and renames the file.
  void commit();

 private:
  std::vector<unsigned char> row;

  void write_genotype_row(const std::string& name, const std::vector<double>& dosage);
  void write_dosage_row(const std::vector<double>& dosage);
  void pad_rows();
};
