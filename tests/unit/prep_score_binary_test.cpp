#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "files/binary_score_file.h"
#include "files/score_text.h"
#include "prep/number_format.h"
#include "prep/score_binary.h"
#include "prep/scores.h"
#include "test_support.h"

namespace {

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

float read_back(std::string_view text) {
  float value = 0;
  parse_score_field(text, value);
  return value;
}

float text_route(double value) {
  char text[kMaxNumberText];
  return read_back(
      std::string_view(text, static_cast<std::size_t>(write_significant6(text, value) - text)));
}

/// Every float the text reader makes of `path`, row after row.
std::vector<float> text_scores(const std::string& path, std::vector<std::string>* names) {
  ScoreTextReader reader(path);
  ScoreTextRows rows;
  std::vector<float> all;
  while (reader.next(rows)) {
    all.insert(all.end(), rows.values, rows.values + rows.names.size() * reader.nsubj);
    if (names) names->insert(names->end(), rows.names.begin(), rows.names.end());
  }
  return all;
}

std::string quietly(const std::function<void()>& call) {
  testing::internal::CaptureStdout();
  call();
  return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(Significant6AsRead, SameFloatAsWritingTheTextAndReadingItBack) {
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> exponent(-8, 8);
  for (int i = 0; i < 200000; ++i) {
    const double v = (i % 2 ? -1 : 1) * mantissa(gen) * std::pow(10.0, exponent(gen));
    ASSERT_TRUE(same_bits(significant6_as_read(v), text_route(v))) << v;
  }
  // Ties at the sixth digit, carries to a new power of ten, zero and the range ends.
  for (double v : {0.0, -0.0, 1.234565, 2.5e-5, 9.999995, 999999.5, 1e6, 1e-4, 0.000099999,
                   123456.5, -0.1234565, 1e300, -1e-300})
    EXPECT_TRUE(same_bits(significant6_as_read(v), text_route(v))) << v;
}

TEST(PackScoreFile, RoundTripKeepsEveryFloatAndEveryRow) {
  TempDir folder;
  const std::string text =
      folder.write("s.txt",
                   "# a comment\n\nrs1 1.5 -999 -1e-3 0.1\r\nrs2,-0,+2,-3.5e-3,3.4028235e38\n , \n"
                   "rs1 1e-45 -1e-40 2.5 0x10\nrs3 7 8 9 1.00000001\n");
  const std::string packed = folder.file("s.bin");
  PackSummary summary;
  quietly([&] { summary = pack_score_file(text, packed); });
  EXPECT_EQ(summary.snps, 4);
  EXPECT_EQ(summary.subjects, 4);
  EXPECT_EQ(summary.repeated_names, 1);

  std::vector<std::string> names;
  const std::vector<float> expected = text_scores(text, &names);
  const BinaryScoreFile bin(packed);
  ASSERT_EQ(bin.names, names);
  ASSERT_EQ(bin.names, (std::vector<std::string>{"rs1", "rs2", "rs1", "rs3"}));
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_TRUE(same_bits(bin.scores()[i], expected[i])) << i;
  EXPECT_TRUE(std::signbit(bin.scores()[4]));  // -0 stays negative

  // Unpacked text reads back to the same floats, and packs to the same bytes.
  quietly([&] { unpack_score_file(packed, folder.file("back.txt")); });
  const std::vector<float> back = text_scores(folder.file("back.txt"), nullptr);
  ASSERT_EQ(back.size(), expected.size());
  for (std::size_t i = 0; i < back.size(); ++i)
    EXPECT_TRUE(same_bits(back[i], expected[i]) || (std::isnan(back[i]) && std::isnan(expected[i])))
        << i;
  quietly([&] { pack_score_file(folder.file("back.txt"), folder.file("again.bin")); });
  EXPECT_EQ(folder.read("again.bin"), folder.read("s.bin"));
}

TEST(WriteFloatExact, ShortestTextThatReadsBack) {
  char text[32];
  const auto written = [&](float v) { return std::string(text, write_float_exact(text, v)); };
  EXPECT_EQ(written(0.1f), "0.1");
  EXPECT_EQ(written(-0.0f), "-0");
  EXPECT_EQ(written(-std::numeric_limits<float>::infinity()), "-inf");
  EXPECT_EQ(written(-std::nanf("")), "-nan");
  std::mt19937 gen(3);
  for (int i = 0; i < 100000; ++i) {
    std::uint32_t bits = gen();
    float v;
    std::memcpy(&v, &bits, sizeof v);
    if (std::isnan(v)) continue;
    const std::string t = written(v);
    ASSERT_TRUE(same_bits(read_back(t), v)) << t;
  }
}

TEST(PrepScoresBinary, HoldsTheFloatsOfItsTextOutput) {
  TempDir folder;
  // Seven subjects with a missing genotype and odd residuals, so scores need all six digits.
  folder.write("d.bed", "\x6c\x1b\x01\xE4\x1B\x36\x1B\xE1\x2D");
  folder.write("d.bim", "1 snp1 0 100 A G\n1 snp2 0 200 C T\n1 snp3 0 300 C T\n");
  folder.write("d.fam",
               "f1 s1 0 0 1 1.1\nf2 s2 0 0 2 3.7\nf3 s3 0 0 1 -2.3\nf4 s4 0 0 2 2\n"
               "f5 s5 0 0 1 6.9\nf6 s6 0 0 1 0.3\n");
  ScoreOptions options;
  options.bfile = folder.file("d");
  options.missing_code = -9.8765432;
  options.out = folder.file("score.txt");
  quietly([&] { write_score_file(options); });
  options.format = ScoreFormat::binary;
  options.out = folder.file("score.bin");
  quietly([&] { write_score_file(options); });
  std::vector<std::string> names;
  const std::vector<float> expected = text_scores(folder.file("score.txt"), &names);
  const BinaryScoreFile bin(folder.file("score.bin"));
  EXPECT_EQ(bin.names, names);
  ASSERT_EQ(expected.size(), 18u);
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_TRUE(same_bits(bin.scores()[i], expected[i])) << i;
}
