#include "prep/score_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "cli/fail.h"
#include "prep/number_format.h"

ScoreWriter::ScoreWriter(const std::string& path, std::vector<double> residuals,
                         double missing_code, ScoreFormat format, RowCoding coding,
                         const std::vector<std::vector<double>>& covariates)
    : residual(std::move(residuals)) {
  for (double r : residual) largest_residual = std::max(largest_residual, std::fabs(r));
  char number[kMaxNumberText];
  missing_text.assign(number, write_significant6(number, missing_code));
  missing_float = significant6_as_read(missing_code);
  if (format == ScoreFormat::binary) {
    binary = std::make_unique<BinaryScoreWriter>(path);
    binary->nsubj = static_cast<int>(residual.size());
    row.resize(residual.size());
  } else if (format == ScoreFormat::compact) {
    compact =
        std::make_unique<CompactScoreWriter>(path, coding, residual, covariates, missing_float);
  } else {
    text = std::make_unique<OutputFile>(path);
  }
}

void ScoreWriter::write_comment(const std::string& line) {
  if (text) text->write("# " + line + "\n");
}

void ScoreWriter::commit() {
  if (text) text->commit();
  if (binary) binary->commit();
  if (compact) compact->commit();
}

float ScoreWriter::score_of(std::string_view name, std::size_t k, double dosage,
                            double mean) const {
  // The one definition of a score, which the compact file's decoder repeats exactly.
  const double score = (dosage - mean) * residual[k];
  // Halvorix reads scores as float: one beyond its range would be an error there.
  if (!std::isfinite(static_cast<float>(score))) {
    char shown[32];  // "%g": a score beyond float range has hundreds of digits in fixed form
    std::snprintf(shown, sizeof shown, "%g", score);
    fail_stderr("error: the score of SNP " + std::string(name) + " for " + subject_label[k] +
                " is not a finite number in float range (" + shown + "); scale the phenotype down");
  }
  return study_score(dosage - mean, residual[k]);
}

double mean_dosage(const std::vector<double>& dosage, long long& present) {
  double sum = 0;  // adding +0 for a missing value leaves every partial sum as it was
  present = 0;
  for (double d : dosage) {
    const bool here = !std::isnan(d);
    sum += here ? d : 0.0;
    present += here;
  }
  return present > 0 ? sum / static_cast<double>(present) : 0.0;
}

void ScoreWriter::check_scores_in_range(std::string_view name, const std::vector<double>& dosage,
                                        double mean) {
  // The largest |score| of the SNP bounds every other (rounding is monotonic), so one product
  // usually settles the whole row; only a row that may overflow is checked score by score.
  double low = mean, high = mean;
  for (double d : dosage) {
    low = d < low ? d : low;  // NaN compares false: left out
    high = d > high ? d : high;
  }
  const double widest = std::max(std::fabs(low - mean), std::fabs(high - mean));
  if (std::isfinite(static_cast<float>(widest * largest_residual))) return;
  for (std::size_t k = 0; k < dosage.size(); ++k)
    if (!std::isnan(dosage[k])) score_of(name, k, dosage[k], mean);
}

void ScoreWriter::write_snp(std::string_view name, const std::vector<double>& dosage) {
  long long present = 0;
  const double mean = mean_dosage(dosage, present);
  ++snps;
  missing_dosages += static_cast<long long>(dosage.size()) - present;
  if (present == 0) ++snps_without_dosage;
  if (binary) {
    for (std::size_t k = 0; k < dosage.size(); ++k)
      row[k] = std::isnan(dosage[k]) ? missing_float : score_of(name, k, dosage[k], mean);
    binary->write_row(std::string(name), row.data());
    return;
  }
  if (compact) {
    // Not stored, but checked alike: a score the decoder could not give is refused.
    check_scores_in_range(name, dosage, mean);
    compact->write_row(std::string(name), dosage, mean);
    return;
  }
  text->write(name);
  for (std::size_t k = 0; k < dosage.size(); ++k) {
    char* p = text->reserve(kMaxFloatText + 1);
    *p++ = ' ';
    if (std::isnan(dosage[k])) {
      std::memcpy(p, missing_text.data(), missing_text.size());
      p += missing_text.size();
    } else {
      p = write_float_exact(p, score_of(name, k, dosage[k], mean));
    }
    text->advance(p);
  }
  text->write_char('\n');
}
