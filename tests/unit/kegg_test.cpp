#include "stats/kegg.h"

#include <gtest/gtest.h>

#include <algorithm>

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

// A gene twice in one pathway is warned of in line order and added once; the same gene in
// another pathway is no repeat.
TEST(KEGGData, RepeatedGeneOfAPathwayIsWarnedOfAndSkipped) {
  KeggSetup t;
  const std::string file = t.dir.write("kegg_gene.dat",
                                       "hsa:10 path:hsa00232\n"
                                       "hsa:20 path:hsa00010\n"
                                       "hsa:10 path:hsa00010\n"
                                       "10\t00232\n"  // the first line's pair without prefixes
                                       "hsa:20 path:hsa00010\n");
  KEGGData kegg;
  EXPECT_EQ(stdout_of([&] { kegg.makeKEGG(file, t.genes); }),
            "warning: duplicate kegg-gene in file " + file + ": skipped 00232 - 10\n" +
                "warning: duplicate kegg-gene in file " + file + ": skipped 00010 - 20\n");
  EXPECT_EQ(kegg.keggvec[0].gene, (std::vector<std::string>{"10"}));
  EXPECT_EQ(kegg.keggvec[1].gene, (std::vector<std::string>{"20", "10"}));
}

// Pairs loaded before count as seen, those of a pathway with a long list of genes too: a
// second file warns of each of them and adds only the new pair.
TEST(KEGGData, SecondFileAddsOnlyPairsNotLoadedBefore) {
  TempDir dir;
  const std::size_t many = SeenPairs::kShortList + 2;
  std::vector<std::string> names;
  std::string gene_snp, links;
  for (std::size_t g = 1; g <= many; ++g) {
    names.push_back("s" + std::to_string(g));
    gene_snp += std::to_string(g) + " s" + std::to_string(g) + " 0\n";
    links += "hsa:" + std::to_string(g) + " path:hsa00001\n";
  }
  SNPData snp(names, std::vector<std::vector<float>>(many, {1, 2}));
  GENEData genes(kDefaultScoring, dir.write("gene_snp.dat", gene_snp), 50000, snp);
  KEGGData kegg(dir.write("kegg_gene.dat", links), genes);
  const std::string more = dir.write("more.dat", links + "hsa:1 path:hsa00002\n");
  const std::string warnings = stdout_of([&] { kegg.makeKEGG(more, genes); });
  EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), static_cast<long>(many));
  EXPECT_EQ(kegg.keggvec[0].gene.size(), many);
  EXPECT_EQ(kegg.keggvec[1].gene, (std::vector<std::string>{"1"}));
}

TEST(KEGGData, SummaryOfNoPathwaysPrintsZerosWithoutFinalNewline) {
  KEGGData kegg;
  const std::string out = stdout_of([&] { kegg.print_summary(""); });
  EXPECT_EQ(out.substr(out.find("No. sets")),
            "No. sets = 0\nmin  genes in set = 0\nmax  genes in set = 0\nmean genes in set = 0");
}
