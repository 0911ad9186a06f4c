#include "prep/kegg_links.h"

#include <cstring>
#include <iostream>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "cli/fail.h"
#include "prep/gmt.h"
#include "prep/output_file.h"
#include "prep/text_input.h"

namespace {

bool starts_with(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool ends_with(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

/// "hsa:ID" with a non-empty ID free of commas.
bool is_human_gene(const std::string& field) {
  return starts_with(field, "hsa:") && field.size() > 4 && field.find(',') == std::string::npos;
}

bool all_digits(const std::string& text, std::size_t from) {
  return text.size() > from && text.find_first_not_of("0123456789", from) == std::string::npos;
}

/// "path:hsa" followed by digits.
bool is_human_pathway(const std::string& field) {
  return starts_with(field, "path:hsa") && all_digits(field, 8);
}

/// One pathway of the GMT form, its genes in the order of their first link.
struct Pathway {
  std::string number;
  std::vector<std::string> genes;
};

}  // namespace

std::string kegg_pathway_page(const std::string& number) {
  return "https://www.kegg.jp/pathway/hsa" + number;
}

std::string kegg_pathway_title(const std::string& listed) {
  for (const char* suffix : {" - Homo sapiens (human)", " - Homo sapiens"}) {
    if (ends_with(listed, suffix)) return listed.substr(0, listed.size() - std::strlen(suffix));
  }
  return listed;
}

KeggSummary write_kegg_file(const KeggOptions& options) {
  KeggSummary summary;
  LineReader in(options.links, prep_wording());
  OutputFile out(options.out);
  if (!options.gmt) out.write("# gene pathway\n");
  std::unordered_set<std::string> links, genes;
  std::unordered_map<std::string, std::size_t> pathway_index;
  std::vector<Pathway> pathways;
  std::string line;
  std::vector<std::string> fields;
  while (in.read_line(line)) {
    split_whitespace(line, fields);
    if (fields.empty() || fields[0][0] == '#') continue;
    if (fields.size() != 2) {
      fail_stderr("error: " + in.where() + ": expected 2 columns (gene, pathway), found " +
                  std::to_string(fields.size()));
    }
    ++summary.links;
    // The link list may come gene first or pathway first; the "path:" prefix tells them apart.
    const bool pathway_first = starts_with(fields[0], "path:");
    const std::string& gene = pathway_first ? fields[1] : fields[0];
    const std::string& pathway = pathway_first ? fields[0] : fields[1];
    if (!is_human_gene(gene)) {
      fail_stderr("error: " + in.where() + ": '" + quote_prefix(gene) +
                  "' is not a human KEGG gene (hsa:ID)");
    }
    if (!is_human_pathway(pathway)) {
      fail_stderr("error: " + in.where() + ": '" + quote_prefix(pathway) +
                  "' is not a human KEGG pathway (path:hsa followed by digits)");
    }
    if (!links.insert(gene + '\t' + pathway).second) {
      ++summary.duplicates;
      continue;
    }
    genes.insert(gene);
    const auto found = pathway_index.emplace(pathway, pathways.size());
    if (found.second) pathways.push_back({pathway.substr(8), {}});
    ++summary.written;
    // The GMT form names genes and pathways as halvorix's KEGG road does: the text after
    // "hsa:" and "path:hsa", so that both roads find the same sets under the same names.
    if (options.gmt) {
      pathways[found.first->second].genes.push_back(gene.substr(4));
    } else {
      out.write(gene + ' ' + pathway + '\n');
    }
  }
  if (options.gmt) {
    for (const Pathway& pathway : pathways) {
      write_gmt_line(out, pathway.number, kegg_pathway_page(pathway.number), pathway.genes);
    }
  }
  // An empty gene-pathway file is one halvorix refuses: stop before it is written.
  if (summary.links == 0) fail_stderr("error: " + options.links + ": no gene-pathway links");
  out.commit();
  summary.genes = static_cast<long long>(genes.size());
  summary.pathways = static_cast<long long>(pathways.size());
  return summary;
}

KeggNamesSummary write_kegg_names_file(const KeggOptions& options) {
  KeggNamesSummary summary;
  LineReader in(options.list, prep_wording());
  OutputFile out(options.names);
  struct Listed {
    std::string title;
    long line;
  };
  std::unordered_map<std::string, Listed> seen;
  std::string line;
  std::vector<std::string> fields;
  while (in.read_line(line)) {
    if (is_blank(line) || line[line.find_first_not_of(" \t")] == '#') continue;
    split_tabs(line, fields);
    if (fields.size() != 2) {
      fail_stderr("error: " + in.where() + ": expected 2 tab-separated columns (pathway, name), " +
                  "found " + std::to_string(fields.size()));
    }
    const std::string& id = fields[0];
    // KEGG lists pathways as path:hsa04310 or, in newer lists, hsa04310.
    const std::size_t digits = starts_with(id, "path:hsa") ? 8 : starts_with(id, "hsa") ? 3 : 0;
    if (digits == 0 || !all_digits(id, digits)) {
      fail_stderr("error: " + in.where() + ": '" + id +
                  "' is not a human KEGG pathway (path:hsa or hsa followed by digits)");
    }
    const std::string number = id.substr(digits);
    const std::string title = kegg_pathway_title(trimmed(fields[1]));
    if (title.empty()) fail_stderr("error: " + in.where() + ": pathway " + id + " has no name");
    const auto inserted = seen.emplace(number, Listed{title, in.line_number});
    if (!inserted.second) {
      if (inserted.first->second.title == title) {
        ++summary.repeats;
        continue;
      }
      fail_stderr("error: " + in.where() + ": pathway " + id + " is named '" + title + "', but '" +
                  inserted.first->second.title + "' on line " +
                  std::to_string(inserted.first->second.line));
    }
    out.write(number + '\t' + title + '\n');
    ++summary.pathways;
  }
  out.commit();
  return summary;
}

void print_kegg_summary(const KeggOptions& options, const KeggSummary& summary) {
  std::cout << "halvorix-prep kegg\n"
            << "  link list        = " << options.links << '\n'
            << "  links            = " << summary.links << '\n'
            << "  repeated links   = " << summary.duplicates << " (left out)\n"
            << "  gene-pathway     = " << summary.written << " (" << summary.genes << " genes, "
            << summary.pathways << " pathways)\n"
            << "  written          = " << options.out << (options.gmt ? " (GMT)" : "") << '\n';
}

void print_kegg_names_summary(const KeggOptions& options, const KeggNamesSummary& summary) {
  if (options.links.empty()) std::cout << "halvorix-prep kegg\n";
  std::cout << "  pathway list     = " << options.list << '\n'
            << "  pathways         = " << summary.pathways << '\n'
            << "  repeated         = " << summary.repeats << " (left out)\n"
            << "  names written    = " << options.names << '\n';
}
