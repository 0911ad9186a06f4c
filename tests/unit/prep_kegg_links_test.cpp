#include <gtest/gtest.h>

#include "prep/kegg_links.h"
#include "test_support.h"

namespace {

class KeggFile : public testing::Test {
 protected:
  TempDir folder;
  KeggSummary summary;

  std::vector<std::string> run(const std::string& links) {
    KeggOptions options{links, folder.file("kegg_gene.dat")};
    testing::internal::CaptureStdout();
    summary = write_kegg_file(options);
    testing::internal::GetCapturedStdout();
    return data_lines(folder.read("kegg_gene.dat"));
  }
};

}  // namespace

TEST_F(KeggFile, EitherColumnOrderNormalisedAndRepeatsDropped) {
  const std::string links = folder.write("links.txt",
                                         "hsa:10\tpath:hsa00232\npath:hsa00983\thsa:10\n\n# note\n"
                                         "path:hsa00232\thsa:10\nhsa:100\tpath:hsa00232\n");
  EXPECT_EQ(run(links), (std::vector<std::string>{"hsa:10 path:hsa00232", "hsa:10 path:hsa00983",
                                                  "hsa:100 path:hsa00232"}));
  EXPECT_EQ(summary.links, 4);
  EXPECT_EQ(summary.duplicates, 1);
  EXPECT_EQ(summary.pathways, 2);
}

TEST_F(KeggFile, GzipLinksReadLikePlain) {
  EXPECT_EQ(run(folder.write_gzip("links.gz", "path:hsa00010\thsa:3101\n")),
            std::vector<std::string>{"hsa:3101 path:hsa00010"});
}

TEST_F(KeggFile, ForeignOrMalformedLinksNameTheirLine) {
  const std::string mouse = folder.write("a.txt", "hsa:1\tpath:hsa00010\nmmu:1\tpath:hsa00010\n");
  EXPECT_EXIT(run(mouse), testing::ExitedWithCode(1),
              "^error: .*a.txt line 2: 'mmu:1' is not a human KEGG gene");
  const std::string map = folder.write("b.txt", "hsa:1\tpath:map00010\n");
  EXPECT_EXIT(run(map), testing::ExitedWithCode(1),
              "^error: .*b.txt line 1: 'path:map00010' is not a human KEGG pathway");
  const std::string three = folder.write("c.txt", "hsa:1\tpath:hsa00010\textra\n");
  EXPECT_EXIT(run(three), testing::ExitedWithCode(1),
              "^error: .*c.txt line 1: expected 2 columns \\(gene, pathway\\), found 3");
}
