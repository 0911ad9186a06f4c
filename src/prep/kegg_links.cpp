#include "prep/kegg_links.h"

#include <iostream>
#include <unordered_set>
#include <vector>

#include "cli/fail.h"
#include "prep/output_file.h"
#include "prep/text_input.h"

namespace {

bool starts_with(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

/// "hsa:ID" with a non-empty ID free of commas.
bool is_human_gene(const std::string& field) {
  return starts_with(field, "hsa:") && field.size() > 4 && field.find(',') == std::string::npos;
}

/// "path:hsa" followed by digits.
bool is_human_pathway(const std::string& field) {
  return starts_with(field, "path:hsa") && field.size() > 8 &&
         field.find_first_not_of("0123456789", 8) == std::string::npos;
}

}  // namespace

KeggSummary write_kegg_file(const KeggOptions& options) {
  KeggSummary summary;
  LineReader in(options.links, prep_wording());
  OutputFile out(options.out);
  out.write("# gene pathway\n");
  std::unordered_set<std::string> links, genes, pathways;
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
    pathways.insert(pathway);
    out.write(gene + ' ' + pathway + '\n');
    ++summary.written;
  }
  // An empty gene-pathway file is one halvorix refuses: stop before it is written.
  if (summary.links == 0) fail_stderr("error: " + options.links + ": no gene-pathway links");
  out.commit();
  summary.genes = static_cast<long long>(genes.size());
  summary.pathways = static_cast<long long>(pathways.size());
  return summary;
}

void print_kegg_summary(const KeggOptions& options, const KeggSummary& summary) {
  std::cout << "halvorix-prep kegg\n"
            << "  link list        = " << options.links << '\n'
            << "  links            = " << summary.links << '\n'
            << "  repeated links   = " << summary.duplicates << " (left out)\n"
            << "  gene-pathway     = " << summary.written << " (" << summary.genes << " genes, "
            << summary.pathways << " pathways)\n"
            << "  written          = " << options.out << '\n';
}
