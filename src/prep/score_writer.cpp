#include "prep/score_writer.h"

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
  double sum = 0;
  present = 0;
  for (double d : dosage) {
    if (!std::isnan(d)) {
      sum += d;
      ++present;
    }
  }
  return present > 0 ? sum / static_cast<double>(present) : 0.0;
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
    // Checked here, though not stored: a score the decoder could not give is refused alike.
    for (std::size_t k = 0; k < dosage.size(); ++k)
      if (!std::isnan(dosage[k])) score_of(name, k, dosage[k], mean);
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
