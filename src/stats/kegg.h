// KEGG pathways: one flat gene set per pathway, restricted to the genes of the gene-SNP map.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "stats/gene.h"

struct KEGG {
  std::string name;               ///< pathway number (text after "path:hsa")
  std::vector<std::string> gene;  ///< genes in order of first appearance
  std::vector<int> gene_index;    ///< parallel to gene: index in GENEData::genevec
};

class KEGGData {
 public:
  std::string kegg_gene_filename;
  std::map<std::string, int> kegg_map;  ///< pathway name -> index in keggvec
  std::vector<KEGG> keggvec;            ///< in order of the first line with a kept gene
  int max_set_size = 0;                 ///< kept for compatibility; not read

  KEGGData();
  KEGGData(const std::string& filename, GENEData& genedat);
  void makeKEGG(const std::string& filename, GENEData& genedat);
  void load_kegg_gene(GENEData& genedat);

  void print_summary(const std::string& title) const;
  void print_kegg_map(const std::string& title) const;
  void print_keggvec(const std::string& title) const;
};
