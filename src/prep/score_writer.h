// The score file's SNP lines, whatever the genotypes came from: the one place where the rule
// (d - m) x r and its number text live.
#pragma once

#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "prep/output_file.h"
#include "prep/score_binary.h"
#include "prep/score_compact.h"

/// The three forms of a score file: text lines, float rows (version 1), coded rows (version 2).
enum class ScoreFormat { text, binary, compact };

/// Marks a kept subject without a genotype or dosage in the arrays given to ScoreWriter.
constexpr double kMissingDosage = std::numeric_limits<double>::quiet_NaN();

/// The mean of the dosages that are not missing (0 when none is); `present` counts them.
double mean_dosage(const std::vector<double>& dosage, long long& present);

/// Writes the score file in any of its forms. Every form holds the same scores: the float
/// nearest (g - m) x r computed in double; text writes the shortest decimal that reads back to
/// it, so a study gives the same results by any route.
class ScoreWriter {
 public:
  std::vector<double> residual;  ///< phenotype residual of each kept subject
  std::string missing_text;      ///< the missing code as written in the file
  /// How an error names kept subject k ("the subject on .fam line 3", "sample NA12878").
  std::vector<std::string> subject_label;
  long long snps = 0;
  long long missing_dosages = 0;      ///< kept-subject cells without a value
  long long snps_without_dosage = 0;  ///< SNPs where no kept subject has a value

  /// Opens the output (see OutputFile) for one score per kept subject. A compact file codes
  /// genotype counts (`coding` genotypes) or dosages, and keeps the covariate columns.
  ScoreWriter(const std::string& path, std::vector<double> residuals, double missing_code,
              ScoreFormat format, RowCoding coding = RowCoding::genotypes,
              const std::vector<std::vector<double>>& covariates = {});

  /// A "# " comment line at the top of a text file; the binary form has no comments.
  void write_comment(const std::string& line);

  /// Writes one SNP: `name`, then (dosage[k] - m) x residual[k] for every kept subject k, m
  /// being the mean dosage of the kept subjects with a value (NaN: missing, written as the
  /// missing code).
  void write_snp(std::string_view name, const std::vector<double>& dosage);

  /// Makes the file appear under its name.
  void commit();

 private:
  std::unique_ptr<OutputFile> text;
  std::unique_ptr<BinaryScoreWriter> binary;
  std::unique_ptr<CompactScoreWriter> compact;
  float missing_float = 0;
  double largest_residual = 0;  ///< max |residual|
  std::vector<float> row;

  /// The score of kept subject k, as a float in range (otherwise the run stops).
  float score_of(std::string_view name, std::size_t k, double dosage, double mean) const;
  /// Stops the run, as score_of does, when a score of the row is beyond float range.
  void check_scores_in_range(std::string_view name, const std::vector<double>& dosage, double mean);
};
