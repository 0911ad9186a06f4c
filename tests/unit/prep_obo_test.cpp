#include <gtest/gtest.h>

#include "prep/obo.h"
#include "test_support.h"

namespace {

const char* const kOntology =
    "format-version: 1.2\n"
    "default-namespace: gene_ontology\n"
    "! a comment line\n"
    "\n"
    "[Term]\n"
    "id: GO:0000001\n"
    "name: root process\n"
    "namespace: biological_process\n"
    "\n"
    "[Term]\n"
    "id: GO:0000002\n"
    "namespace: biological_process\n"
    "is_a: GO:0000001 ! root process\n"
    "relationship: part_of GO:0000001 {source=\"x\"} ! root process\n"
    "relationship: regulates GO:0000003\n"
    "relationship: positively_regulates GO:0000003\n"
    "relationship: negatively_regulates GO:0000003\n"
    "relationship: has_part GO:0000003\n"
    "relationship: occurs_in GO:0000099 ! obsolete target\n"
    "is_a: GO:0009999 ! defined nowhere\n"
    "\n"
    "[Term]\n"
    "id: GO:0000003\n"
    "name: no namespace tag: takes the default\n"
    "is_a: GO:0000001\n"
    "\n"
    "[Term]\n"
    "id: GO:0000099\n"
    "namespace: biological_process\n"
    "is_obsolete: true\n"
    "is_a: GO:0000001\n"
    "\n"
    "[Typedef]\n"
    "id: part_of\n"
    "is_a: GO:0000001\n";

}  // namespace

TEST(GoEdgesFile, OneLinePerRelationWithoutObsoleteTerms) {
  TempDir folder;
  GoOptions options{folder.write("go.obo", kOntology), folder.file("go_edges.dat")};
  testing::internal::CaptureStdout();
  const GoSummary summary = write_go_edges_file(options);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(data_lines(folder.read("go_edges.dat")),
            (std::vector<std::string>{
                "biological_process GO:0000002 is_a GO:0000001",
                "biological_process GO:0000002 part_of GO:0000001",
                "biological_process GO:0000002 regulates GO:0000003",
                "biological_process GO:0000002 positively_regulates GO:0000003",
                "biological_process GO:0000002 negatively_regulates GO:0000003",
                "biological_process GO:0000002 has_part GO:0000003",
                "gene_ontology GO:0000003 is_a GO:0000001",
            }));
  EXPECT_EQ(summary.terms, 3);
  EXPECT_EQ(summary.obsolete_terms, 1);
  EXPECT_EQ(summary.edges_to_obsolete, 1);
  EXPECT_EQ(summary.edges_to_unknown, 1);
  EXPECT_EQ(summary.other_stanzas, 1);
}

TEST(GoEdgesFile, GzipOntologyGivesTheSameEdges) {
  TempDir folder;
  GoOptions plain{folder.write("go.obo", kOntology), folder.file("plain.dat")};
  GoOptions packed{folder.write_gzip("go.obo.gz", kOntology), folder.file("packed.dat")};
  testing::internal::CaptureStdout();
  write_go_edges_file(plain);
  write_go_edges_file(packed);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(folder.read("packed.dat"), folder.read("plain.dat"));
}

TEST(GoEdgesFile, BadStanzasNameTheirLine) {
  TempDir folder;
  const std::string no_namespace = folder.write("a.obo", "[Term]\nid: GO:1\n");
  EXPECT_EXIT(load_obo(no_namespace), testing::ExitedWithCode(1),
              "^error: .*a.obo line 1: term GO:1 has no namespace");
  const std::string no_id = folder.write("b.obo",
                                         "[Term]\nid: GO:1\nnamespace: n\n\n[Term]\n"
                                         "namespace: n\n");
  EXPECT_EXIT(load_obo(no_id), testing::ExitedWithCode(1),
              "^error: .*b.obo line 5: \\[Term\\] without id");
  const std::string bad_relation =
      folder.write("c.obo", "[Term]\nid: GO:1\nnamespace: n\nrelationship: part_of\n");
  EXPECT_EXIT(load_obo(bad_relation), testing::ExitedWithCode(1),
              "^error: .*c.obo line 4: malformed relationship line");
  GoOptions twice{folder.write("d.obo",
                               "[Term]\nid: GO:1\nnamespace: n\n[Term]\nid: GO:1\n"
                               "namespace: n\n"),
                  folder.file("out.dat")};
  EXPECT_EXIT(write_go_edges_file(twice), testing::ExitedWithCode(1),
              "^error: .*d.obo line 4: term GO:1 already defined on line 1");
}

TEST(GoEdgesFile, IdOrNamespaceWithASeparatorStopsAtItsLine) {
  TempDir folder;
  const std::string blank_id = folder.write("a.obo", "[Term]\nid: GO:1 x\nnamespace: n\n");
  EXPECT_EXIT(load_obo(blank_id), testing::ExitedWithCode(1),
              "^error: .*a.obo line 2: id 'GO:1 x' contains a blank, tab or comma");
  const std::string comma = folder.write("b.obo", "[Term]\nid: GO:1\nnamespace: bio,process\n");
  EXPECT_EXIT(load_obo(comma), testing::ExitedWithCode(1), "^error: .*b.obo line 3: namespace");
  const std::string by_default =
      folder.write("c.obo", "default-namespace: gene ontology\n\n[Term]\nid: GO:1\n");
  EXPECT_EXIT(load_obo(by_default), testing::ExitedWithCode(1),
              "^error: .*c.obo line 3: term GO:1 has the default-namespace 'gene ontology'");
}
