#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "files/binary_score_file.h"
#include "files/compact_scores.h"
#include "files/score_text.h"
#include "prep/score_compact.h"
#include "prep/score_writer.h"
#include "stats/snp.h"
#include "test_support.h"

namespace {

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

/// Every score of a binary score file of either version, row after row, as halvorix reads it.
std::vector<float> stored_scores(const std::string& path) {
  const BinaryScoreFile file(path);
  const auto nsubj = static_cast<int>(file.header.nsubj);
  std::vector<float> all(file.header.nsnp * file.header.nsubj);
  for (int r = 0; r < static_cast<int>(file.header.nsnp); ++r) {
    float* out = all.data() + static_cast<std::size_t>(r) * nsubj;
    if (file.is_compact()) {
      file.compact.decode(r, 0, nsubj, out);
    } else {
      std::memcpy(out, file.scores() + static_cast<std::size_t>(r) * nsubj, nsubj * sizeof(float));
    }
  }
  return all;
}

std::vector<float> text_scores(const std::string& path) {
  ScoreTextReader reader(path);
  ScoreTextRows rows;
  std::vector<float> all;
  while (reader.next(rows))
    all.insert(all.end(), rows.values, rows.values + rows.names.size() * reader.nsubj);
  return all;
}

/// A study of `nsnp` x `nsubj` values: counts 0..2 or float dosages, about one in eight
/// missing; the first SNP monomorphic and, with three SNPs or more, the last all missing.
struct Study {
  std::vector<std::vector<double>> values;
  std::vector<double> residuals;

  Study(int nsnp, int nsubj, bool dosages, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < nsubj; ++i) residuals.push_back((unit(gen) - 0.4) * 3.7);
    for (int r = 0; r < nsnp; ++r) {
      std::vector<double> row;
      for (int i = 0; i < nsubj; ++i) {
        double v = dosages ? static_cast<float>(std::round(unit(gen) * 2000) / 1000)
                           : std::floor(unit(gen) * 3);
        if (r == 0) v = 1;
        if (unit(gen) < 0.125 || (nsnp >= 3 && r == nsnp - 1)) v = kMissingDosage;
        row.push_back(v);
      }
      values.push_back(row);
    }
  }

  void write(const std::string& path, ScoreFormat format, RowCoding coding) const {
    ScoreWriter writer(path, residuals, -9, format, coding, {residuals});
    writer.subject_label.assign(residuals.size(), "subject");
    for (std::size_t r = 0; r < values.size(); ++r)
      writer.write_snp("snp" + std::to_string(r + 1), values[r]);
    writer.commit();
  }

  float expected(std::size_t r, std::size_t i) const {
    long long present = 0;
    const double mean = mean_dosage(values[r], present);
    return std::isnan(values[r][i]) ? -9.0f : study_score(values[r][i] - mean, residuals[i]);
  }
};

}  // namespace

TEST(CompactScoreFile, TextBinaryAndCompactHoldTheSameFloatsForEveryCoding) {
  // Subject and SNP counts that are and are not multiples of 4, one subject included.
  const int shapes[][2] = {{5, 7}, {4, 8}, {3, 1}, {9, 13}};
  for (const bool dosages : {false, true}) {
    for (const auto& shape : shapes) {
      SCOPED_TRACE(std::to_string(shape[0]) + " x " + std::to_string(shape[1]) +
                   (dosages ? " dosages" : " genotypes"));
      TempDir folder;
      const Study study(shape[0], shape[1], dosages, static_cast<unsigned>(shape[0] * shape[1]));
      const RowCoding coding = dosages ? RowCoding::dosages : RowCoding::genotypes;
      study.write(folder.file("s.txt"), ScoreFormat::text, coding);
      study.write(folder.file("s.bin"), ScoreFormat::binary, coding);
      study.write(folder.file("s.cmp"), ScoreFormat::compact, coding);
      const std::vector<float> text = text_scores(folder.file("s.txt"));
      const std::vector<float> binary = stored_scores(folder.file("s.bin"));
      const std::vector<float> compact = stored_scores(folder.file("s.cmp"));
      ASSERT_EQ(text.size(), static_cast<std::size_t>(shape[0] * shape[1]));
      ASSERT_EQ(binary.size(), text.size());
      ASSERT_EQ(compact.size(), text.size());
      for (std::size_t c = 0; c < text.size(); ++c) {
        const std::size_t r = c / shape[1], i = c % shape[1];
        const float want = study.expected(r, i);
        ASSERT_TRUE(same_bits(text[c], want)) << c << ": " << text[c] << " vs " << want;
        ASSERT_TRUE(same_bits(binary[c], want)) << c;
        ASSERT_TRUE(same_bits(compact[c], want)) << c;
      }
      const BinaryScoreFile file(folder.file("s.cmp"));
      EXPECT_EQ(file.compact.header.coding, coding);
      EXPECT_EQ(file.names.back(), "snp" + std::to_string(shape[0]));
    }
  }
}

TEST(CompactScoreFile, RowsBeyondTheDosageTableKeepFloatsAndTheCovariatesAreKept) {
  TempDir folder;
  const Study study(6, 11, true, 3);
  const std::vector<double> age = {30, 41, 52, 23, 64, 35, 46, 57, 28, 39, 50};
  CompactScoreWriter writer(folder.file("s.cmp"), RowCoding::dosages, study.residuals, {age}, -9);
  writer.table_capacity = 12;  // a few rows fill it; later rows with new values fall back
  std::vector<double> means;
  for (std::size_t r = 0; r < study.values.size(); ++r) {
    long long present = 0;
    means.push_back(mean_dosage(study.values[r], present));
    writer.write_row("snp" + std::to_string(r + 1), study.values[r], means.back());
  }
  writer.commit();
  EXPECT_GT(writer.float_rows, 0);
  EXPECT_LT(writer.float_rows, 6);

  const BinaryScoreFile file(folder.file("s.cmp"));
  int float_rows = 0;
  for (int r = 0; r < 6; ++r) float_rows += file.compact.dosage_row_kind(r) == DosageRow::floats;
  EXPECT_EQ(float_rows, writer.float_rows);
  EXPECT_EQ(file.compact.header.table_entries, 12u);
  const std::vector<float> scores = stored_scores(folder.file("s.cmp"));
  for (std::size_t c = 0; c < scores.size(); ++c)
    ASSERT_TRUE(same_bits(scores[c], study.expected(c / 11, c % 11))) << c;
  // Z: the intercept, then the covariate, one column after the other.
  ASSERT_EQ(file.compact.header.covariate_columns, 2u);
  const auto* z =
      reinterpret_cast<const double*>(file.compact.base + file.compact.header.covariates_offset);
  for (std::size_t i = 0; i < age.size(); ++i) {
    EXPECT_EQ(z[i], 1.0);
    EXPECT_EQ(z[age.size() + i], age[i]);
    EXPECT_EQ(file.compact.residuals[i], study.residuals[i]);
  }
  for (int r = 0; r < 6; ++r) EXPECT_EQ(file.compact.means[r], means[static_cast<std::size_t>(r)]);
}

TEST(CompactScoreFile, TheEngineSeesTheSameScoresAsFromFloatRows) {
  // Every reader of the score matrix: missing-code pass and "mean" replacement, observed sums,
  // the kernel's blocks (replicates), rows and single values.
  TempDir folder;
  const Study study(37, 23, false, 11);
  study.write(folder.file("s.bin"), ScoreFormat::binary, RowCoding::genotypes);
  study.write(folder.file("s.cmp"), ScoreFormat::compact, RowCoding::genotypes);
  SNPData floats(folder.file("s.bin"), -9, "mean");
  SNPData coded(folder.file("s.cmp"), -9, "mean");
  ASSERT_TRUE(coded.scoremat.coded);
  ASSERT_EQ(floats.scoremat.replacement.size(), coded.scoremat.replacement.size());
  for (std::size_t j = 0; j < floats.scoremat.replacement.size(); ++j)
    EXPECT_TRUE(same_bits(floats.scoremat.replacement[j], coded.scoremat.replacement[j])) << j;
  EXPECT_EQ(floats.scoremat.row_has_missing, coded.scoremat.row_has_missing);
  for (SNPData* d : {&floats, &coded}) {
    d->set_all_used();
    d->make_snp_used_index();
    d->compute_x_stat();
  }
  std::vector<double> weights(3 * 23);
  std::mt19937 gen(5);
  std::normal_distribution<double> normal;
  for (double& w : weights) w = normal(gen);
  std::vector<float> a(3 * 37), b(3 * 37);
  floats.compute_replicate_stats(weights.data(), 3, a.data());
  coded.compute_replicate_stats(weights.data(), 3, b.data());
  for (std::size_t k = 0; k < a.size(); ++k) EXPECT_TRUE(same_bits(a[k], b[k])) << k;
  std::vector<float> s1, s2;
  for (int r = 0; r < 37; ++r) {
    EXPECT_TRUE(same_bits(floats.snpvec[r].x_stat, coded.snpvec[r].x_stat)) << r;
    const float* x = floats.scoremat.row(r, s1);
    const float* y = coded.scoremat.row(r, s2);
    for (int j = 0; j < 23; ++j) {
      ASSERT_TRUE(same_bits(x[j], y[j])) << r << "," << j;
      ASSERT_TRUE(same_bits(coded.scoremat.value(r, j), y[j])) << r << "," << j;
    }
  }
}

namespace {
/// A valid compact file of 2 SNPs x 3 subjects with 16-bit dosage indices.
std::string small_dosage_file(const TempDir& folder) {
  const std::string path = folder.file("d.cmp");
  CompactScoreWriter writer(path, RowCoding::dosages, {1.5, -0.5, -1.0}, {}, -9);
  writer.write_row("a", {0.5, 1.5, kMissingDosage}, 1.0);
  writer.write_row("b", {2.0, 0.5, 1.5}, 4.0 / 3);
  writer.commit();
  return path;
}

void patch(const std::string& path, std::size_t at, const void* bytes, std::size_t n) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(at));
  f.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(n));
}
}  // namespace

TEST(CompactScoreFile, BadFilesStopNamingTheFile) {
  TempDir folder;
  const std::string path = small_dosage_file(folder);
  EXPECT_EQ(stored_scores(path).size(), 6u);
  const BinaryScoreFile good(path);
  const std::uint64_t rows = good.compact.header.rows_offset;
  std::string bytes = folder.read("d.cmp");

  const std::uint32_t coding = 7;
  patch(folder.write("coding.cmp", bytes), 32, &coding, 4);
  EXPECT_EXIT(BinaryScoreFile(folder.file("coding.cmp")), testing::ExitedWithCode(1),
              "coding.cmp: row coding 7 is not known");

  folder.write("short.cmp", bytes.substr(0, bytes.size() - 1));
  EXPECT_EXIT(BinaryScoreFile(folder.file("short.cmp")), testing::ExitedWithCode(1),
              "short.cmp: size " + std::to_string(bytes.size() - 1) +
                  " bytes, but the blocks the header gives \\(2 SNPs x 3 subjects, .*\\) end at "
                  "byte " +
                  std::to_string(bytes.size()) + "\n$");

  // Each fixed field is named with its bytes, before anything is sized by it.
  const std::uint64_t entries = 40;
  patch(folder.write("table.cmp", bytes), 104, &entries, 8);
  EXPECT_EXIT(
      BinaryScoreFile(folder.file("table.cmp")), testing::ExitedWithCode(1),
      "table.cmp: the names offset \\(header bytes 112 to 119\\) is [0-9]+, expected [0-9]+");
  const std::uint32_t reserved = 1;
  patch(folder.write("reserved.cmp", bytes), 44, &reserved, 4);
  EXPECT_EXIT(BinaryScoreFile(folder.file("reserved.cmp")), testing::ExitedWithCode(1),
              "reserved.cmp: the reserved field \\(header bytes 44 to 47\\) is 1, expected 0");
  const std::uint32_t header_size = 64;
  patch(folder.write("header.cmp", bytes), 12, &header_size, 4);
  EXPECT_EXIT(BinaryScoreFile(folder.file("header.cmp")), testing::ExitedWithCode(1),
              "header.cmp: the header size \\(header bytes 12 to 15\\) is 64, expected 128");
  const std::uint64_t many_subjects = 2147483647;
  patch(folder.write("subjects.cmp", bytes), 24, &many_subjects, 8);
  EXPECT_EXIT(BinaryScoreFile(folder.file("subjects.cmp")), testing::ExitedWithCode(1),
              "subjects.cmp: the residuals of 2147483647 subjects take 17179869176 bytes, more "
              "than the file's");

  const std::uint64_t kind = std::uint64_t{9} << kDirectoryOffsetBits;
  patch(folder.write("kind.cmp", bytes), good.compact.header.directory_offset, &kind, 8);
  EXPECT_EXIT(BinaryScoreFile(folder.file("kind.cmp")), testing::ExitedWithCode(1),
              "kind.cmp: row of SNP 1 has the unknown kind 9");

  const std::uint64_t first_row = std::uint64_t{1} << kDirectoryOffsetBits;  // indices, at 0
  patch(folder.write("order.cmp", bytes), good.compact.header.directory_offset + 8, &first_row, 8);
  EXPECT_EXIT(BinaryScoreFile(folder.file("order.cmp")), testing::ExitedWithCode(1),
              "order.cmp: row of SNP 2 starts at 0 bytes into the rows, expected 8");

  // Indices are checked where rows are first decoded: the engine's missing-code pass.
  const std::uint16_t beyond = 7;
  patch(folder.write("index.cmp", bytes), rows + 2, &beyond, 2);
  EXPECT_EXIT(SNPData(folder.file("index.cmp"), -9, "zero"), testing::ExitedWithCode(1),
              "index.cmp: SNP a \\(row 1\\), subject 2: dosage index 7 is beyond the table of 3 "
              "dosages");

  const double infinite = INFINITY;
  patch(folder.write("mean.cmp", bytes), good.compact.header.means_offset + 8, &infinite, 8);
  EXPECT_EXIT(BinaryScoreFile(folder.file("mean.cmp")), testing::ExitedWithCode(1),
              "mean.cmp: the mean of SNP 2 is not a finite number");
}
