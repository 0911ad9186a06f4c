#include "prep/score_writer.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "fail.h"
#include "prep/number_format.h"

ScoreWriter::ScoreWriter(const std::string& path, std::vector<double> residuals,
                         double missing_code)
    : out(path), residual(std::move(residuals)) {
  char text[kMaxNumberText];
  missing_text.assign(text, write_significant6(text, missing_code));
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
  out.write(name);
  for (std::size_t k = 0; k < dosage.size(); ++k) {
    char* p = out.reserve(kMaxNumberText + 1);
    *p++ = ' ';
    if (std::isnan(dosage[k])) {
      std::memcpy(p, missing_text.data(), missing_text.size());
      p += missing_text.size();
    } else {
      const double score = (dosage[k] - mean) * residual[k];
      // Halvorix reads scores as float: one beyond its range would be an error there.
      if (!std::isfinite(static_cast<float>(score))) {
        fail_stderr("error: the score of SNP " + std::string(name) + " for " + subject_label[k] +
                    " is not a finite number in float range (" +
                    std::to_string(score) + "); scale the phenotype down");
      }
      p = write_significant6(p, score);
    }
    out.advance(p);
  }
  out.write_char('\n');
}
