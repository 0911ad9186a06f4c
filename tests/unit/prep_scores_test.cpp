#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <thread>

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

TEST_F(ScoreFile, CentredCountsTimesCentredPhenotype) {
  // Residuals -2 0 -1 3. snp1 kept counts 2 1 0 1 (mean 1); snp2 0 M 1 2 (mean 1 over the
  // three present); snp3 2 2 1 2 (mean 1.75).
  const ScoreSummary summary = run();
  expect_scores({"snp1 -2 0 1 0", "snp2 2 M 0 3", "snp3 -0.5 0 0.75 0.75"});
  EXPECT_EQ(summary.kept_subjects, 4);
  EXPECT_EQ(summary.missing_phenotype, 1);
  EXPECT_EQ(summary.missing_genotypes, 1);
  EXPECT_FALSE(summary.case_control);
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

// A .bed from a pipe has no size to check beforehand: its length is checked while it is read,
// as a compressed one's is, and it gives the scores the file gives.
TEST_F(ScoreFile, BedFromAPipeReadsLikeTheFile) {
  run();
  const std::string from_file = folder.read("score.dat");
  const std::string fifo = folder.file("p.bed");
  folder.write("p.bim", kBim);
  folder.write("p.fam", kFam);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << folder.read("d.bed"); });
  options.bfile = folder.file("p");
  run();
  writer.join();
  EXPECT_EQ(folder.read("score.dat"), from_file);
}
