#include "prep/scores.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>

#include "fail.h"
#include "prep/least_squares.h"
#include "prep/number_format.h"
#include "prep/output_file.h"
#include "prep/phenotypes.h"
#include "prep/plink.h"
#include "prep/score_binary.h"
#include "progress.h"

namespace {

/// PREFIX + extension, or the same with ".gz" when only the compressed file is there.
std::string plink_file(const std::string& prefix, const char* extension) {
  std::string plain = prefix + extension;
  struct stat status;
  if (stat(plain.c_str(), &status) != 0 && stat((plain + ".gz").c_str(), &status) == 0) {
    return plain + ".gz";
  }
  return plain;
}

std::vector<double> load_phenotype(const ScoreOptions& options, const std::vector<FamRecord>& fam,
                                   ScoreSummary& summary) {
  if (options.pheno_file.empty()) {
    const std::string fam_path = plink_file(options.bfile, ".fam");
    summary.phenotype_name = "column 6 of " + fam_path;
    return load_fam_phenotype(fam_path, fam);
  }
  std::vector<std::string> wanted;
  if (!options.pheno_name.empty()) wanted.push_back(options.pheno_name);
  SubjectColumns table = load_subject_columns(options.pheno_file, wanted, fam);
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

}  // namespace

Residuals load_residuals(const ScoreOptions& options, ScoreSummary& summary) {
  const std::vector<FamRecord> fam = load_fam(plink_file(options.bfile, ".fam"));
  summary.subjects = static_cast<long long>(fam.size());
  std::vector<double> phenotype = load_phenotype(options, fam, summary);
  summary.case_control = apply_case_control_coding(phenotype, options.zero_one_coding);

  SubjectColumns covariates;
  if (!options.covar_file.empty()) {
    covariates = load_subject_columns(options.covar_file, options.covar_names, fam);
    summary.table_rows_not_in_fam += covariates.rows_not_in_fam;
  }
  summary.covariate_names = covariates.names;

  Residuals residuals;
  for (std::size_t i = 0; i < fam.size(); ++i) {
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
    fail_stderr("error: " + std::to_string(residuals.kept.size()) + " subjects have a phenotype" +
                (columns > 1 ? " and every covariate" : "") + "; at least " +
                std::to_string(columns + 1) + " are needed");
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
  // Scores of a phenotype that the fit explains completely would all be zero.
  double spread = 0;
  for (double r : residuals.value) spread = std::max(spread, std::fabs(r));
  if (!(spread > 1e-9 * (std::fabs(mean_of(y)) + 1))) {
    fail_stderr("error: phenotype " + summary.phenotype_name + " has no variance" +
                (x.empty() ? "" : " left after the covariates") + " among the " +
                std::to_string(residuals.kept.size()) + " kept subjects");
  }
  return residuals;
}

namespace {

/// Where each kept subject's two bits sit in a SNP's bytes.
struct GenotypeSlot {
  std::size_t byte;
  int shift;
};

/// Allele counts of the kept subjects (-1: missing) and each count's deviation from the SNP's
/// mean over the subjects with a genotype.
struct SnpCounts {
  std::vector<signed char> counts;
  double deviation[3] = {0, 0, 0};
};

void count_alleles(const std::vector<GenotypeSlot>& slots, const std::vector<unsigned char>& bytes,
                   SnpCounts& snp, ScoreSummary& summary) {
  double sum = 0;
  long long present = 0;
  snp.counts.resize(slots.size());
  for (std::size_t k = 0; k < slots.size(); ++k) {
    snp.counts[k] = kGenotypeCount[(bytes[slots[k].byte] >> slots[k].shift) & 3];
    if (snp.counts[k] >= 0) {
      sum += snp.counts[k];
      ++present;
    }
  }
  summary.missing_genotypes += static_cast<long long>(slots.size()) - present;
  if (present == 0) ++summary.snps_without_genotype;
  const double mean = present > 0 ? sum / static_cast<double>(present) : 0.0;
  for (int c = 0; c < 3; ++c) snp.deviation[c] = c - mean;
}

void write_snp_line(OutputFile& out, const std::string& snp_id, const SnpCounts& snp,
                    const std::vector<double>& residual, const std::string& missing_text) {
  out.write(snp_id);
  for (std::size_t k = 0; k < snp.counts.size(); ++k) {
    char* p = out.reserve(kMaxNumberText + 1);
    *p++ = ' ';
    if (snp.counts[k] < 0) {
      std::memcpy(p, missing_text.data(), missing_text.size());
      p += missing_text.size();
    } else {
      p = write_significant6(p, snp.deviation[snp.counts[k]] * residual[k]);
    }
    out.advance(p);
  }
  out.write_char('\n');
}

/// The floats halvorix would read from the SNP's text line.
void snp_row_as_read(const SnpCounts& snp, const std::vector<double>& residual, float missing,
                     std::vector<float>& row) {
  row.resize(snp.counts.size());
  for (std::size_t k = 0; k < snp.counts.size(); ++k)
    row[k] = snp.counts[k] < 0 ? missing
                               : significant6_as_read(snp.deviation[snp.counts[k]] * residual[k]);
}

}  // namespace

ScoreSummary write_score_file(const ScoreOptions& options) {
  ScoreSummary summary;
  const std::vector<BimRecord> bim = load_bim(plink_file(options.bfile, ".bim"));
  summary.snps = static_cast<long long>(bim.size());
  const Residuals residuals = load_residuals(options, summary);
  BedReader bed(plink_file(options.bfile, ".bed"), summary.snps, summary.subjects);

  std::vector<GenotypeSlot> slots;
  for (long long i : residuals.kept) {
    slots.push_back({static_cast<std::size_t>(i / 4), static_cast<int>(i % 4) * 2});
  }
  char missing_buffer[kMaxNumberText];
  const std::string missing_text(missing_buffer,
                                 write_significant6(missing_buffer, options.missing_code));

  std::vector<unsigned char> bytes;
  SnpCounts snp;
  Progress progress("SNPs written", summary.snps);
  if (options.binary) {
    BinaryScoreWriter writer(options.out);
    writer.nsubj = static_cast<int>(slots.size());
    const float missing = significant6_as_read(options.missing_code);
    std::vector<float> row;
    for (const BimRecord& record : bim) {
      bed.read_snp(bytes);
      count_alleles(slots, bytes, snp, summary);
      snp_row_as_read(snp, residuals.value, missing, row);
      writer.write_row(record.snp_id, row.data());
      progress.tick();
    }
    progress.finish();
    bed.check_end();
    writer.commit();
    return summary;
  }
  OutputFile out(options.out);
  out.write("# " + std::to_string(summary.snps) + " SNPs x " +
            std::to_string(summary.kept_subjects) +
            " subjects: (allele-1 count - SNP mean) x phenotype residual; missing genotype " +
            missing_text + "\n");
  for (const BimRecord& record : bim) {
    bed.read_snp(bytes);
    count_alleles(slots, bytes, snp, summary);
    write_snp_line(out, record.snp_id, snp, residuals.value, missing_text);
    progress.tick();
  }
  progress.finish();
  bed.check_end();
  out.commit();
  return summary;
}

void print_score_summary(const ScoreOptions& options, const ScoreSummary& summary) {
  std::string covariates;
  for (const std::string& name : summary.covariate_names) {
    covariates += (covariates.empty() ? "" : ", ") + name;
  }
  std::cout << "halvorix-prep scores\n"
            << "  genotypes          = " << options.bfile << ".bed/.bim/.fam\n"
            << "  SNPs               = " << summary.snps << '\n'
            << "  subjects in .fam   = " << summary.subjects << '\n'
            << "  phenotype          = " << summary.phenotype_name
            << (summary.case_control
                    ? (options.zero_one_coding ? " (case/control, 0/1)" : " (case/control, 1/2)")
                    : " (quantitative)")
            << '\n'
            << "  covariates         = " << (covariates.empty() ? "none" : covariates) << '\n'
            << "  dropped, phenotype = " << summary.missing_phenotype << " missing\n"
            << "  dropped, covariate = " << summary.missing_covariate << " missing\n"
            << "  kept subjects      = " << summary.kept_subjects << '\n';
  if (summary.table_rows_not_in_fam > 0) {
    std::cout << "  rows not in .fam   = " << summary.table_rows_not_in_fam << " (ignored)\n";
  }
  std::cout << "  missing genotypes  = " << summary.missing_genotypes << " (written as "
            << options.missing_code << ")\n";
  if (summary.snps_without_genotype > 0) {
    std::cout << "  SNPs all missing   = " << summary.snps_without_genotype << '\n';
  }
  std::cout << "  written            = " << options.out << '\n';
}
