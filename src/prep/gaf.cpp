#include "prep/gaf.h"

#include <algorithm>
#include <iostream>
#include <unordered_set>
#include <vector>

#include "cli/fail.h"
#include "prep/output_file.h"
#include "prep/text_input.h"

bool is_negated(const std::string& qualifier) {
  std::size_t start = 0;
  while (start <= qualifier.size()) {
    std::size_t end = qualifier.find('|', start);
    if (end == std::string::npos) end = qualifier.size();
    if (qualifier.compare(start, end - start, "NOT") == 0) return true;
    start = end + 1;
  }
  return false;
}

std::vector<std::string> evidence_codes(const std::string& option, const std::string& list) {
  std::vector<std::string> codes;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = list.find(',', start);
    const std::string code = list.substr(start, end - start);
    if (code.empty() || code.find_first_of(" \t") != std::string::npos) {
      fail_stderr("error: gogene: " + option + " '" + list +
                  "' is not a comma-separated list of evidence codes such as IEA,ND (see "
                  "halvorix-prep gogene --help)");
    }
    codes.push_back(code);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return codes;
}

namespace {

bool contains(const std::vector<std::string>& codes, const std::string& code) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

bool is_go_id(const std::string& text) {
  if (text.size() <= 3 || text.compare(0, 3, "GO:") != 0) return false;
  return text.find_first_not_of("0123456789", 3) == std::string::npos;
}

}  // namespace

GafSummary write_go_gene_file(const GafOptions& options) {
  GafSummary summary;
  LineReader in(options.gaf, prep_wording());
  OutputFile out(options.out);
  out.write(std::string("# evidence gene GO-term, genes by ") +
            (options.use_db_id ? "DB object ID" : "symbol") + "\n");
  std::unordered_set<std::string> written_pairs, genes, terms, codes_seen;
  std::string line;
  std::vector<std::string> columns;
  while (in.read_line(line)) {
    if (line.empty() || line[0] == '!') continue;
    split_tabs(line, columns);
    if (columns.size() < 7) {
      fail_stderr("error: " + in.where() + ": " + std::to_string(columns.size()) +
                  " tab-separated columns; a GAF line has at least 7 (15 to 17)");
    }
    ++summary.annotations;
    const std::string& gene = options.use_db_id ? columns[1] : columns[2];
    const std::string& term = columns[4];
    const std::string& evidence = columns[6];
    if (gene.empty() || has_field_separator(gene)) {
      fail_stderr("error: " + in.where() + ": gene '" + quote_prefix(gene) + "' (column " +
                  (options.use_db_id ? "2" : "3") + ") is empty or has a blank or comma");
    }
    if (!is_go_id(term)) {
      fail_stderr("error: " + in.where() + ": column 5 '" + quote_prefix(term) +
                  "' is not a GO ID (GO:digits)");
    }
    if (evidence.empty() || has_field_separator(evidence)) {
      fail_stderr("error: " + in.where() + ": evidence code (column 7) '" + quote_prefix(evidence) +
                  "' is empty or has a blank or comma");
    }
    codes_seen.insert(evidence);
    if (is_negated(columns[3])) {
      ++summary.negated;
      continue;
    }
    // Before the repeat check: a gene-term pair left out for its evidence code may still enter
    // through another annotation with an accepted code.
    if (!options.evidence.empty() && !contains(options.evidence, evidence)) {
      ++summary.not_chosen;
      continue;
    }
    if (contains(options.exclude_evidence, evidence)) {
      ++summary.excluded;
      continue;
    }
    if (!written_pairs.insert(gene + '\t' + term).second) {
      ++summary.duplicates;
      continue;
    }
    genes.insert(gene);
    terms.insert(term);
    out.write(evidence + ' ' + gene + ' ' + term + '\n');
    ++summary.written;
  }
  // An empty GO-gene file is one halvorix refuses: stop before it is written.
  if (summary.written == 0) {
    fail_stderr("error: " + options.gaf + ": no gene-term annotations to write (" +
                std::to_string(summary.annotations) + " annotations, " +
                std::to_string(summary.negated) + " with NOT)");
  }
  out.commit();
  summary.genes = static_cast<long long>(genes.size());
  summary.terms = static_cast<long long>(terms.size());
  for (const auto* list : {&options.evidence, &options.exclude_evidence}) {
    for (const std::string& code : *list) {
      if (codes_seen.count(code) == 0 && !contains(summary.codes_not_seen, code)) {
        summary.codes_not_seen.push_back(code);
      }
    }
  }
  return summary;
}

namespace {

std::string joined(const std::vector<std::string>& codes) {
  std::string text;
  for (const std::string& code : codes) text += (text.empty() ? "" : ",") + code;
  return text;
}

}  // namespace

void print_gaf_summary(const GafOptions& options, const GafSummary& summary) {
  std::cout << "halvorix-prep gogene\n"
            << "  annotation file       = " << options.gaf << '\n'
            << "  annotations           = " << summary.annotations << '\n'
            << "  NOT qualifier         = " << summary.negated << " (left out)\n";
  if (!options.evidence.empty()) {
    std::cout << "  other evidence        = " << summary.not_chosen << " (left out; kept "
              << joined(options.evidence) << ")\n";
  }
  if (!options.exclude_evidence.empty()) {
    std::cout << "  excluded evidence     = " << summary.excluded << " ("
              << joined(options.exclude_evidence) << ", left out)\n";
  }
  std::cout << "  repeated gene-term    = " << summary.duplicates << " (left out)\n"
            << "  gene-term lines       = " << summary.written << " (" << summary.genes
            << " genes, " << summary.terms << " terms)\n"
            << "  written               = " << options.out << '\n';
  // A misspelt code would otherwise filter nothing, or everything, without a word.
  for (const std::string& code : summary.codes_not_seen) {
    std::cout << "warning: evidence code " << code << " occurs in no annotation of " << options.gaf
              << '\n';
  }
}
