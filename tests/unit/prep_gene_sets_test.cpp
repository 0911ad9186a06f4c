#include <gtest/gtest.h>

#include "prep/gaf.h"
#include "prep/gmt.h"
#include "prep/kegg_links.h"
#include "prep/obo.h"
#include "test_support.h"

namespace {

class GmtFile : public testing::Test {
 protected:
  TempDir folder;
  GmtOptions options;

  void SetUp() override {
    options.gmt = folder.file("in.gmt");
    options.out = folder.file("out.gmt");
  }

  GmtSummary run(const std::string& content) {
    folder.write("in.gmt", content);
    testing::internal::CaptureStdout();
    const GmtSummary summary = write_gmt_file(options);
    testing::internal::GetCapturedStdout();
    return summary;
  }

  void expect_refused(const std::string& content, const std::string& message) {
    folder.write("in.gmt", content);
    EXPECT_EXIT(write_gmt_file(options), testing::ExitedWithCode(1), message);
    EXPECT_EQ(folder.listing(), std::vector<std::string>{"in.gmt"});
  }
};

TEST_F(GmtFile, NormalisesLineEndsBlanksRepeatsAndEmptySets) {
  options.names = folder.file("names.tsv");
  const GmtSummary summary =
      run("HALLMARK A\thttps://x/a\tG1\t G2 \tG1\t\t\r\n"
          "\r\n"
          "   \n"
          "empty\tno genes\t\t\n"
          "b,c\t\tG3\n");
  EXPECT_EQ(folder.read("out.gmt"), "HALLMARK_A\thttps://x/a\tG1\tG2\nb_c\t\tG3\n");
  EXPECT_EQ(folder.read("names.tsv"), "HALLMARK_A\tHALLMARK A\nb_c\tb,c\n");
  EXPECT_EQ(summary.sets_read, 3);
  EXPECT_EQ(summary.empty_sets, 1);
  EXPECT_EQ(summary.repeated_genes, 1);
  EXPECT_EQ(summary.renamed, 2);
  EXPECT_EQ(summary.sets, 2);
  EXPECT_EQ(summary.genes, 3);
  EXPECT_EQ(summary.smallest, 1);
  EXPECT_EQ(summary.largest, 2);
}

TEST_F(GmtFile, GzipInputAndGeneMapCoverage) {
  folder.write("gene_snp.dat", "# gene snp distance\nG1 rs1 0\nG1,rs2,10\nG3\trs3\t-5\nGX rs4 0\n");
  options.gene_map = folder.file("gene_snp.dat");
  options.gmt = folder.write_gzip("in.gmt.gz", "s1\td\tG1\tG2\ns2\td\tG4\ns3\td\tG3\tG1\n");
  testing::internal::CaptureStdout();
  const GmtSummary summary = write_gmt_file(options);
  print_gmt_summary(options, summary);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(summary.map_genes, 3);
  EXPECT_EQ(summary.genes, 4);
  EXPECT_EQ(summary.genes_in_map, 2);
  EXPECT_EQ(summary.sets_with_mapped, 2);
  EXPECT_NE(printed.find("genes in the map        = 2 of 4 (50.0 %)"), std::string::npos);
  EXPECT_NE(printed.find("sets with a mapped gene = 2 of 3"), std::string::npos);
  // Half covered is the limit: no warning yet.
  EXPECT_EQ(printed.find("warning"), std::string::npos);
  folder.write("gene_snp.dat", "G9 rs1 0\nG1 rs2 0\n");
  testing::internal::CaptureStdout();
  print_gmt_summary(options, write_gmt_file(options));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("warning: fewer than half"),
            std::string::npos);
}

TEST_F(GmtFile, RefusesMalformedLinesNamingFileAndLine) {
  expect_refused("a\td\tg\nb\tonly a description\n", "in.gmt line 2: 2 tab-separated fields");
  expect_refused("a\td\tg\nb d g\n", "in.gmt line 2: 1 tab-separated field;");
  expect_refused("a\td\tg\n  \td\tg\n", "in.gmt line 2: the set name is empty");
  expect_refused(std::string("a\td\tg\nb\td\tg\0h\n", 14), "in.gmt line 2: NUL byte");
  expect_refused("a\td\tTP53 BRCA1\n", "in.gmt line 1: gene 'TP53 BRCA1' of set 'a' holds");
  expect_refused("e\td\t\n", "in.gmt: no gene set with at least one gene");
}

TEST_F(GmtFile, NeverMergesTwoSetsUnderOneName) {
  expect_refused("a\td\tg1\nb\td\tg2\na\td\tg3\n",
                 "in.gmt line 3: set name 'a' already names the set on line 1");
  // The rewrite must not make two different sets one.
  expect_refused("x y\td\tg1\nx,y\td\tg2\n",
                 "in.gmt line 2: set names 'x,y' and 'x y' \\(line 1\\) are both written 'x_y'");
  expect_refused("x_y\td\tg1\nx y\td\tg2\n", "line 2: set names 'x y' and 'x_y'");
}

TEST(KeggGmt, OneLinePerPathwayNamedAsTheKeggRoadNamesThem) {
  TempDir folder;
  KeggOptions options;
  options.links =
      folder.write("links.txt",
                   "hsa:10\tpath:hsa00232\npath:hsa00983\thsa:10\nhsa:7\tpath:hsa00232\n"
                   "hsa:10\tpath:hsa00232\nhsa:12\tpath:hsa00983\n");
  options.out = folder.file("kegg.gmt");
  options.gmt = true;
  testing::internal::CaptureStdout();
  const KeggSummary summary = write_kegg_file(options);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(folder.read("kegg.gmt"),
            "00232\thttps://www.kegg.jp/pathway/hsa00232\t10\t7\n"
            "00983\thttps://www.kegg.jp/pathway/hsa00983\t10\t12\n");
  EXPECT_EQ(summary.duplicates, 1);
  EXPECT_EQ(summary.pathways, 2);
  EXPECT_EQ(summary.genes, 3);
}

TEST(KeggNames, PathwayListBecomesNamesUnderTheIdsHalvorixPrints) {
  EXPECT_EQ(kegg_pathway_title("Wnt signaling pathway - Homo sapiens (human)"),
            "Wnt signaling pathway");
  EXPECT_EQ(kegg_pathway_title("Insulin secretion - Homo sapiens"), "Insulin secretion");
  EXPECT_EQ(kegg_pathway_title("Two-component system"), "Two-component system");
  TempDir folder;
  KeggOptions options;
  options.list = folder.write("list.txt",
                              "path:hsa04310\tWnt signaling pathway - Homo sapiens (human)\n"
                              "\n# comment\n"
                              "hsa00010\tGlycolysis / Gluconeogenesis - Homo sapiens (human)\n"
                              "path:hsa04310\tWnt signaling pathway - Homo sapiens (human)\n");
  options.names = folder.file("names.tsv");
  const KeggNamesSummary summary = write_kegg_names_file(options);
  EXPECT_EQ(folder.read("names.tsv"),
            "04310\tWnt signaling pathway\n00010\tGlycolysis / Gluconeogenesis\n");
  EXPECT_EQ(summary.pathways, 2);
  EXPECT_EQ(summary.repeats, 1);
  folder.write("list.txt", "path:hsa04310\tWnt\npath:hsa04310\tNotch\n");
  EXPECT_EXIT(write_kegg_names_file(options), testing::ExitedWithCode(1),
              "list.txt line 2: pathway path:hsa04310 is named 'Notch', but 'Wnt' on line 1");
  folder.write("list.txt", "path:mmu04310\tWnt\n");
  EXPECT_EXIT(write_kegg_names_file(options), testing::ExitedWithCode(1),
              "list.txt line 1: 'path:mmu04310' is not a human KEGG pathway");
  folder.write("list.txt", "path:hsa04310 Wnt signaling\n");
  EXPECT_EXIT(write_kegg_names_file(options), testing::ExitedWithCode(1),
              "list.txt line 1: expected 2 tab-separated columns");
  folder.write("list.txt", "path:hsa04310\t \n");
  EXPECT_EXIT(write_kegg_names_file(options), testing::ExitedWithCode(1),
              "list.txt line 1: pathway path:hsa04310 has no name");
}

TEST(GoNames, EveryNamedTermOnlyNamesWhenNoEdgesAsked) {
  TempDir folder;
  GoOptions options;
  options.obo = folder.write("go.obo",
                             "default-namespace: biological_process\n\n"
                             "[Term]\nid: GO:0000001\nname: root\tprocess ! comment\n\n"
                             "[Term]\nid: GO:0000002\nis_a: GO:0000001\n\n"
                             "[Term]\nid: GO:0000003\nname: obsolete old thing\n"
                             "is_obsolete: true\n\n[Typedef]\nid: part_of\nname: part of\n");
  options.names = folder.file("names.tsv");
  testing::internal::CaptureStdout();
  const GoSummary summary = write_go_edges_file(options);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(folder.read("names.tsv"), "GO:0000001\troot process\nGO:0000003\tobsolete old thing\n");
  EXPECT_EQ(summary.names, 2);
  EXPECT_EQ(summary.terms_without_name, 1);
  // The counts are the edges file's even when it is not written.
  EXPECT_EQ(summary.edges, 1);
  EXPECT_EQ(folder.listing(), (std::vector<std::string>{"go.obo", "names.tsv"}));
}

class EvidenceFilter : public testing::Test {
 protected:
  TempDir folder;
  GafOptions options;

  static std::string row(const char* gene, const char* qualifier, const char* term,
                         const char* evidence) {
    return std::string("UniProtKB\tP\t") + gene + '\t' + qualifier + '\t' + term + "\tPMID:1\t" +
           evidence + "\t\tP\n";
  }

  void SetUp() override {
    options.gaf =
        folder.write("a.gaf", "!gaf-version: 2.2\n" + row("A", "", "GO:1", "IEA") +
                                  row("A", "", "GO:1", "IDA") + row("B", "", "GO:2", "IEA") +
                                  row("C", "NOT", "GO:2", "ND") + row("C", "", "GO:3", "TAS"));
    options.out = folder.file("go_gene.dat");
  }

  GafSummary run() {
    testing::internal::CaptureStdout();
    const GafSummary summary = write_go_gene_file(options);
    testing::internal::GetCapturedStdout();
    return summary;
  }
};

TEST_F(EvidenceFilter, ExcludedCodeDoesNotHideALaterAcceptedAnnotation) {
  options.exclude_evidence = {"IEA"};
  const GafSummary summary = run();
  EXPECT_EQ(data_lines(folder.read("go_gene.dat")),
            (std::vector<std::string>{"IDA A GO:1", "TAS C GO:3"}));
  EXPECT_EQ(summary.excluded, 2);
  EXPECT_EQ(summary.not_chosen, 0);
  EXPECT_EQ(summary.duplicates, 0);
  EXPECT_TRUE(summary.codes_not_seen.empty());
}

TEST_F(EvidenceFilter, KeptCodesAndCodesNoAnnotationCarries) {
  options.evidence = {"IEA", "EXP"};
  options.exclude_evidence = {"ND", "XYZ"};
  const GafSummary summary = run();
  EXPECT_EQ(data_lines(folder.read("go_gene.dat")),
            (std::vector<std::string>{"IEA A GO:1", "IEA B GO:2"}));
  EXPECT_EQ(summary.not_chosen, 2);
  EXPECT_EQ(summary.excluded, 0);
  EXPECT_EQ(summary.negated, 1);
  // ND occurs, if only on a NOT line; EXP and XYZ occur nowhere.
  EXPECT_EQ(summary.codes_not_seen, (std::vector<std::string>{"EXP", "XYZ"}));
}

TEST(EvidenceCodes, CommaSeparatedListWithoutEmptyCodes) {
  EXPECT_EQ(evidence_codes("--evidence", "IEA"), std::vector<std::string>{"IEA"});
  EXPECT_EQ(evidence_codes("--evidence", "EXP,IDA,IMP"),
            (std::vector<std::string>{"EXP", "IDA", "IMP"}));
  for (const char* bad : {"", "IEA,", ",IEA", "IEA,,ND", "IEA, ND"}) {
    EXPECT_EXIT(evidence_codes("--evidence", bad), testing::ExitedWithCode(1),
                "--evidence '.*' is not a comma-separated list")
        << bad;
  }
}

}  // namespace
