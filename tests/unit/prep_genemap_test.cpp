#include <gtest/gtest.h>

#include "prep/genemap.h"
#include "test_support.h"

namespace {

class GeneSnpFile : public testing::Test {
 protected:
  TempDir folder;
  GenemapOptions options;

  void SetUp() override {
    options.bim = folder.file("d.bim");
    options.genes = folder.file("genes.txt");
    options.out = folder.file("gene_snp.dat");
  }

  std::vector<std::string> run() {
    testing::internal::CaptureStdout();
    summary = write_gene_snp_file(options);
    testing::internal::GetCapturedStdout();
    return data_lines(folder.read("gene_snp.dat"));
  }

  GenemapSummary summary;
};

std::string bim_line(const std::string& chromosome, const std::string& snp, long position) {
  return chromosome + " " + snp + " 0 " + std::to_string(position) + " A G\n";
}

}  // namespace

TEST(GeneDistance, ZeroInsideSignedOutside) {
  const GeneRegion gene{"1", 1000, 2000, "G"};
  EXPECT_EQ(distance_to_gene(999, gene), -1);
  EXPECT_EQ(distance_to_gene(1000, gene), 0);
  EXPECT_EQ(distance_to_gene(2000, gene), 0);
  EXPECT_EQ(distance_to_gene(2600, gene), 600);
}

TEST(GeneDistance, ChromosomeSpellingsMeetInOneName) {
  EXPECT_EQ(normalise_chromosome("chr7"), "7");
  EXPECT_EQ(normalise_chromosome("07"), "7");
  EXPECT_EQ(normalise_chromosome("X"), normalise_chromosome("23"));
  EXPECT_EQ(normalise_chromosome("chrM"), normalise_chromosome("MT"));
  EXPECT_EQ(normalise_chromosome("XY"), "25");
  EXPECT_NE(normalise_chromosome("X"), normalise_chromosome("Y"));
}

TEST_F(GeneSnpFile, WindowKeepsItsBoundaryAndSortsSnpsByPosition) {
  // Gene 1000-2000, window 500: kept from 500 to 2500 inclusive. The .bim is out of order.
  folder.write("genes.txt", "1 1000 2000 G\n");
  folder.write("d.bim", bim_line("1", "after_out", 2501) + bim_line("1", "before_out", 499) +
                            bim_line("1", "edge_before", 500) + bim_line("1", "start", 1000) +
                            bim_line("1", "inside", 1500) + bim_line("1", "end", 2000) +
                            bim_line("1", "just_after", 2001) + bim_line("1", "edge_after", 2500) +
                            bim_line("1", "just_before", 999));
  options.window = 500;
  EXPECT_EQ(run(), (std::vector<std::string>{"G edge_before -500", "G just_before -1", "G start 0",
                                             "G inside 0", "G end 0", "G just_after 1",
                                             "G edge_after 500"}));
  EXPECT_EQ(summary.snps_in_no_gene, 2);
}

TEST_F(GeneSnpFile, OverlappingGenesEachGetTheSnpOnTheirOwnChromosome) {
  folder.write("genes.txt", "# CHR BP1 BP2 GENE\n1 100 200 A\n1 150 400 B\nchrX 100 200 C\n");
  folder.write("d.bim", bim_line("1", "s1", 180) + bim_line("23", "s2", 180) +
                            bim_line("0", "unplaced", 180) + bim_line("1", "s3", 390));
  options.window = 0;
  EXPECT_EQ(run(), (std::vector<std::string>{"A s1 0", "B s1 0", "B s3 0", "C s2 0"}));
  EXPECT_EQ(summary.snps_unplaced, 1);
  EXPECT_EQ(summary.genes_with_snps, 3);
}

TEST_F(GeneSnpFile, ChromosomeTheGeneListLacksStopsAtTheBimLine) {
  folder.write("genes.txt", "1 100 200 A\n");
  folder.write("d.bim", bim_line("1", "s1", 150) + bim_line("5", "s2", 150));
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              "^error: .*d.bim line 2: chromosome 5 \\(SNP s2\\) is not in the gene list");
  EXPECT_FALSE(std::filesystem::exists(options.out));
}

TEST_F(GeneSnpFile, MalformedGeneListLinesNameTheirLine) {
  folder.write("d.bim", bim_line("1", "s1", 150));
  folder.write("genes.txt", "1 100 200 A\n1 100 B\n");
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              "^error: .*genes.txt line 2: expected 4 columns \\(CHR BP1 BP2 GENE\\), found 3");
  folder.write("genes.txt", "1 300 200 A\n");
  EXPECT_EXIT(run(), testing::ExitedWithCode(1), "genes.txt line 1: gene A ends \\(200\\) before");
  folder.write("genes.txt", "1 1e5 2e5 A\n");
  EXPECT_EXIT(run(), testing::ExitedWithCode(1), "genes.txt line 1: gene positions '1e5'");
}

TEST_F(GeneSnpFile, PositionsBeyondAnyChromosomeStopInsteadOfOverflowing) {
  folder.write("d.bim", bim_line("1", "rs1", 100));
  folder.write("genes.txt", "1 10 9223372036854775000 G1\n");
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              "^error: .*genes.txt line 1: gene positions '10' and '9223372036854775000' must be "
              "whole numbers of base pairs from 0 to 1000000000000");
  folder.write("genes.txt", "1 10 1000000000000 G1\n");
  folder.write("d.bim", bim_line("1", "rs1", 100) + "1 rs2 0 -9223372036854775807 A G\n");
  EXPECT_EXIT(run(), testing::ExitedWithCode(1), "^error: .*d.bim line 2: position .* of SNP rs2");
  folder.write("d.bim", bim_line("1", "rs1", 999999999999));
  options.window = 2000000000;
  EXPECT_EQ(run(), (std::vector<std::string>{"G1 rs1 0"}));
}
