#include "stats/gmt.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// Genes G1, G2 and G3 of one SNP each.
struct GmtSetup {
  GmtSetup()
      : snp(dir.write("score.dat", "s1 1 2\ns2 2 1\ns3 0 1\n"), -999.0f, "zero"),
        genes(kDefaultScoring, dir.write("gene_snp.dat", "G1 s1 0\nG2 s2 0\nG3 s3 0\n"), 50000,
              snp) {}
  int index(const std::string& gene) const { return genes.gene_map.at(gene); }
  bool used(const std::string& gene) const {
    return genes.genevec[static_cast<std::size_t>(index(gene))].used;
  }
  TempDir dir;
  SNPData snp;
  GENEData genes;
};

// Fields lie between single tabs: blanks inside descriptions stay, empty gene fields and
// blanks around genes go; blank and comment lines are skipped.
const char* const kGmt =
    "# a comment line\n"
    "SET_B\thttps://example.org/b\tG2\tX9\t G1 \tG2\n"  // X9 is not in the gene map
    "\n"
    " \t \n"
    "SET_A\ttwo words, a comma\t\tG3\t\r\n"
    "SET_OUT\t\tX9\tX8\n"
    "SET_NONE\tno genes\t\n";

}  // namespace

TEST(GMTData, KeepsFileOrderMappedGenesOnceAndCountsTheFilesGenes) {
  GmtSetup t;
  GMTData gmt;
  const std::string warnings =
      stdout_of([&] { gmt.makeGMT(t.dir.write("sets.gmt", kGmt), t.genes); });
  EXPECT_EQ(warnings, "warning: gene G2 repeated in set SET_B on line 2 of file " +
                          t.dir.file("sets.gmt") + ": counted once\n");
  ASSERT_EQ(gmt.sets.size(), 4u);
  EXPECT_EQ(gmt.sets[0].name, "SET_B");
  EXPECT_EQ(gmt.sets[0].gene, (std::vector<std::string>{"G2", "G1"}));
  EXPECT_EQ(gmt.sets[0].gene_index, (std::vector<int>{t.index("G2"), t.index("G1")}));
  EXPECT_EQ(gmt.sets[1].name, "SET_A");
  EXPECT_EQ(gmt.sets[1].description, "two words, a comma");
  EXPECT_EQ(gmt.sets[1].gene, (std::vector<std::string>{"G3"}));
  EXPECT_EQ(gmt.sets[1].line, 5);
  EXPECT_TRUE(gmt.sets[2].gene.empty());
  EXPECT_EQ(gmt.sets[2].description, "");
  EXPECT_TRUE(gmt.sets[3].gene.empty());
  // G1, G2, G3, X9, X8: X9 twice in the file, once in the count.
  EXPECT_EQ(gmt.file_genes, 5u);
  EXPECT_EQ(gmt.mapped_genes, 3u);
  EXPECT_TRUE(t.used("G1") && t.used("G2") && t.used("G3"));
}

// A gene used by no set stays unused: the gene statistics are computed for used genes only.
TEST(GMTData, GenesOfNoSetStayUnused) {
  GmtSetup t;
  const GMTData gmt(t.dir.write("sets.gmt", "S\td\tG3\n"), t.genes);
  EXPECT_FALSE(t.used("G1"));
  EXPECT_TRUE(t.used("G3"));
}

// The golden cases cover each message; here the splitting and name rules at their edges.
TEST(GMTData, BlanksDoNotSplitAndNamesRefuseEveryBlankOrControlByte) {
  GmtSetup t;
  const auto load = [&](const std::string& content) {
    GMTData gmt(t.dir.write("bad.gmt", content), t.genes);
  };
  EXPECT_EXIT(load("S d G1\n"), testing::ExitedWithCode(1), "on line 1 of .*but found 1\n$");
  for (const std::string name : {"trailing ", "bell\a", "a,b"})
    EXPECT_EXIT(load("S\td\tG1\n" + name + "\td\tG2\n"), testing::ExitedWithCode(1),
                "on line 2 of file .* holds a blank, a comma or a control character")
        << name;
}

TEST(GMTData, CoverageWarningStartsBelowHalfOfTheFilesGenes) {
  GmtSetup t;
  const GMTData half(t.dir.write("half.gmt", "S\td\tG1\tX1\nT\td\tG2\tX2\n"), t.genes);
  EXPECT_FALSE(half.low_coverage());
  EXPECT_EQ(stdout_of([&] { half.print_summary("s"); }).find("warning"), std::string::npos);
  const GMTData low(t.dir.write("low.gmt", "S\td\tG1\tX1\tX3\nT\td\tG2\tX2\n"), t.genes);
  EXPECT_TRUE(low.low_coverage());
  EXPECT_NE(stdout_of([&] { low.print_summary("s"); }).find("warning: only 2 of the 5 genes"),
            std::string::npos);
}

TEST(GMTData, OnlyWholeHttpAddressesCountAsWebAddresses) {
  for (const char* address : {"http://a.org", "https://a.org/x?y=1&z=\"2\"", "HTTPS://A.ORG/<b>"})
    EXPECT_TRUE(is_web_address(address)) << address;
  for (const char* text : {"", "http://", "https://", "ftp://a.org", "www.a.org", " http://a.org",
                           "http://a.org/two words", "http://a.org/\t", "javascript:alert(1)",
                           "httpx://a.org", "a set of genes"})
    EXPECT_FALSE(is_web_address(text)) << text;
}
