#include "stats/gmt.h"

#include <gtest/gtest.h>

#include "stats/genesets.h"
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

// Every field of the line is read between single tabs: blanks inside names of descriptions
// stay, empty gene fields and blanks around genes go.
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
  std::string warnings;
  GMTData gmt;
  warnings = stdout_of([&] { gmt.makeGMT(t.dir.write("sets.gmt", kGmt), t.genes); });
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

  // Compressed, the same file gives the same sets.
  GmtSetup z;
  GMTData zipped;
  stdout_of([&] { zipped.makeGMT(z.dir.write_gzip("sets.gmt.gz", kGmt), z.genes); });
  ASSERT_EQ(zipped.sets.size(), gmt.sets.size());
  for (std::size_t i = 0; i < gmt.sets.size(); ++i)
    EXPECT_EQ(zipped.sets[i].gene, gmt.sets[i].gene);
}

// A gene used by no set stays unused: the gene statistics are computed for used genes only.
TEST(GMTData, GenesOfNoSetStayUnused) {
  GmtSetup t;
  const GMTData gmt(t.dir.write("sets.gmt", "S\td\tG3\n"), t.genes);
  EXPECT_FALSE(t.used("G1"));
  EXPECT_TRUE(t.used("G3"));
}

TEST(GMTData, BadLinesStopNamingFileAndLine) {
  GmtSetup t;
  const auto load = [&](const std::string& content) {
    GMTData gmt(t.dir.write("bad.gmt", content), t.genes);
  };
  EXPECT_EXIT(load("S\td\tG1\nT\td\n"), testing::ExitedWithCode(1),
              "^error: expect at least 3 tab-separated fields .* on line 2 of file .*bad.gmt, "
              "but found 2\n$");
  // Blank-separated fields are one field: the line has a name with blanks and no genes.
  EXPECT_EXIT(load("S d G1\n"), testing::ExitedWithCode(1), "found 1\n$");
  EXPECT_EXIT(load("\td\tG1\n"), testing::ExitedWithCode(1),
              "^error: empty gene-set name on line 1 of file ");
  for (const std::string name : {"two words", "a,b", "bell\a", "trailing "})
    EXPECT_EXIT(load("S\td\tG1\n" + name + "\td\tG2\n"), testing::ExitedWithCode(1),
                "on line 2 of file .* holds a blank, a comma or a control character; "
                "halvorix-prep gmt rewrites")
        << name;
  EXPECT_EXIT(load("S\td\tG1\nT\td\tG2\nS\td\tG3\n"), testing::ExitedWithCode(1),
              "^error: gene-set name S on line 3 of file .* names the set of line 1 too");
  EXPECT_EXIT(load(std::string("S\td\tG1\0G2\n", 11)), testing::ExitedWithCode(1),
              "^error: NUL byte on line 1 of file ");
  EXPECT_EXIT(GMTData(t.dir.file("absent.gmt"), t.genes), testing::ExitedWithCode(1),
              "^error: cannot open gene-sets file .*absent.gmt: No such file");
}

TEST(GMTData, SummaryWarnsWhenFewerThanHalfOfTheGenesAreMapped) {
  GmtSetup t;
  // Two of four genes mapped: exactly half, no warning; two of five: warning.
  GMTData half(t.dir.write("half.gmt", "S\td\tG1\tX1\nT\td\tG2\tX2\n"), t.genes);
  const std::string quiet = stdout_of([&] { half.print_summary("summary"); });
  EXPECT_NE(quiet.find("No. sets = 2\nmin  genes in set = 1\nmax  genes in set = 1\n"
                       "mean genes in set = 1\nNo. sets without a gene in the map = 0\n"
                       "No. genes in file = 4\nNo. genes in the gene map = 2\n"),
            std::string::npos)
      << quiet;
  EXPECT_EQ(quiet.find("warning"), std::string::npos);
  GMTData low(t.dir.write("low.gmt", "S\td\tG1\tX1\tX3\nT\td\tG2\tX2\n"), t.genes);
  EXPECT_TRUE(low.low_coverage());
  const std::string loud = stdout_of([&] { low.print_summary("summary"); });
  EXPECT_NE(loud.find("warning: only 2 of the 5 genes of " + t.dir.file("low.gmt") +
                      " are in the gene map " + t.dir.file("gene_snp.dat") +
                      ": the two files probably name genes by different kinds of id"),
            std::string::npos)
      << loud;
}

TEST(GMTData, OnlyWholeHttpAddressesCountAsWebAddresses) {
  for (const char* address : {"http://a.org", "https://a.org/x?y=1&z=\"2\"", "HTTPS://A.ORG/<b>"})
    EXPECT_TRUE(is_web_address(address)) << address;
  for (const char* text : {"", "http://", "https://", "ftp://a.org", "www.a.org", " http://a.org",
                           "http://a.org/two words", "http://a.org/\t", "javascript:alert(1)",
                           "httpx://a.org", "a set of genes"})
    EXPECT_FALSE(is_web_address(text)) << text;
}

// File sets merge and obey the size limit as pathways do; each keeps its own description, which
// the HTML turns into a link only when it is a web address.
TEST(GMTData, SetsKeepTheirDescriptionsThroughMergesIntoTheHtml) {
  GmtSetup t;
  const GMTData gmt(t.dir.write("sets.gmt",
                                "ALL\thttps://e.org/all\tG1\tG2\tG3\n"
                                "AB\thttps://e.org/ab?x=1&y=\"2\"\tG1\tG2\n"
                                "NONE\thttps://e.org/none\tX1\n"
                                "BA<i>\tin <b>words</b>\tG2\tG1\n"),
                    t.genes);
  GeneSets gs;
  gs.make_gene_sets(gmt, 2);
  EXPECT_EQ(gs.makeSetsMethod, "SETS");
  EXPECT_EQ(gs.setIDLabel, "SETID");
  ASSERT_EQ(gs.geneset_vec.size(), 1u);
  EXPECT_EQ(gs.geneset_vec[0].set_names, (std::vector<std::string>{"AB", "BA<i>"}));
  EXPECT_EQ(gs.geneset_vec[0].set_index, (std::vector<int>{1, 3}));
  gs.print_gene_sets_html(t.dir.file("out.html"), t.genes);
  const std::string html = t.dir.read("out.html");
  EXPECT_NE(html.find("<H1> Gene-Set Analyses: SETS </H1>"), std::string::npos);
  EXPECT_NE(html.find("<li><A HREF=\"https://e.org/ab?x=1&amp;y=&quot;2&quot;\">AB</A></li>\n"
                      "<li>BA&lt;i&gt;</li>\n</ul>"),
            std::string::npos)
      << html;
  EXPECT_EQ(html.find("words"), std::string::npos);
}
