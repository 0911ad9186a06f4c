#include "prep/gmt.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "cli/fail.h"
#include "conventions.h"
#include "files/tokenize.h"
#include "prep/text_input.h"

std::string gmt_set_name(const std::string& original) {
  std::string name = original;
  for (char& c : name) {
    if (c == ' ' || c == ',') c = '_';
  }
  return name;
}

void write_gmt_line(OutputFile& out, const std::string& name, const std::string& description,
                    const std::vector<std::string>& genes) {
  out.write(name);
  out.write_char('\t');
  out.write(description);
  for (const std::string& gene : genes) {
    out.write_char('\t');
    out.write(gene);
  }
  out.write_char('\n');
}

namespace {

/// The genes of a gene_snp file: its first field, split as halvorix splits it.
std::unordered_set<std::string> load_map_genes(const std::string& path) {
  LineReader in(path, prep_wording());
  std::unordered_set<std::string> genes;
  std::string line;
  std::vector<std::string> fields;
  while (in.read_line(line)) {
    tokenize(line, fields, kFieldDelimiters);
    if (fields.empty() || is_comment(fields)) continue;
    genes.insert(fields[0]);
  }
  return genes;
}

struct NamedSet {
  long line;
  std::string original;
};

/// Stops the run when `name` was already given to a set: two sets under one name would be
/// merged or shadowed downstream, and which one the user meant cannot be guessed.
void claim_name(std::unordered_map<std::string, NamedSet>& taken, const std::string& name,
                const std::string& original, const LineReader& in) {
  const auto inserted = taken.emplace(name, NamedSet{in.line_number, original});
  if (inserted.second) return;
  const NamedSet& first = inserted.first->second;
  const std::string first_line = std::to_string(first.line);
  if (first.original == original) {
    fail_stderr("error: " + in.where() + ": set name '" + original +
                "' already names the set on line " + first_line + "; rename or merge one of them");
  }
  fail_stderr("error: " + in.where() + ": set names '" + original + "' and '" + first.original +
              "' (line " + first_line + ") are both written '" + name +
              "' (blanks and commas to _); rename one of them");
}

}  // namespace

GmtSummary write_gmt_file(const GmtOptions& options) {
  GmtSummary summary;
  std::unordered_set<std::string> map_genes;
  if (!options.gene_map.empty()) {
    map_genes = load_map_genes(options.gene_map);
    summary.map_genes = static_cast<long long>(map_genes.size());
  }
  LineReader in(options.gmt, prep_wording());
  OutputFile out(options.out);
  std::unique_ptr<OutputFile> names;
  if (!options.names.empty()) names = std::make_unique<OutputFile>(options.names);
  std::unordered_map<std::string, NamedSet> taken;
  std::unordered_set<std::string> all_genes, genes_in_map;
  std::string line;
  std::vector<std::string> fields, genes;
  while (in.read_line(line)) {
    if (is_blank(line)) continue;
    split_tabs(line, fields);
    if (fields.size() < 3) {
      fail_stderr("error: " + in.where() + ": " + std::to_string(fields.size()) +
                  " tab-separated field" + (fields.size() == 1 ? "" : "s") +
                  "; a GMT line has a set name, a description and genes");
    }
    ++summary.sets_read;
    const std::string original = trimmed(fields[0]);
    if (original.empty()) fail_stderr("error: " + in.where() + ": the set name is empty");
    const std::string name = gmt_set_name(original);
    claim_name(taken, name, original, in);
    genes.clear();
    std::unordered_set<std::string> in_set;
    for (std::size_t f = 2; f < fields.size(); ++f) {
      std::string gene = trimmed(fields[f]);
      if (gene.empty()) continue;  // trailing tabs: no gene
      if (has_field_separator(gene)) {
        fail_stderr("error: " + in.where() + ": gene '" + gene + "' of set '" + original +
                    "' holds a blank or comma (GMT fields are separated by tabs)");
      }
      if (!in_set.insert(gene).second) {
        ++summary.repeated_genes;
        continue;
      }
      genes.push_back(std::move(gene));
    }
    if (genes.empty()) {
      ++summary.empty_sets;
      continue;
    }
    if (name != original) ++summary.renamed;
    bool mapped = false;
    for (const std::string& gene : genes) {
      all_genes.insert(gene);
      if (map_genes.count(gene) > 0) {
        genes_in_map.insert(gene);
        mapped = true;
      }
    }
    if (mapped) ++summary.sets_with_mapped;
    const auto size = static_cast<long long>(genes.size());
    summary.smallest = summary.sets == 0 ? size : std::min(summary.smallest, size);
    summary.largest = std::max(summary.largest, size);
    ++summary.sets;
    write_gmt_line(out, name, fields[1], genes);
    if (names) names->write(name + '\t' + original + '\n');
  }
  if (summary.sets == 0) {
    fail_stderr("error: " + options.gmt + ": no gene set with at least one gene");
  }
  out.commit();
  if (names) names->commit();
  summary.genes = static_cast<long long>(all_genes.size());
  summary.genes_in_map = static_cast<long long>(genes_in_map.size());
  return summary;
}

namespace {

std::string percent(long long part, long long whole) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f",
                whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole));
  return text;
}

}  // namespace

void print_gmt_summary(const GmtOptions& options, const GmtSummary& summary) {
  std::cout << "halvorix-prep gmt\n"
            << "  gene-set file           = " << options.gmt << '\n'
            << "  sets read               = " << summary.sets_read << '\n'
            << "  empty sets              = " << summary.empty_sets << " (left out)\n"
            << "  repeated genes          = " << summary.repeated_genes << " (kept once)\n"
            << "  renamed sets            = " << summary.renamed << " (blanks and commas to _)\n"
            << "  sets written            = " << summary.sets << " (" << summary.smallest << " to "
            << summary.largest << " genes, " << summary.genes << " distinct genes)\n";
  if (!options.gene_map.empty()) {
    std::cout << "  gene map                = " << options.gene_map << " (" << summary.map_genes
              << " genes)\n"
              << "  genes in the map        = " << summary.genes_in_map << " of " << summary.genes
              << " (" << percent(summary.genes_in_map, summary.genes) << " %)\n"
              << "  sets with a mapped gene = " << summary.sets_with_mapped << " of "
              << summary.sets << '\n';
  }
  std::cout << "  written                 = " << options.out << '\n';
  if (!options.names.empty()) std::cout << "  names                   = " << options.names << '\n';
  if (!options.gene_map.empty() && 2 * summary.genes_in_map < summary.genes) {
    std::cout << "warning: fewer than half of the sets' genes are in " << options.gene_map
              << ": the set file and the gene map probably name genes differently (symbols "
                 "against Entrez or Ensembl ids); sets without a mapped gene drop out of a "
                 "halvorix run\n";
  }
}
