#include "stats/kegg.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// Genes 10, 20 and 30 of one SNP each.
struct KeggSetup {
  KeggSetup()
      : snp(dir.write("score.dat", "s1 1 2\ns2 2 1\ns3 0 1\n"), -999.0f, "zero"),
        genes(kDefaultScoring, dir.write("gene_snp.dat", "10 s1 0\n20 s2 0\n30 s3 0\n"), 50000,
              snp) {}
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

TEST(KEGGData, SummaryOfNoPathwaysPrintsZerosWithoutFinalNewline) {
  KEGGData kegg;
  const std::string out = stdout_of([&] { kegg.print_summary(""); });
  EXPECT_EQ(out.substr(out.find("No. sets")),
            "No. sets = 0\nmin  genes in set = 0\nmax  genes in set = 0\nmean genes in set = 0");
}
