#include "prep/vcf_scores.h"

#include <string>
#include <utility>

#include "cli/fail.h"
#include "prep/score_writer.h"
#include "prep/vcf.h"

ScoreSummary write_vcf_score_file(const ScoreOptions& options) {
  ScoreSummary summary;
  VcfReader vcf(options.vcf, true);
  const bool dosages = !options.dosage_field.empty();
  if (dosages) {
    vcf.require_format_number(options.dosage_field);
  } else {
    vcf.require_genotypes();
  }
  std::vector<FamRecord> subjects;
  for (const std::string& name : vcf.samples) subjects.push_back({"", name, ""});
  Residuals residuals = load_residuals(options, subjects, SubjectMatch::individual_only, summary);

  ScoreWriter scores(options.out, std::move(residuals.value), options.missing_code, options.format,
                     dosages ? RowCoding::dosages : RowCoding::genotypes, residuals.covariates);
  for (long long i : residuals.kept)
    scores.subject_label.push_back("sample " + vcf.samples[static_cast<std::size_t>(i)]);
  // The SNP count is known only at the end of the stream, so this header line leaves it out.
  scores.write_comment(std::to_string(summary.kept_subjects) + " subjects: (" +
                       (dosages ? "ALT dosage " + options.dosage_field : std::string("ALT count")) +
                       " - SNP mean) x phenotype residual; missing genotype " +
                       scores.missing_text);
  std::vector<double> dosage(residuals.kept.size());
  while (vcf.next()) {
    if (vcf.allele_count() > 2) {
      ++summary.multiallelic_skipped;
      continue;
    }
    const std::string name = vcf.snp_name();
    if (dosages) {
      vcf.read_dosages(options.dosage_field, residuals.kept, dosage);
    } else {
      vcf.read_alt_counts(residuals.kept, dosage);
    }
    scores.write_snp(name, dosage);
  }
  // halvorix refuses a score file without SNPs: stop before it is written.
  if (scores.snps == 0) {
    fail_stderr("error: " + options.vcf + ": no biallelic records (" +
                std::to_string(summary.multiallelic_skipped) +
                " multi-allelic skipped), so there are no scores to write");
  }
  scores.commit();
  summary.snps = scores.snps;
  summary.missing_genotypes = scores.missing_dosages;
  summary.snps_without_genotype = scores.snps_without_dosage;
  return summary;
}
