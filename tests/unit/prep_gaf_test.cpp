#include <gtest/gtest.h>

#include "prep/gaf.h"
#include "test_support.h"

namespace {

std::string gaf_line(const std::string& id, const std::string& symbol, const std::string& qualifier,
                     const std::string& term, const std::string& evidence) {
  return "UniProtKB\t" + id + "\t" + symbol + "\t" + qualifier + "\t" + term + "\tPMID:1\t" +
         evidence + "\t\tP\tname\t\tprotein\ttaxon:9606\t20240101\tUniProt\t\t\n";
}

const std::string kAnnotations = "!gaf-version: 2.2\n!generated for a test\n" +
                                 gaf_line("P1", "ABC1", "involved_in", "GO:0000001", "IDA") +
                                 gaf_line("P2", "XYZ", "NOT|involved_in", "GO:0000001", "IMP") +
                                 gaf_line("P2", "XYZ", "NOT", "GO:0000002", "IEA") +
                                 gaf_line("P2", "XYZ", "contributes_to", "GO:0000002", "IBA") +
                                 gaf_line("P1", "ABC1", "involved_in", "GO:0000001", "IEA") +
                                 gaf_line("P3", "NOTCH1", "", "GO:0000003", "TAS");

class GoGeneFile : public testing::Test {
 protected:
  TempDir folder;
  GafOptions options;
  GafSummary summary;

  std::vector<std::string> run() {
    options.out = folder.file("go_gene.dat");
    testing::internal::CaptureStdout();
    summary = write_go_gene_file(options);
    testing::internal::GetCapturedStdout();
    return data_lines(folder.read("go_gene.dat"));
  }
};

}  // namespace

TEST(GafQualifier, NotIsAWholeWordOfThePipeList) {
  EXPECT_TRUE(is_negated("NOT"));
  EXPECT_TRUE(is_negated("NOT|enables"));
  EXPECT_TRUE(is_negated("colocalizes_with|NOT"));
  EXPECT_FALSE(is_negated("NOTE"));
  EXPECT_FALSE(is_negated(""));
}

TEST_F(GoGeneFile, NegatedAndRepeatedAnnotationsAreLeftOut) {
  options.gaf = folder.write("a.gaf", kAnnotations);
  EXPECT_EQ(run(), (std::vector<std::string>{"IDA ABC1 GO:0000001", "IBA XYZ GO:0000002",
                                             "TAS NOTCH1 GO:0000003"}));
  EXPECT_EQ(summary.annotations, 6);
  EXPECT_EQ(summary.negated, 2);
  EXPECT_EQ(summary.duplicates, 1);
}

TEST_F(GoGeneFile, DbObjectIdsFromGzipInput) {
  options.gaf = folder.write_gzip("a.gaf.gz", kAnnotations);
  options.use_db_id = true;
  EXPECT_EQ(run(), (std::vector<std::string>{"IDA P1 GO:0000001", "IBA P2 GO:0000002",
                                             "TAS P3 GO:0000003"}));
}

TEST_F(GoGeneFile, MalformedLinesNameTheirLine) {
  options.gaf = folder.write("a.gaf", "!gaf-version: 2.2\nUniProtKB\tP1\tABC1\t\tGO:1\n");
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              "^error: .*a.gaf line 2: 5 tab-separated columns; a GAF line has at least 7");
  folder.write("a.gaf", gaf_line("P1", "ABC1", "", "GO:000000X", "IDA"));
  EXPECT_EXIT(run(), testing::ExitedWithCode(1), "a.gaf line 1: column 5 'GO:000000X' is not");
  folder.write("a.gaf", gaf_line("P1", "", "", "GO:0000001", "IDA"));
  EXPECT_EXIT(run(), testing::ExitedWithCode(1), "a.gaf line 1: gene '' \\(column 3\\)");
}
