#include <gtest/gtest.h>

#include <cstdlib>

#include "prep/scores.h"
#include "test_support.h"

namespace {

// Five subjects, three SNPs; allele-1 counts (M = missing):
//   snp1: 2 1 0 0 1   codes 00 10 11 11 | 10   bytes 0xF8 0x02
//   snp2: 0 M 2 1 2   codes 11 01 00 10 | 00   bytes 0x87 0x00
//   snp3: 2 2 1 1 2   codes 00 00 10 10 | 00   bytes 0xA0 0xFC (pad bits set, never read)
const std::vector<unsigned char> kBed = {0x6c, 0x1b, 0x01, 0xF8, 0x02, 0x87, 0x00, 0xA0, 0xFC};
const char* const kBim = "1 snp1 0 100 A G\n1 snp2 0 200 C T\n2 snp3 0.5 300 G A\n";
// Subject 3's phenotype is missing: kept phenotypes 1 3 2 6, mean 3.
const char* const kFam =
    "f1 s1 0 0 1 1\nf2 s2 0 0 2 3\nf3 s3 0 0 1 -9\nf4 s4 0 0 2 2\nf5 s5 0 0 1 6\n";

class ScoreFile : public testing::Test {
 protected:
  TempDir folder;
  ScoreOptions options;

  void SetUp() override {
    folder.write("d.bed", std::string(kBed.begin(), kBed.end()));
    folder.write("d.bim", kBim);
    folder.write("d.fam", kFam);
    options.bfile = folder.file("d");
    options.out = folder.file("score.dat");
  }

  ScoreSummary run() {
    testing::internal::CaptureStdout();
    const ScoreSummary summary = write_score_file(options);
    testing::internal::GetCapturedStdout();
    return summary;
  }

  /// Compares each data line of the output with "name score...": "M" stands for the missing
  /// code as written, and scores may differ by 1e-6.
  void expect_scores(const std::vector<std::string>& expected,
                     const std::string& missing = "-999") const {
    const std::vector<std::string> lines = data_lines(folder.read("score.dat"));
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t r = 0; r < lines.size(); ++r) {
      std::istringstream got(lines[r]), want(expected[r]);
      std::string g, w;
      for (bool name = true; want >> w; name = false) {
        ASSERT_TRUE(got >> g) << lines[r];
        if (name || w == "M")
          EXPECT_EQ(g, name ? w : missing) << lines[r];
        else
          EXPECT_NEAR(std::atof(g.c_str()), std::atof(w.c_str()), 1e-6) << lines[r];
      }
      EXPECT_FALSE(got >> g) << lines[r];
    }
  }
};

}  // namespace

TEST_F(ScoreFile, CentredCountsTimesCentredPhenotypeFromPlainOrGzipFiles) {
  // Residuals -2 0 -1 3. snp1 kept counts 2 1 0 1 (mean 1); snp2 0 M 1 2 (mean 1 over the
  // three present); snp3 2 2 1 2 (mean 1.75).
  const ScoreSummary summary = run();
  expect_scores({"snp1 -2 0 1 0", "snp2 2 M 0 3", "snp3 -0.5 0 0.75 0.75"});
  EXPECT_EQ(summary.kept_subjects, 4);
  EXPECT_EQ(summary.missing_phenotype, 1);
  EXPECT_EQ(summary.missing_genotypes, 1);
  EXPECT_FALSE(summary.case_control);

  // Compressed files read the same, found under the plain name or from the prefix.
  const std::string plain_scores = folder.read("score.dat");
  folder.write_gzip("z.bed", std::string(kBed.begin(), kBed.end()));
  folder.write_gzip("z.bim.gz", kBim);
  folder.write_gzip("z.fam.gz", kFam);
  options.bfile = folder.file("z");
  run();
  EXPECT_EQ(folder.read("score.dat"), plain_scores);
}

TEST_F(ScoreFile, OneCovariateUsesTheLeastSquaresResiduals) {
  // Kept phenotypes 1 3 2 6 on covariate 0 1 2 3: fit 0.9 + 1.4 c, residuals 0.1 0.7 -1.7 0.9.
  // Subject 3's covariate is irrelevant (its phenotype is missing).
  options.covar_file = folder.write("c.txt",
                                    "FID IID age\nf1 s1 0\nf2 s2 1\nf3 s3 7\n"
                                    "f4 s4 2\nf5 s5 3\n");
  options.missing_code = -9;
  const ScoreSummary summary = run();
  expect_scores({"snp1 0.1 0 1.7 0", "snp2 -0.1 M 0 0.9", "snp3 0.025 0.175 1.275 0.225"}, "-9");
  EXPECT_EQ(summary.covariate_names, std::vector<std::string>{"age"});
}

TEST_F(ScoreFile, PhenotypeFileColumnAndMissingCovariateDropSubjects) {
  // Column "b": s2 is NA, s5 absent from the file, s9 not in the .fam; s4's covariate is -9,
  // which leaves two subjects: too few for an intercept and a covariate.
  options.pheno_file = folder.write("p.txt",
                                    "FID IID a b\nf1 s1 9 4\nf2 s2 9 NA\n"
                                    "f3 s3 9 8\nf4 s4 9 5\nf9 s9 9 1\n");
  options.pheno_name = "b";
  options.covar_file =
      folder.write("c.txt", "FID IID x\nf1 s1 1\nf2 s2 1\nf3 s3 2\nf4 s4 -9\nf5 s5 1\n");
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              "2 subjects have a phenotype and every covariate; at least 3 are needed");
  options.covar_file.clear();
  const ScoreSummary summary = run();
  // Kept s1 s3 s4 with 4 8 5: residuals -5/3 7/3 -2/3; snp1 counts 2 0 0, mean 2/3, and so on.
  EXPECT_EQ(summary.kept_subjects, 3);
  EXPECT_EQ(summary.missing_phenotype, 2);
  EXPECT_EQ(summary.table_rows_not_in_fam, 1);
  expect_scores({"snp1 -2.22222 -1.55556 0.444444", "snp2 1.66667 2.33333 0",
                 "snp3 -1.11111 -0.777778 0.222222"});
}

TEST_F(ScoreFile, CaseControlZeroIsMissingUnlessCodedZeroOne) {
  folder.write("d.fam",
               "f1 s1 0 0 1 2\nf2 s2 0 0 2 1\nf3 s3 0 0 1 0\nf4 s4 0 0 2 1\nf5 s5 0 0 1 2\n");
  ScoreSummary summary = run();
  EXPECT_TRUE(summary.case_control);
  EXPECT_EQ(summary.kept_subjects, 4);  // kept 2 1 1 2: residuals 0.5 -0.5 -0.5 0.5
  expect_scores({"snp1 0.5 0 0.5 0", "snp2 -0.5 M 0 0.5", "snp3 0.125 -0.125 0.375 0.125"});
  folder.write("d.fam",
               "f1 s1 0 0 1 1\nf2 s2 0 0 2 0\nf3 s3 0 0 1 0\nf4 s4 0 0 2 1\nf5 s5 0 0 1 -9\n");
  options.zero_one_coding = true;
  EXPECT_EQ(run().kept_subjects, 4);  // 1 0 0 1 all kept
}

TEST_F(ScoreFile, BedOfWrongSizeMagicOrModeIsRejectedAtItsByte) {
  const std::string bed(kBed.begin(), kBed.end());
  folder.write("d.bed", bed.substr(0, 8));
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              "^error: .*d.bed: size is 8 bytes, but 3 SNPs \\(.bim\\) x 5 subjects \\(.fam\\) "
              "need 9 bytes");
  folder.write("d.bed", bed.substr(0, 1) + "\x1c" + bed.substr(2));
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              "^error: .*d.bed byte 0: not a PLINK .bed file \\(expected magic bytes 0x6c 0x1b, "
              "found 0x6c 0x1c\\)");
  folder.write("d.bed", bed.substr(0, 2) + '\0' + bed.substr(3));
  EXPECT_EXIT(run(), testing::ExitedWithCode(1), "^error: .*d.bed byte 2: individual-major");
  // A compressed file's size is only known when it is read.
  folder.write("z.bim", kBim);
  folder.write("z.fam", kFam);
  options.bfile = folder.file("z");
  folder.write_gzip("z.bed", bed.substr(0, 8));
  EXPECT_EXIT(run(), testing::ExitedWithCode(1), "^error: .*z.bed byte 8: file ends inside SNP 3");
  folder.write_gzip("z.bed", bed + "x");
  EXPECT_EXIT(run(), testing::ExitedWithCode(1), "^error: .*z.bed byte 9: data past the end");
  EXPECT_FALSE(std::filesystem::exists(folder.file("score.dat")));
}

TEST_F(ScoreFile, MalformedTextInputsAndSingularCovariatesNameFileLineAndColumn) {
  folder.write("d.bim", "1 snp1 0 100 A G\n1 snp2 0 200 C\n");
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              "^error: .*d.bim line 2: expected 6 columns .*found 5");
  folder.write("d.bim", kBim);
  folder.write("d.fam", "f1 s1 0 0 1 1\nf2 s2 0 0 2 big\n");
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              "^error: .*d.fam line 2: phenotype 'big' is not a number");
  folder.write("d.fam", kFam);
  options.pheno_file = folder.write("p.txt", "FID IID height weight\nf1 s1 1 2\n");
  options.pheno_name = "bmi";
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              "^error: .*p.txt line 1: no column named 'bmi' \\(columns: height, weight\\)");
  folder.write("p.txt", "FID IID bmi\nf1 s1 1\nf2 s2 2 3\n");
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              "^error: .*p.txt line 3: 4 columns, but the header has 3");
  folder.write("p.txt", "FID IID bmi\nf1 s1 tall\n");
  EXPECT_EXIT(run(), testing::ExitedWithCode(1), "^error: .*p.txt line 2: column bmi: 'tall'");
  options.pheno_file.clear();

  options.covar_file = folder.write("c.txt",
                                    "FID IID age site dose\nf1 s1 20 1 41\n"
                                    "f2 s2 30 1 61\nf3 s3 40 1 81\nf4 s4 35 1 71\n"
                                    "f5 s5 50 1 101\n");
  options.covar_names = {"age", "dose"};  // dose = 2 age + 1
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              "^error: .*c.txt: covariate dose is collinear with the intercept and the "
              "covariates before it");
  options.covar_names = {"site"};
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              "covariate site is collinear with the intercept among the 4 kept subjects");
}

TEST_F(ScoreFile, PhenotypeWithoutVarianceStops) {
  // Residuals of +-0.9 around a mean of 1e9 are below 1e-9 of the mean (plus 1): no variance.
  folder.write("d.fam",
               "f1 s1 0 0 1 1000000000.9\nf2 s2 0 0 2 999999999.1\nf3 s3 0 0 1 -9\n"
               "f4 s4 0 0 2 1000000000.9\nf5 s5 0 0 1 999999999.1\n");
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              "^error: phenotype column 6 of .*d.fam has no variance among the 4 kept subjects\n$");
  EXPECT_FALSE(std::filesystem::exists(folder.file("score.dat")));
}

TEST_F(ScoreFile, ScoreBeyondFloatRangeOrNonFiniteResidualStops) {
  folder.write("d.fam",
               "f1 s1 0 0 1 1e300\nf2 s2 0 0 2 -1e300\nf3 s3 0 0 1 -9\n"
               "f4 s4 0 0 2 0\nf5 s5 0 0 1 2e300\n");
  for (bool binary : {false, true}) {  // the binary form holds the same floats, so same check
    options.binary = binary;
    EXPECT_EXIT(run(), testing::ExitedWithCode(1),
                "^error: the score of SNP snp1 for the subject on .fam line 1 is not a finite "
                "number in float range");
    EXPECT_FALSE(std::filesystem::exists(folder.file("score.dat")));
  }
  options.binary = false;
  folder.write("d.fam",
               "f1 s1 0 0 1 1e308\nf2 s2 0 0 2 1.7e308\nf3 s3 0 0 1 -9\n"
               "f4 s4 0 0 2 -1e308\nf5 s5 0 0 1 1.5e308\n");
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              "^error: phenotype .*: the residual of the subject");
}
