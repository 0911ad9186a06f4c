#include "stats/kegg.h"

#include <algorithm>
#include <fstream>
#include <iostream>

#include "cli/fail.h"
#include "cli/print_banner.h"
#include "files/tokenize.h"
#include "stats/seen_pairs.h"
#include "stats/set_sizes.h"

namespace {

/// The text after the first `prefix` in `field`; a field without the prefix is taken whole,
/// so files that already use bare identifiers load as well.
std::string text_after(const std::string& field, const std::string& prefix) {
  const std::string::size_type at = field.find(prefix);
  if (at == std::string::npos) return field;
  return field.substr(at + prefix.size());
}

template <class Container>
void print_each_followed_by_comma(const Container& items) {
  for (const auto& item : items) std::cout << item << ", ";
  std::cout << '\n';
}

}  // namespace

KEGGData::KEGGData() = default;

KEGGData::KEGGData(const std::string& filename, GENEData& genedat) { makeKEGG(filename, genedat); }

void KEGGData::makeKEGG(const std::string& filename, GENEData& genedat) {
  kegg_gene_filename = filename;
  max_set_size = 0;
  load_kegg_gene(genedat);
}

void KEGGData::load_kegg_gene(GENEData& genedat) {
  DataLines in(kegg_gene_filename, "error: " + kegg_gene_filename + "not found");
  // Unlike the other inputs, a line without fields in this file stops the run.
  in.skip_blank_lines = false;
  std::vector<std::string> fields;
  SeenPairs seen;
  for (std::size_t k = 0; k < keggvec.size(); ++k)
    seen.insert_all(static_cast<int>(k), keggvec[k].gene_index);
  while (in.next(fields)) {
    if (fields.empty()) fail_stdout("error: empty line in " + kegg_gene_filename);
    const std::string gene = text_after(fields[0], "hsa:");
    const auto gene_entry = genedat.gene_map.find(gene);
    if (gene_entry == genedat.gene_map.end()) continue;
    const int gene_index = gene_entry->second;
    if (fields.size() < 2) fail_stdout("error: missing kegg pathway in" + kegg_gene_filename);
    const std::string pathway = text_after(fields[1], "path:hsa");
    const int kegg_index =
        kegg_map.try_emplace(pathway, static_cast<int>(keggvec.size())).first->second;
    if (static_cast<std::size_t>(kegg_index) == keggvec.size())
      keggvec.push_back(KEGG{pathway, {}, {}});
    // A gene name has one index, so a repeated (pathway, gene index) pair is a repeated gene.
    KEGG& kegg = keggvec[static_cast<std::size_t>(kegg_index)];
    if (!seen.insert(kegg_index, gene_index, kegg.gene_index)) {
      std::cout << "warning: duplicate kegg-gene in file " << kegg_gene_filename << ": skipped "
                << pathway << " - " << gene << '\n';
      continue;
    }
    kegg.gene.push_back(gene);
    kegg.gene_index.push_back(gene_index);
    genedat.genevec[static_cast<std::size_t>(gene_index)].used = true;
  }
  in.require_data_lines("KEGG gene-pathway lines");
}

void KEGGData::print_summary(const std::string& title) const {
  print_banner(title, 80);
  std::vector<std::size_t> sizes;
  for (const auto& pathway : keggvec) sizes.push_back(pathway.gene.size());
  // No newline after the mean: the next report continues this line, as the console layout has
  // always done.
  print_set_sizes(sizes);
}

void KEGGData::print_kegg_map(const std::string& title) const {
  print_banner(title, 80);
  for (const auto& entry : kegg_map)
    std::cout << "kegg_map: " << entry.first << ",  " << entry.second << '\n';
}

void KEGGData::print_keggvec(const std::string& title) const {
  print_banner(title, 80);
  std::cout << "No. KEGG gene sets = " << keggvec.size() << '\n' << '\n';
  for (std::size_t i = 0; i < keggvec.size(); ++i) {
    std::cout << "kegg[" << i << "] = " << keggvec[i].name << ": "
              << " ngene = " << keggvec[i].gene.size() << '\n';
    std::cout << "                       gene : ";
    print_each_followed_by_comma(keggvec[i].gene);
    std::cout << "                 gene_index : ";
    print_each_followed_by_comma(keggvec[i].gene_index);
  }
}
