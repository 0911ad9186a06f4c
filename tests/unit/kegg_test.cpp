#include "kegg.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "test_support.h"

namespace fs = std::filesystem;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

KEGG pathway_with_genes(int count) {
  KEGG kegg;
  for (int i = 0; i < count; ++i) {
    kegg.gene.push_back("G" + std::to_string(i));
    kegg.gene_index.push_back(i);
  }
  return kegg;
}

// Genes 10, 20 and 30 of one SNP each.
struct KeggSetup {
  KeggSetup()
      : snp(dir.write("score.dat", "s1 1 2\ns2 2 1\ns3 0 1\n"), -999.0f, "zero"),
        genes(GeneScore::sqrtmean, GeneMoments::nor,
              dir.write("gene_snp.dat", "10 s1 0\n20 s2 0\n30 s3 0\n"), 50000, snp) {}
  bool used(const std::string& gene) const {
    return genes.genevec[static_cast<std::size_t>(genes.gene_map.at(gene))].used;
  }
  TempDir dir;
  SNPData snp;
  GENEData genes;
};

}  // namespace

TEST(KEGGData, GroupsKnownGenesByPathwayInOrderOfFirstKeptLine) {
  KeggSetup t;
  const std::string file =
      t.dir.write("kegg_gene.dat",
                  " ,# gene pathway\n"
                  "hsa:99\n"                 // unknown gene: pathway not needed
                  "hsa:99\tpath:hsa00001\n"  // unknown gene: no pathway created
                  "hsa:20\tpath:hsa00232\n"
                  "hsa:10,path:hsa00010\n"
                  "hsa:10 path:hsa00232 extra\n"
                  "20 00777\n");  // no prefixes: taken whole
  const KEGGData kegg(file, t.genes);
  ASSERT_EQ(kegg.keggvec.size(), 3u);
  EXPECT_EQ(kegg.keggvec[0].name, "00232");
  EXPECT_EQ(kegg.keggvec[0].gene, (std::vector<std::string>{"20", "10"}));
  EXPECT_EQ(kegg.keggvec[0].gene_index,
            (std::vector<int>{t.genes.gene_map.at("20"), t.genes.gene_map.at("10")}));
  EXPECT_EQ(kegg.keggvec[1].name, "00010");
  EXPECT_EQ(kegg.keggvec[2].name, "00777");
  EXPECT_EQ(kegg.keggvec[2].gene, (std::vector<std::string>{"20"}));
  EXPECT_EQ(kegg.kegg_map, (std::map<std::string, int>{{"00010", 1}, {"00232", 0}, {"00777", 2}}));
  EXPECT_TRUE(t.used("10"));
  EXPECT_TRUE(t.used("20"));
  EXPECT_FALSE(t.used("30"));
}

TEST(KEGGData, DuplicatePairWarnsOnStandardOutputAndAddsNothing) {
  KeggSetup t;
  const std::string file =
      t.dir.write("kegg_gene.dat", "hsa:10 path:hsa00232\nhsa:10 path:hsa00232\n");
  KEGGData kegg;
  CaptureStdout();
  kegg.makeKEGG(file, t.genes);
  EXPECT_EQ(GetCapturedStdout(),
            "warning: duplicate kegg-gene in file " + file + ": skipped 00232 - 10\n");
  ASSERT_EQ(kegg.keggvec.size(), 1u);
  EXPECT_EQ(kegg.keggvec[0].gene.size(), 1u);
}

TEST(KEGGData, FormatErrorsStop) {
  KeggSetup t;
  const std::string blank =
      t.dir.write("blank.dat", "hsa:10 path:hsa00232\n\nhsa:20 path:hsa00232\n");
  const std::string no_pathway = t.dir.write("nopath.dat", "hsa:10\n");
  EXPECT_STDOUT_EXIT(KEGGData(blank, t.genes), "error: empty line in .*blank.dat");
  EXPECT_STDOUT_EXIT(KEGGData(no_pathway, t.genes), "error: missing kegg pathway in/.*nopath.dat");
  EXPECT_EXIT(KEGGData((t.dir.path / "absent.dat").string(), t.genes), ::testing::ExitedWithCode(1),
              "error: .*absent.datnot found");
}

TEST(KEGGData, SummaryGivesSizeRangeAndMeanWithoutFinalNewline) {
  KEGGData kegg;
  for (int count : {2, 4, 9}) kegg.keggvec.push_back(pathway_with_genes(count));
  CaptureStdout();
  kegg.print_summary("summary of KEGG structure");
  const std::string out = GetCapturedStdout();
  const std::string body =
      "No. sets = 3\nmin  genes in set = 2\nmax  genes in set = 9\nmean genes in set = 5";
  ASSERT_GE(out.size(), body.size());
  EXPECT_EQ(out.substr(out.size() - body.size()), body);
  EXPECT_NE(out.find(std::string(80, '=')), std::string::npos);
}

TEST(KEGGData, SummaryOfNoPathwaysPrintsZeros) {
  KEGGData kegg;
  CaptureStdout();
  kegg.print_summary("");
  const std::string out = GetCapturedStdout();
  const std::string body =
      "No. sets = 0\nmin  genes in set = 0\nmax  genes in set = 0\nmean genes in set = 0";
  ASSERT_GE(out.size(), body.size());
  EXPECT_EQ(out.substr(out.size() - body.size()), body);
}
