#include "stats/go.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

#include "test_support.h"

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

const GO& term(const GOData& go, const std::string& name) {
  return go.govec[static_cast<std::size_t>(vertex(go, name))];
}

const std::set<int>& descendants(const GOData& go, const std::string& name) {
  return term(go, name).descendants;
}

template <typename Property>
int degree(const GOData& go, const std::string& name) {
  return boost::get(Property(), go.go_graph, static_cast<std::size_t>(vertex(go, name)));
}

}  // namespace

// part_of and has_part edges, and the cycle warning, run end to end as golden cases.
TEST(GOData, NamespaceFilterDropsOtherTermsAndSkipsBlanksAndCommentsButNotBadLines) {
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
  EXPECT_EQ(go.count_leaves(), 1);

  // A line without four fields stops the run even when its namespace is filtered out (a line
  // of three fields does so end to end).
  const std::string five =
      dir.write("five.dat", "molecular_function M1 is_a M0\ncellular_component C1 is_a C0 x\n");
  EXPECT_EXIT(GOData(five, "molecular_function"), ::testing::ExitedWithCode(1),
              "error: .*five.dat has 5 items, but expect 4");
}

TEST(GOData, RepeatedLineCountsAsParallelEdgeAndTermsOfTwoParentsAreInBoth) {
  TempDir dir;
  GOData go = load_go(dir,
                      "bp C is_a P\nbp C is_a P\nbp D is_a P\nbp C is_a Q\nbp E is_a C\n"
                      "bp F is_a C\n");
  EXPECT_EQ(degree<vertex_go_out_degree_t>(go, "P"), 3);
  EXPECT_EQ(degree<vertex_go_in_degree_t>(go, "C"), 3);
  EXPECT_EQ(degree<vertex_go_degree_t>(go, "C"), 5);
  EXPECT_EQ(go.count_roots(), 2);
  go.find_descendants();
  EXPECT_EQ(descendants(go, "P"), vertices(go, {"C", "D", "E", "F"}));
  EXPECT_EQ(descendants(go, "Q"), vertices(go, {"C", "E", "F"}));
}

TEST(GOData, GoGeneKeepsKnownPairsOnceAndMarksTheirGenes) {
  TempDir dir;
  // Three genes G1..G3 of one SNP each, and a graph of the "mf" namespace only.
  SNPData snp(dir.write("score.dat", "s1 1 2\ns2 2 1\ns3 0 1\n"), -999.0f, "zero");
  GENEData genes(kDefaultScoring, dir.write("gene_snp.dat", "G1 s1 0\nG2 s2 0\nG3 s3 0\n"), 50000,
                 snp);
  GOData go = load_go(dir, "mf M1 is_a M0\nbp B1 is_a B0\n", "mf");
  go.load_go_gene(dir.write("go_gene.dat",
                            " ,# source gene term\n"
                            "hs G2 M1\n"
                            "hs G1 M1\n"
                            "\n"
                            "xx G2 M1 extra\n"  // repeated pair, other label
                            "hs G2 M0\n"        // same gene, second term
                            "hs G3 B1\n"        // term of the other namespace
                            "hs NOPE M0\n"      // gene outside the gene-SNP map
                            "hs G3 UNKNOWN\n"),
                  genes);
  EXPECT_EQ(term(go, "M1").gene, (std::vector<std::string>{"G2", "G1"}));
  EXPECT_EQ(term(go, "M1").gene_index, (std::vector<int>{1, 0}));
  EXPECT_EQ(term(go, "M0").gene, (std::vector<std::string>{"G2"}));
  for (int g = 0; g < 3; ++g) EXPECT_EQ(genes.genevec[static_cast<std::size_t>(g)].used, g < 2);
}

// Random graphs, acyclic and with cycles, their lines shuffled so that the term numbers do not
// follow the graph: the descendants of a term are the terms reachable below it, and its gene
// set holds the genes of the term and of all below until they pass the limit.
TEST(GOData, DescendantsAndGeneSetsOfRandomGraphs) {
  TempDir dir;
  std::mt19937 rng(11);
  const std::size_t n = 60;
  for (const bool with_cycles : {false, true}) {
    std::vector<std::vector<bool>> reach(n, std::vector<bool>(n, false));
    std::vector<std::string> lines;
    for (std::size_t child = 1; child < n; ++child)
      for (std::size_t parent = 0; parent < n; ++parent)
        if ((parent < child || with_cycles) && parent != child && rng() % 15 == 0) {
          reach[parent][child] = true;
          lines.push_back("bp T" + std::to_string(child) + " is_a T" + std::to_string(parent) +
                          "\n");
        }
    std::shuffle(lines.begin(), lines.end(), rng);
    std::string edges;
    for (const auto& line : lines) edges += line;
    for (std::size_t k = 0; k < n; ++k)  // transitive closure
      for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j)
          if (reach[i][k] && reach[k][j]) reach[i][j] = true;
    GOData go;
    stdout_of([&] { go = load_go(dir, edges); });
    ASSERT_EQ(go.has_cycles, with_cycles);
    for (GO& t : go.govec)
      for (int g = 0; g < 3; ++g)
        if (rng() % 3 == 0) t.gene_index.push_back(static_cast<int>(rng() % 50));
    go.find_descendants();
    for (const auto& [name, index] : go.go_map) {
      std::set<int> expected;
      const std::size_t from = std::stoul(name.substr(1));
      for (std::size_t j = 0; j < n; ++j)
        if (reach[from][j] && j != from) expected.insert(vertex(go, "T" + std::to_string(j)));
      EXPECT_EQ(go.govec[static_cast<std::size_t>(index)].descendants, expected) << name;
    }
    std::vector<std::vector<int>> below(go.govec.size());
    for (std::size_t v = 0; v < go.govec.size(); ++v) {
      std::set<int> genes(go.govec[v].gene_index.begin(), go.govec[v].gene_index.end());
      for (const int d : go.govec[v].descendants)
        for (const int g : go.govec[static_cast<std::size_t>(d)].gene_index) genes.insert(g);
      below[v].assign(genes.begin(), genes.end());
    }
    // The limit itself is allowed: one set sits exactly on it.
    std::vector<std::size_t> sizes;
    for (const auto& genes : below) sizes.push_back(genes.size());
    std::nth_element(sizes.begin(), sizes.begin() + n / 2, sizes.end());
    const int at_limit = static_cast<int>(sizes[n / 2]);
    ASSERT_GT(at_limit, 0);  // 0 would mean no limit at all
    for (const int limit : {0, at_limit}) {
      go.find_gene_sets(limit);
      for (std::size_t v = 0; v < go.govec.size(); ++v) {
        const bool too_many = limit > 0 && below[v].size() > static_cast<std::size_t>(limit);
        EXPECT_EQ(go.govec[v].too_many_genes, too_many) << go.govec[v].name << " limit " << limit;
        EXPECT_EQ(go.govec[v].genes_below, too_many ? std::vector<int>{} : below[v]);
      }
    }
  }
}

TEST(GOData, CopyOutlivesTheOriginal) {
  TempDir dir;
  auto original = std::make_unique<GOData>(load_go(dir, "bp A is_a B\nbp C is_a B\n"));
  const std::string summary = stdout_of([&] { original->print_summary("GO"); });
  const GOData copy = *original;
  original.reset();  // nothing of the copy may point into it
  EXPECT_EQ(stdout_of([&] { copy.print_summary("GO"); }), summary);
  EXPECT_EQ(degree<vertex_go_out_degree_t>(copy, "B"), 2);
  EXPECT_EQ(boost::get(vertex_go_name_t(), copy.go_graph, 2), "C");
  EXPECT_EQ(vertex(copy, "C"), 2);
}
