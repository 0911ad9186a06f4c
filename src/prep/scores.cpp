#include "prep/scores.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <utility>

#include "cli/fail.h"
#include "cli/progress.h"
#include "conventions.h"
#include "prep/least_squares.h"
#include "prep/number_format.h"
#include "prep/phenotypes.h"
#include "prep/plink.h"
#include "prep/score_binary.h"
#include "prep/score_writer.h"

std::string plink_file(const std::string& prefix, const char* extension) {
  std::string plain = prefix + extension;
  struct stat status;
  if (stat(plain.c_str(), &status) != 0 && stat((plain + ".gz").c_str(), &status) == 0) {
    return plain + ".gz";
  }
  return plain;
}

namespace {

std::vector<double> load_phenotype(const ScoreOptions& options, const std::vector<FamRecord>& fam,
                                   SubjectMatch match, ScoreSummary& summary) {
  if (options.pheno_file.empty()) {
    if (!options.vcf.empty()) fail_stderr("error: " + options.vcf + ": a VCF needs --pheno");
    const std::string fam_path = plink_file(options.bfile, ".fam");
    summary.phenotype_name = "column 6 of " + fam_path;
    return load_fam_phenotype(fam_path, fam);
  }
  std::vector<std::string> wanted;
  if (!options.pheno_name.empty()) wanted.push_back(options.pheno_name);
  SubjectColumns table = load_subject_columns(options.pheno_file, wanted, fam, match);
  if (table.names.empty()) {
    fail_stderr("error: " + options.pheno_file + " line 1: no phenotype column after FID IID");
  }
  summary.phenotype_name = table.names[0];
  summary.table_rows_not_in_fam += table.rows_not_in_fam;
  return table.values[0];
}

double mean_of(const std::vector<double>& values) {
  double sum = 0;
  for (double v : values) sum += v;
  return sum / static_cast<double>(values.size());
}

/// True when every present value is 0 or 1 and some are 0.
bool is_zero_one(const std::vector<double>& phenotype) {
  bool zero = false;
  for (double v : phenotype) {
    if (std::isnan(v)) continue;
    if (v != 0 && v != 1) return false;
    zero = zero || v == 0;
  }
  return zero;
}

/// Whether the residuals of `y` carry anything: not when every value of y is the same, and not
/// when they are no larger than rounding at y's own magnitude or a negligible part of y's
/// spread (the covariates explain it). Both are judged relative to y, so a trait measured in
/// units of 1e-12, or around an offset of 1e12, keeps the variance it has.
bool has_variance(const std::vector<double>& y, const std::vector<double>& residuals) {
  if (std::all_of(y.begin(), y.end(), [&](double v) { return v == y.front(); })) return false;
  // Sums of squares in units of the largest value: no overflow for traits near 1e200.
  double scale = 0;
  for (double v : y) scale = std::max(scale, std::fabs(v));
  const double mean = mean_of(y) / scale;
  double y_norm2 = 0, spread2 = 0, residual2 = 0;
  for (std::size_t i = 0; i < y.size(); ++i) {
    const double v = y[i] / scale, r = residuals[i] / scale;
    y_norm2 += v * v;
    spread2 += (v - mean) * (v - mean);
    residual2 += r * r;
  }
  constexpr double kRoundingUlps = 64;      // the fit's own error, with room
  constexpr double kExplainedShare = 1e-9;  // as the fit's test for collinear covariates
  const double rounding = kRoundingUlps * std::numeric_limits<double>::epsilon();
  const double floor2 =
      std::max(rounding * rounding * y_norm2, kExplainedShare * kExplainedShare * spread2);
  return residual2 > floor2;
}

/// The share of cases and the residuals' skewness: what says whether multiplier p-values
/// can be trusted for low-frequency variants.
void describe_trait(const std::vector<double>& y, const std::vector<double>& residuals,
                    bool zero_one_coding, ScoreSummary& summary) {
  if (summary.case_control) {
    const double case_value = zero_one_coding ? 1 : 2;
    double cases = 0;
    for (double v : y) cases += v == case_value ? 1 : 0;
    summary.case_fraction = cases / static_cast<double>(y.size());
  }
  const double mean = mean_of(residuals);
  double m2 = 0, m3 = 0;
  for (double r : residuals) {
    m2 += (r - mean) * (r - mean);
    m3 += (r - mean) * (r - mean) * (r - mean);
  }
  m2 /= static_cast<double>(residuals.size());
  m3 /= static_cast<double>(residuals.size());
  summary.residual_skewness = m2 > 0 ? m3 / std::pow(m2, 1.5) : 0;
  summary.residual_variance = m2;
}

std::string fixed_text(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

/// Warnings for traits whose multiplier null is too light-tailed for rare variants.
void warn_about_multiplier(const ScoreSummary& summary) {
  const char* consequence =
      ": multiplier p-values (halvorix's default) of low-frequency variants will be too small; "
      "--format compact with halvorix --resample permutation gives exact ones\n";
  if (summary.case_control && (summary.case_fraction < 0.4 || summary.case_fraction > 0.6))
    std::cout << "warning: " << fixed_text(100 * summary.case_fraction, 1)
              << " % of the kept subjects are cases (outside 40 % to 60 %)" << consequence;
  if (std::fabs(summary.residual_skewness) > 1)
    std::cout << "warning: the residuals' skewness is " << fixed_text(summary.residual_skewness, 2)
              << " (beyond 1 in absolute value)" << consequence;
}

/// A trait on a tiny scale keeps its variance, but halvorix reads a SNP whose squared scores
/// sum to kSsqTolerance or less as without information. A score is at most 2 |r_i| in size, so
/// when 4 sum r_i^2 is that small every SNP's statistic would be 0: say so, and by how much to
/// scale the trait.
void warn_about_scale(const ScoreSummary& summary) {
  const double sum_squares = summary.residual_variance * static_cast<double>(summary.kept_subjects);
  if (!(4 * sum_squares <= static_cast<double>(kSsqTolerance)) || sum_squares <= 0) return;
  const int power = static_cast<int>(std::ceil(-std::log10(std::sqrt(summary.residual_variance))));
  char text[320];
  std::snprintf(text, sizeof text,
                "warning: the residuals' sum of squares is %.3g, so every SNP's squared scores sum "
                "to at most %.3g, which halvorix reads as no information (statistic 0); multiply "
                "the phenotype by 1e%d first\n",
                sum_squares, 4 * sum_squares, power);
  std::cout << text;
}

}  // namespace

Residuals load_residuals(const ScoreOptions& options, const std::vector<FamRecord>& subjects,
                         SubjectMatch match, ScoreSummary& summary) {
  summary.subjects = static_cast<long long>(subjects.size());
  std::vector<double> phenotype = load_phenotype(options, subjects, match, summary);
  // A 0/1 trait read as 1/2 loses its controls (0 is missing there): say how to read it.
  const std::string zero_one_hint =
      !options.zero_one_coding && is_zero_one(phenotype)
          ? "; the phenotype is coded 0/1, where 0 reads as missing: give --1 for 0 = control, "
            "1 = case"
          : "";
  summary.case_control = apply_case_control_coding(phenotype, options.zero_one_coding);

  SubjectColumns covariates;
  if (!options.covar_file.empty()) {
    covariates = load_subject_columns(options.covar_file, options.covar_names, subjects, match);
    summary.table_rows_not_in_fam += covariates.rows_not_in_fam;
  }
  summary.covariate_names = covariates.names;

  Residuals residuals;
  for (std::size_t i = 0; i < subjects.size(); ++i) {
    if (std::isnan(phenotype[i])) {
      ++summary.missing_phenotype;
      continue;
    }
    bool complete = true;
    for (const auto& column : covariates.values) complete = complete && !std::isnan(column[i]);
    if (!complete) {
      ++summary.missing_covariate;
      continue;
    }
    residuals.kept.push_back(static_cast<long long>(i));
  }
  summary.kept_subjects = static_cast<long long>(residuals.kept.size());
  const std::size_t columns = covariates.names.size() + 1;
  if (residuals.kept.size() <= columns) {
    const std::string phenotype_source =
        options.pheno_file.empty() ? plink_file(options.bfile, ".fam") : options.pheno_file;
    fail_stderr("error: " + std::to_string(residuals.kept.size()) +
                " subjects have a phenotype in " + phenotype_source +
                (columns > 1 ? " and every covariate in " + options.covar_file : "") +
                "; at least " + std::to_string(columns + 1) + " are needed" + zero_one_hint);
  }

  std::vector<double> y;
  std::vector<std::vector<double>> x(covariates.names.size());
  for (long long i : residuals.kept) {
    y.push_back(phenotype[static_cast<std::size_t>(i)]);
    for (std::size_t c = 0; c < x.size(); ++c) {
      x[c].push_back(covariates.values[c][static_cast<std::size_t>(i)]);
    }
  }
  const int collinear = fit_residuals(y, x, residuals.value);
  if (collinear >= 0) {
    const std::string company = collinear > 0 ? " and the covariates before it" : "";
    fail_stderr("error: " + options.covar_file + ": covariate " + covariates.names[collinear] +
                " is collinear with the intercept" + company + " among the " +
                std::to_string(residuals.kept.size()) + " kept subjects; leave it out");
  }
  for (std::size_t k = 0; k < residuals.value.size(); ++k) {
    if (!std::isfinite(residuals.value[k])) {
      fail_stderr("error: phenotype " + summary.phenotype_name + ": the residual of the subject " +
                  "on .fam line " + std::to_string(residuals.kept[k] + 1) +
                  " is not a finite number (values too large to fit)");
    }
  }
  if (!has_variance(y, residuals.value)) {
    fail_stderr("error: phenotype " + summary.phenotype_name + " has no variance" +
                (x.empty() ? "" : " left after the covariates") + " among the " +
                std::to_string(residuals.kept.size()) + " kept subjects" + zero_one_hint);
  }
  residuals.covariates = std::move(x);
  describe_trait(y, residuals.value, options.zero_one_coding, summary);
  return residuals;
}

namespace {

/// The .bed's 2-bit codes as allele-1 dosages.
constexpr double kCodeDosage[4] = {2, kMissingDosage, 1, 0};

void read_bed_dosages(const std::vector<unsigned char>& bytes, const std::vector<long long>& kept,
                      std::vector<double>& dosage) {
  for (std::size_t k = 0; k < kept.size(); ++k) {
    const auto i = static_cast<std::size_t>(kept[k]);
    dosage[k] = kCodeDosage[(bytes[i / 4] >> (2 * (i % 4))) & 3];
  }
}

}  // namespace

ScoreSummary write_score_file(const ScoreOptions& options) {
  ScoreSummary summary;
  const std::vector<BimRecord> bim = load_bim(plink_file(options.bfile, ".bim"));
  summary.snps = static_cast<long long>(bim.size());
  const std::vector<FamRecord> fam = load_fam(plink_file(options.bfile, ".fam"));
  Residuals residuals = load_residuals(options, fam, SubjectMatch::family_and_individual, summary);
  BedReader bed(plink_file(options.bfile, ".bed"), summary.snps, summary.subjects);

  std::vector<unsigned char> bytes;
  std::vector<double> dosage(residuals.kept.size());
  Progress progress("SNPs written", summary.snps);
  ScoreWriter scores(options.out, std::move(residuals.value), options.missing_code, options.format,
                     RowCoding::genotypes, residuals.covariates);
  for (long long i : residuals.kept)
    scores.subject_label.push_back("the subject on .fam line " + std::to_string(i + 1));
  scores.write_comment(
      std::to_string(summary.snps) + " SNPs x " + std::to_string(summary.kept_subjects) +
      " subjects: (allele-1 count - SNP mean) x phenotype residual; missing genotype " +
      scores.missing_text);
  for (const BimRecord& snp : bim) {
    bed.read_snp(bytes);
    read_bed_dosages(bytes, residuals.kept, dosage);
    scores.write_snp(snp.snp_id, dosage);
    progress.tick();
  }
  progress.finish();
  bed.check_end();
  scores.commit();
  summary.missing_genotypes = scores.missing_dosages;
  summary.snps_without_genotype = scores.snps_without_dosage;
  return summary;
}

void print_score_summary(const ScoreOptions& options, const ScoreSummary& summary) {
  std::string covariates;
  for (const std::string& name : summary.covariate_names) {
    covariates += (covariates.empty() ? "" : ", ") + name;
  }
  const bool vcf = !options.vcf.empty();
  std::cout << "halvorix-prep scores\n";
  if (vcf) {
    std::cout << "  genotypes          = " << options.vcf << '\n'
              << "  genotype values    = "
              << (options.dosage_field.empty() ? std::string("ALT allele count from GT")
                                               : "ALT dosage from " + options.dosage_field)
              << '\n'
              << "  SNPs               = " << summary.snps << '\n'
              << "  multi-allelic      = " << summary.multiallelic_skipped
              << " (skipped; split them with bcftools norm -m - first)\n"
              << "  samples in VCF     = " << summary.subjects << '\n';
  } else {
    std::cout << "  genotypes          = " << options.bfile << ".bed/.bim/.fam\n"
              << "  SNPs               = " << summary.snps << '\n'
              << "  subjects in .fam   = " << summary.subjects << '\n';
  }
  std::cout << "  phenotype          = " << summary.phenotype_name
            << (summary.case_control
                    ? (options.zero_one_coding ? " (case/control, 0/1)" : " (case/control, 1/2)")
                    : " (quantitative)")
            << '\n'
            << "  covariates         = " << (covariates.empty() ? "none" : covariates) << '\n'
            << "  dropped, phenotype = " << summary.missing_phenotype << " missing\n"
            << "  dropped, covariate = " << summary.missing_covariate << " missing\n"
            << "  kept subjects      = " << summary.kept_subjects << '\n';
  if (summary.table_rows_not_in_fam > 0) {
    std::cout << (vcf ? "  rows not in VCF    = " : "  rows not in .fam   = ")
              << summary.table_rows_not_in_fam << " (ignored)\n";
  }
  std::cout << "  missing genotypes  = " << summary.missing_genotypes << " (written as "
            << options.missing_code << ")\n";
  if (summary.snps_without_genotype > 0) {
    std::cout << "  SNPs all missing   = " << summary.snps_without_genotype << '\n';
  }
  std::cout << "  written            = " << options.out << '\n';
  warn_about_multiplier(summary);
  warn_about_scale(summary);
}
