#include "prep/prep_cli.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

const std::vector<FlagSpec> kSpecs = {{"--bim", true}, {"--window", true}, {"--1", false}};

}  // namespace

TEST(PrepCommandLine, FlagsTakeTheirValuesAndSwitchesStandAlone) {
  const ParsedFlags flags = parse_flags("genemap", {"--window", "10", "--1", "--bim", "a"}, kSpecs);
  EXPECT_EQ(flags.values.at("--window"), "10");
  EXPECT_EQ(flags.values.at("--bim"), "a");
  EXPECT_EQ(flags.values.at("--1"), "");
  EXPECT_FALSE(flags.help);
  EXPECT_TRUE(parse_flags("genemap", {"--bim", "a", "--help"}, kSpecs).help);
}

TEST(PrepCommandLine, BadArgumentsStopWithTheCommandName) {
  EXPECT_EXIT(parse_flags("genemap", {"--bogus"}, kSpecs), testing::ExitedWithCode(1),
              "^error: genemap: unknown argument '--bogus'");
  EXPECT_EXIT(parse_flags("genemap", {"--bim", "a", "--bim", "b"}, kSpecs),
              testing::ExitedWithCode(1), "^error: genemap: --bim given twice");
  EXPECT_EXIT(parse_flags("genemap", {"--bim"}, kSpecs), testing::ExitedWithCode(1),
              "^error: genemap: --bim needs a value");
  EXPECT_EXIT(run_prep({"genemap", "--bim", "a"}), testing::ExitedWithCode(1),
              "^error: genemap: --genes is required");
  EXPECT_EXIT(run_prep({"genemap", "--bim", "a", "--genes", "g", "--out", "o", "--window", "-5"}),
              testing::ExitedWithCode(1), "^error: genemap: --window '-5' is not a whole number");
  EXPECT_EXIT(run_prep({"gogene", "--gaf", "a", "--out", "o", "--gene-id", "entrez"}),
              testing::ExitedWithCode(1), "--gene-id must be symbol or db-id");
  EXPECT_EXIT(run_prep({"convert"}), testing::ExitedWithCode(1),
              "^error: unknown command 'convert'");
}

TEST(PrepCommandLine, HelpSucceedsAndBareCallFails) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(run_prep({"--help"}), 0);
  EXPECT_EQ(run_prep({"scores", "--help"}), 0);
  const std::string help = testing::internal::GetCapturedStdout();
  EXPECT_NE(help.find("Commands:"), std::string::npos);
  EXPECT_NE(help.find("--covar-name"), std::string::npos);
  testing::internal::CaptureStderr();
  EXPECT_EQ(run_prep({}), 1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Usage:"), std::string::npos);
}

TEST(PrepCommandLine, ScoresRunWritesTheFileAndItsSummary) {
  TempDir folder;
  // Two subjects with phenotypes 1 and 3, one SNP with counts 2 and 0: scores -1 and -1.
  folder.write("d.bed", "\x6c\x1b\x01\x0c");
  folder.write("d.bim", "1 rs1 0 10 A G\n");
  folder.write("d.fam", "a a 0 0 1 1\nb b 0 0 1 3\n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(run_prep({"scores", "--bfile", folder.file("d"), "--out", folder.file("s.dat")}), 0);
  const std::string summary = testing::internal::GetCapturedStdout();
  EXPECT_EQ(data_lines(folder.read("s.dat")), std::vector<std::string>{"rs1 -1 -1"});
  EXPECT_NE(summary.find("kept subjects      = 2"), std::string::npos);
}
