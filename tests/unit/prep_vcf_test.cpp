#include <gtest/gtest.h>

#include "prep/vcf_scores.h"
#include "test_support.h"

namespace {

const char* const kHeader =
    "##fileformat=VCFv4.2\n"
    "##contig=<ID=1>\n"
    "##contig=<ID=2>\n"
    "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
    "##FORMAT=<ID=DS,Number=A,Type=Float,Description=\"ALT dosage\">\n"
    "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\tA\tB\tC\tD\tE\n";

// Lines 7 to 10. Kept subjects A B D E (C has no phenotype) with residuals -2 1 -1 2.
//   rs1:        GT counts 1 2 M 0, DS 0.9 1.8 M 0.25 (as floats)
//   1:200:C:T:  GT M (half-missing) 1 1 (haploid) 0, DS 1 M 0.5 0.05
//   rsM:        two ALT alleles: skipped
//   rs4:        GT counts 0 1 2 1, no DS on the line
const char* const kRecords =
    "1\t100\trs1\tG\tA\t.\tPASS\t.\tGT:DS\t0/1:0.9\t1|1:1.8\t0/0:0\t./.:.\t0/0:0.25\n"
    "1\t200\t.\tC\tT\t.\tPASS\t.\tGT:DS\t1/.:1\t0/1:.\t./.:.\t1:0.5\t0/0:0.05\n"
    "2\t300\trsM\tA\tC,G\t.\tPASS\t.\tGT\t0/2\t0/1\t1/2\t0/0\t0/0\n"
    "2\t400\trs4\tT\tG\t.\tPASS\t.\tGT\t0/0\t0/1\t1/1\t1/1\t0/1\n";

// Matched by IID alone: the FIDs are the table's own. Z is not in the VCF.
const char* const kPheno = "FID IID y\nfa A 1\nfb B 4\nfd D 2\nfe E 5\nfz Z 5\n";

class VcfScoreFile : public testing::Test {
 protected:
  TempDir folder;
  ScoreOptions options;

  void SetUp() override {
    options.vcf = folder.write("v.vcf", std::string(kHeader) + kRecords);
    options.pheno_file = folder.write("p.txt", kPheno);
    options.out = folder.file("score.dat");
  }

  ScoreSummary run() {
    testing::internal::CaptureStdout();
    const ScoreSummary summary = write_vcf_score_file(options);
    testing::internal::GetCapturedStdout();
    return summary;
  }
};

}  // namespace

TEST_F(VcfScoreFile, AltCountsFromGenotypesMissingWhenAnyAlleleIs) {
  // rs1 mean 1; 1:200:C:T mean 2/3 over B D E; rs4 mean 1.
  const ScoreSummary summary = run();
  EXPECT_EQ(
      data_lines(folder.read("score.dat")),
      (std::vector<std::string>{
          "rs1 0 1 -999 -2", "1:200:C:T -999 0.33333334 -0.33333334 -1.3333334", "rs4 2 0 -1 0"}));
  EXPECT_EQ(summary.snps, 3);
  EXPECT_EQ(summary.multiallelic_skipped, 1);
  EXPECT_EQ(summary.subjects, 5);
  EXPECT_EQ(summary.kept_subjects, 4);
  EXPECT_EQ(summary.missing_phenotype, 1);  // C, absent from the table
  EXPECT_EQ(summary.table_rows_not_in_fam, 1);
  EXPECT_EQ(summary.missing_genotypes, 2);
}

TEST_F(VcfScoreFile, FractionalDosagesFollowTheScoreRule) {
  // DS is stored as a float. rs1: m = (0.9f + 1.8f + 0.25) / 3 = 0.98333331, scores
  // (0.9f - m) x -2 = 0.1666667, (1.8f - m) x 1 = 0.8166666, (0.25 - m) x 2 = -1.4666666.
  // 1:200:C:T: m = (1 + 0.5 + 0.05f) / 3 = 0.51666667, scores -0.9666667, 0.0166667,
  // -0.9333333. rs4 has no DS: all missing. Each written as its float's shortest text.
  options.dosage_field = "DS";
  options.missing_code = -9;
  const ScoreSummary summary = run();
  EXPECT_EQ(data_lines(folder.read("score.dat")),
            (std::vector<std::string>{"rs1 0.16666667 0.81666666 -9 -1.4666666",
                                      "1:200:C:T -0.96666664 -9 0.016666668 -0.93333334",
                                      "rs4 -9 -9 -9 -9"}));
  EXPECT_EQ(summary.missing_genotypes, 6);
  EXPECT_EQ(summary.snps_without_genotype, 1);
}
