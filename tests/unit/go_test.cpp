#include "go.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "test_support.h"

namespace fs = std::filesystem;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

GOData load_go(const TempDir& dir, const std::string& edges, const std::string& go_type = "all") {
  GOData go;
  go.makeGO(dir.write("go_edges.dat", edges), go_type);
  return go;
}

int vertex(const GOData& go, const std::string& name) { return go.go_map.at(name); }

std::set<int> vertices(const GOData& go, const std::vector<std::string>& names) {
  std::set<int> result;
  for (const auto& name : names) result.insert(vertex(go, name));
  return result;
}

int in_degree_of(const GOData& go, const std::string& name) {
  return boost::get(vertex_go_in_degree_t(), go.go_graph,
                    static_cast<std::size_t>(vertex(go, name)));
}
int out_degree_of(const GOData& go, const std::string& name) {
  return boost::get(vertex_go_out_degree_t(), go.go_graph,
                    static_cast<std::size_t>(vertex(go, name)));
}

}  // namespace

TEST(GOData, HasPartPutsTheNamedPartBelow) {
  TempDir dir;
  GOData go = load_go(dir, "biological_process, A, has_part, B\nbiological_process\tC part_of D\n");
  EXPECT_EQ(out_degree_of(go, "A"), 1);
  EXPECT_EQ(in_degree_of(go, "B"), 1);
  EXPECT_EQ(in_degree_of(go, "A"), 0);
  EXPECT_EQ(out_degree_of(go, "D"), 1);
  EXPECT_EQ(in_degree_of(go, "C"), 1);
  // parent numbered before child on each line
  EXPECT_EQ(vertex(go, "A"), 0);
  EXPECT_EQ(vertex(go, "B"), 1);
  EXPECT_EQ(vertex(go, "D"), 2);
  EXPECT_EQ(go.govec[2].name, "D");
}

TEST(GOData, NamespaceFilterDropsOtherTermsButSkipsBlanksAndComments) {
  TempDir dir;
  GOData go = load_go(dir,
                      "  # header\n"
                      "molecular_function M1 is_a M0\n"
                      "\n"
                      "biological_process B1 is_a B0\n"
                      " , \t\n"
                      "molecular_function M2 is_a M1\n",
                      "molecular_function");
  EXPECT_EQ(go.nvertices, 3);
  EXPECT_EQ(go.go_map.count("B0") + go.go_map.count("B1"), 0u);
  EXPECT_EQ(go.count_roots(), 1);
  EXPECT_EQ(go.count_leaves(), 1);
}

TEST(GOData, LineWithoutFourFieldsStopsEvenWhenFilteredOut) {
  TempDir dir;
  const std::string three =
      dir.write("three.dat", "molecular_function M1 is_a M0\ncellular_component C1 is_a\n");
  const std::string five = dir.write("five.dat", "molecular_function M1 is_a M0 extra\n");
  EXPECT_EXIT(GOData(three, "molecular_function"), ::testing::ExitedWithCode(1),
              "error: .*three.dat has 3 items, but expect 4");
  EXPECT_EXIT(GOData(five, "all"), ::testing::ExitedWithCode(1),
              "error: .*five.dat has 5 items, but expect 4");
  EXPECT_EXIT(GOData((dir.path / "none.dat").string(), "all"), ::testing::ExitedWithCode(1),
              "error: .*none.dat not found");
}

TEST(GOData, RepeatedLineCountsAsParallelEdge) {
  TempDir dir;
  GOData go = load_go(dir, "bp C is_a P\nbp C is_a P\nbp D is_a P\n");
  EXPECT_EQ(out_degree_of(go, "P"), 3);
  EXPECT_EQ(in_degree_of(go, "C"), 2);
  EXPECT_EQ(
      boost::get(vertex_go_degree_t(), go.go_graph, static_cast<std::size_t>(vertex(go, "C"))), 2);
  go.find_descendants();
  EXPECT_EQ(go.govec[static_cast<std::size_t>(vertex(go, "P"))].descendants,
            vertices(go, {"C", "D"}));
}

TEST(GOData, ChainFinishesLeafFirstAndCollectsDescendants) {
  TempDir dir;
  GOData go = load_go(dir, "bp A is_a R\nbp B is_a A\n");
  EXPECT_EQ(go.compute_seq, (std::vector<int>{vertex(go, "B"), vertex(go, "A"), vertex(go, "R")}));
  go.find_descendants();
  EXPECT_EQ(go.govec[static_cast<std::size_t>(vertex(go, "R"))].descendants,
            vertices(go, {"A", "B"}));
  EXPECT_EQ(go.govec[static_cast<std::size_t>(vertex(go, "A"))].descendants, vertices(go, {"B"}));
  EXPECT_TRUE(go.govec[static_cast<std::size_t>(vertex(go, "B"))].descendants.empty());
}

TEST(GOData, ChildOfTwoParentsIsInBothSets) {
  TempDir dir;
  GOData go = load_go(dir, "bp C is_a P1\nbp C is_a P2\nbp D is_a C\n");
  go.find_descendants();
  EXPECT_EQ(go.govec[static_cast<std::size_t>(vertex(go, "P1"))].descendants,
            vertices(go, {"C", "D"}));
  EXPECT_EQ(go.govec[static_cast<std::size_t>(vertex(go, "P2"))].descendants,
            vertices(go, {"C", "D"}));
  EXPECT_EQ(go.count_roots(), 2);
}

// Terms numbered in a shuffled order, so the merge cannot lean on index order.
TEST(GOData, DescendantsOfRandomAcyclicGraphAreTheReachableTerms) {
  TempDir dir;
  const std::size_t n = 40;
  std::mt19937 rng(7);
  std::vector<std::vector<bool>> reach(n, std::vector<bool>(n, false));
  std::vector<std::string> lines;
  for (std::size_t child = 1; child < n; ++child)
    for (std::size_t parent = 0; parent < child; ++parent)
      if (rng() % 6 == 0) {
        reach[parent][child] = true;
        lines.push_back("bp T" + std::to_string(child) + " is_a T" + std::to_string(parent) + "\n");
      }
  std::shuffle(lines.begin(), lines.end(), rng);
  std::string edges;
  for (const auto& line : lines) edges += line;
  for (std::size_t k = 0; k < n; ++k)  // transitive closure
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j)
        if (reach[i][k] && reach[k][j]) reach[i][j] = true;
  GOData go = load_go(dir, edges);
  CaptureStdout();
  go.find_descendants();
  EXPECT_EQ(GetCapturedStdout(), "");
  for (const auto& [name, index] : go.go_map) {
    std::set<int> expected;
    const std::size_t from = std::stoul(name.substr(1));
    for (std::size_t j = 0; j < n; ++j)
      if (reach[from][j]) expected.insert(vertex(go, "T" + std::to_string(j)));
    EXPECT_EQ(go.govec[static_cast<std::size_t>(index)].descendants, expected) << name;
  }
}

TEST(GOData, CycleWarnsAndDescendantsAreStillTheReachableTerms) {
  TempDir dir;
  // A -> B -> C -> A, C -> D, and E -> A outside the loop
  CaptureStdout();
  GOData go =
      load_go(dir, "bp B is_a A\nbp C is_a B\nbp A regulates C\nbp D is_a C\nbp A is_a E\n");
  const std::string out = GetCapturedStdout();
  EXPECT_EQ(out.rfind("warning: ", 0), 0u) << out;
  EXPECT_NE(out.find("cycles"), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
  go.find_descendants();
  const auto& govec = go.govec;
  EXPECT_EQ(govec[static_cast<std::size_t>(vertex(go, "A"))].descendants,
            vertices(go, {"B", "C", "D"}));
  EXPECT_EQ(govec[static_cast<std::size_t>(vertex(go, "B"))].descendants,
            vertices(go, {"A", "C", "D"}));
  EXPECT_EQ(govec[static_cast<std::size_t>(vertex(go, "C"))].descendants,
            vertices(go, {"A", "B", "D"}));
  EXPECT_TRUE(govec[static_cast<std::size_t>(vertex(go, "D"))].descendants.empty());
  EXPECT_EQ(govec[static_cast<std::size_t>(vertex(go, "E"))].descendants,
            vertices(go, {"A", "B", "C", "D"}));
}

namespace {

// Three genes G1..G3 of one SNP each, and a graph of the "mf" namespace only.
struct GoGeneSetup {
  GoGeneSetup()
      : snp(dir.write("score.dat", "s1 1 2\ns2 2 1\ns3 0 1\n"), -999.0f, "zero"),
        genes("sqrtmean", "nor", dir.write("gene_snp.dat", "G1 s1 0\nG2 s2 0\nG3 s3 0\n"), 50000,
              snp) {
    go.makeGO(dir.write("go_edges.dat", "mf M1 is_a M0\nbp B1 is_a B0\n"), "mf");
  }
  const GO& term(const std::string& name) const {
    return go.govec[static_cast<std::size_t>(go.go_map.at(name))];
  }
  bool used(const std::string& gene) const {
    return genes.genevec[static_cast<std::size_t>(genes.gene_map.at(gene))].used;
  }
  TempDir dir;
  SNPData snp;
  GENEData genes;
  GOData go;
};

}  // namespace

TEST(GOData, GoGeneKeepsKnownPairsOnceAndMarksTheirGenes) {
  GoGeneSetup t;
  t.go.load_go_gene(t.dir.write("go_gene.dat",
                                " ,# source gene term\n"
                                "hs G2 M1\n"
                                "hs G1 M1\n"
                                "\n"
                                "xx G2 M1 extra\n"  // repeated pair, other label
                                "hs G2 M0\n"        // same gene, second term
                                "hs G3 B1\n"        // term of the other namespace
                                "hs NOPE M0\n"      // gene outside the gene-SNP map
                                "hs G3 UNKNOWN\n"),
                    t.genes);
  EXPECT_EQ(t.term("M1").gene, (std::vector<std::string>{"G2", "G1"}));
  EXPECT_EQ(t.term("M1").gene_index,
            (std::vector<int>{t.genes.gene_map.at("G2"), t.genes.gene_map.at("G1")}));
  EXPECT_EQ(t.term("M0").gene, (std::vector<std::string>{"G2"}));
  EXPECT_TRUE(t.used("G1"));
  EXPECT_TRUE(t.used("G2"));
  EXPECT_FALSE(t.used("G3"));
}

TEST(GOData, GoGeneShortLineOrMissingFileStops) {
  GoGeneSetup t;
  const std::string short_line = t.dir.write("go_gene.dat", "hs G1 M1\n\nhs G2\n");
  EXPECT_EXIT(t.go.load_go_gene(short_line, t.genes), ::testing::ExitedWithCode(1),
              "error: expect at least 3 fields on line 3 of file .*go_gene.dat, but found 2");
  EXPECT_EXIT(t.go.load_go_gene((t.dir.path / "absent.dat").string(), t.genes),
              ::testing::ExitedWithCode(1), "error: .*absent.datnot found");
}

TEST(GOData, ReportsPrintCountsAndDescendants) {
  TempDir dir;
  GOData go = load_go(dir, "bp A is_a R\nbp B is_a A\n");
  go.find_descendants();
  CaptureStdout();
  go.print_summary("s");
  go.print_descendants("d");
  const std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("      No. nodes = 3\n      No. roots = 1\n     No. leaves = 1\n"),
            std::string::npos);
  EXPECT_NE(out.find("go[0] name = R\n          descendants_name: A, B, \n         "
                     "descendants_index: 1, 2, \n"),
            std::string::npos);
  EXPECT_NE(
      out.find("go[2] name = B\n          descendants_name: \n         descendants_index: \n"),
      std::string::npos);
}
