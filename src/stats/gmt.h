// Gene sets from a GMT file: one set per line, tab-separated, the set's name, a description
// (often its web page) and its genes. The sets keep the genes of the gene-SNP map only.
#pragma once

#include <string>
#include <vector>

#include "stats/gene.h"

struct GMTSet {
  std::string name;
  std::string description;        ///< as written; the HTML links it when it is a web address
  std::vector<std::string> gene;  ///< genes of the gene map, in file order, each once
  std::vector<int> gene_index;    ///< parallel to gene: index in GENEData::genevec
  long line = 0;                  ///< line of the file that holds the set
};

class GMTData {
 public:
  std::string gene_sets_filename;
  std::string gene_map_filename;  ///< the gene map the genes were looked up in, for messages
  std::vector<GMTSet> sets;       ///< every set of the file, in file order
  std::size_t file_genes = 0;     ///< distinct gene ids of the file
  std::size_t mapped_genes = 0;   ///< of these, the ones in the gene map

  GMTData();
  GMTData(const std::string& filename, GENEData& genedat);
  void makeGMT(const std::string& filename, GENEData& genedat);
  void load_gene_sets(GENEData& genedat);

  /// True when fewer than half of the file's genes are in the gene map.
  bool low_coverage() const;
  void print_summary(const std::string& title) const;
};

/// True for an http or https address without blanks or control bytes: such a description
/// becomes the set's link in the HTML report.
bool is_web_address(const std::string& text);
