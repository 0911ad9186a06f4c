#include "prep/obo.h"

#include <iostream>
#include <memory>
#include <unordered_map>

#include "cli/fail.h"
#include "prep/output_file.h"
#include "prep/text_input.h"

namespace {

/// Splits "tag: value ! comment" into tag and value, the comment and trailing blanks dropped.
bool split_tag(const std::string& line, std::string& tag, std::string& value) {
  const std::size_t colon = line.find(':');
  if (colon == std::string::npos) return false;
  tag = line.substr(0, colon);
  std::size_t end = line.find(" !", colon);
  if (end == std::string::npos) end = line.size();
  const std::size_t start = line.find_first_not_of(" \t", colon + 1);
  value = start < end ? line.substr(start, end - start) : "";
  const std::size_t last = value.find_last_not_of(" \t");
  value.erase(last == std::string::npos ? 0 : last + 1);
  return true;
}

void finish_term(OboTerm& term, const std::string& default_namespace, const std::string& path,
                 std::vector<OboTerm>& terms) {
  if (term.id.empty()) {
    fail_stderr("error: " + path + " line " + std::to_string(term.line) + ": [Term] without id");
  }
  if (term.name_space.empty()) term.name_space = default_namespace;
  if (term.name_space.empty()) {
    fail_stderr("error: " + path + " line " + std::to_string(term.line) + ": term " + term.id +
                " has no namespace, and the header sets no default-namespace");
  }
  if (has_field_separator(term.name_space)) {
    fail_stderr("error: " + path + " line " + std::to_string(term.line) + ": term " + term.id +
                " has the default-namespace '" + term.name_space +
                "', which contains a blank, tab or comma that Halvorix would split");
  }
  terms.push_back(std::move(term));
}

/// Reads the relation line of a term: "is_a: PARENT" or "relationship: RELATION PARENT".
void add_edge(const LineReader& in, const std::string& tag, const std::string& value,
              OboTerm& term) {
  std::vector<std::string> words;
  split_whitespace(value, words);
  OboEdge edge;
  edge.line = in.line_number;
  if (tag == "is_a" && !words.empty()) {
    edge.relation = "is_a";
    edge.parent = words[0];
  } else if (tag == "relationship" && words.size() >= 2) {
    edge.relation = words[0];
    edge.parent = words[1];
  } else {
    fail_stderr("error: " + in.where() + ": malformed " + tag + " line");
  }
  if (has_field_separator(edge.relation) || has_field_separator(edge.parent)) {
    fail_stderr("error: " + in.where() + ": term names with commas cannot be written");
  }
  term.edges.push_back(std::move(edge));
}

}  // namespace

Ontology load_obo(const std::string& path) {
  LineReader in(path, prep_wording());
  Ontology ontology;
  std::string default_namespace;
  std::string line, tag, value;
  OboTerm term;
  bool in_term = false;
  bool in_header = true;
  while (in.read_line(line)) {
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '!') continue;
    if (line[first] == '[') {
      if (in_term) finish_term(term, default_namespace, path, ontology.terms);
      in_header = false;
      in_term = line.compare(first, 6, "[Term]") == 0;
      if (!in_term) ++ontology.other_stanzas;
      term = OboTerm();
      term.line = in.line_number;
      continue;
    }
    if (!split_tag(line.substr(first), tag, value)) continue;
    if (in_header && tag == "default-namespace") default_namespace = value;
    if (!in_term) continue;
    if (tag == "id" || tag == "namespace") {
      // Written as one field of the edges file: a separator inside would split it there.
      if (has_field_separator(value)) {
        fail_stderr("error: " + in.where() + ": " + tag + " '" + quote_prefix(value) +
                    "' contains a blank, tab or comma, which Halvorix would split");
      }
      (tag == "id" ? term.id : term.name_space) = value;
    } else if (tag == "name") {
      // A tab would split the two-column names file.
      term.name = value;
      for (char& c : term.name) {
        if (c == '\t') c = ' ';
      }
    } else if (tag == "is_obsolete") {
      term.obsolete = value == "true";
    } else if (tag == "is_a" || tag == "relationship") {
      add_edge(in, tag, value, term);
    }
  }
  if (in_term) finish_term(term, default_namespace, path, ontology.terms);
  return ontology;
}

namespace {

/// Counts the terms and edges, and writes the edges to `path` unless it is empty.
void write_edges(const Ontology& ontology, const std::string& ontology_file,
                 const std::unordered_map<std::string, std::size_t>& index, const std::string& path,
                 GoSummary& summary) {
  std::unique_ptr<OutputFile> out;
  if (!path.empty()) {
    out = std::make_unique<OutputFile>(path);
    out->write("# namespace child relation parent\n");
  }
  for (const OboTerm& term : ontology.terms) {
    if (term.obsolete) {
      ++summary.obsolete_terms;
      continue;
    }
    ++summary.terms;
    for (const OboEdge& edge : term.edges) {
      const auto parent = index.find(edge.parent);
      if (parent == index.end()) {
        ++summary.edges_to_unknown;
      } else if (ontology.terms[parent->second].obsolete) {
        ++summary.edges_to_obsolete;
      } else {
        if (out)
          out->write(term.name_space + ' ' + term.id + ' ' + edge.relation + ' ' + edge.parent +
                     '\n');
        ++summary.edges;
      }
    }
  }
  if (!out) return;
  // An empty edges file is one halvorix refuses: stop before it is written.
  if (summary.edges == 0) {
    fail_stderr("error: " + ontology_file + ": no edges between current terms (" +
                std::to_string(summary.terms) + " terms)");
  }
  out->commit();
}

}  // namespace

GoSummary write_go_edges_file(const GoOptions& options) {
  const Ontology ontology = load_obo(options.obo);
  GoSummary summary;
  summary.other_stanzas = ontology.other_stanzas;
  std::unordered_map<std::string, std::size_t> index;
  for (std::size_t i = 0; i < ontology.terms.size(); ++i) {
    const auto inserted = index.emplace(ontology.terms[i].id, i);
    if (!inserted.second) {
      fail_stderr("error: " + options.obo + " line " + std::to_string(ontology.terms[i].line) +
                  ": term " + ontology.terms[i].id + " already defined on line " +
                  std::to_string(ontology.terms[inserted.first->second].line));
    }
  }
  write_edges(ontology, options.obo, index, options.out, summary);
  if (!options.names.empty()) {
    OutputFile names(options.names);
    for (const OboTerm& term : ontology.terms) {
      if (term.name.empty()) {
        ++summary.terms_without_name;
        continue;
      }
      names.write(term.id + '\t' + term.name + '\n');
      ++summary.names;
    }
    names.commit();
  }
  return summary;
}

void print_go_summary(const GoOptions& options, const GoSummary& summary) {
  std::cout << "halvorix-prep go\n"
            << "  ontology               = " << options.obo << '\n'
            << "  terms                  = " << summary.terms << '\n'
            << "  obsolete terms         = " << summary.obsolete_terms << " (left out)\n"
            << "  edges                  = " << summary.edges << '\n'
            << "  edges to obsolete term = " << summary.edges_to_obsolete << " (left out)\n"
            << "  edges to unknown term  = " << summary.edges_to_unknown << " (left out)\n"
            << "  other stanzas          = " << summary.other_stanzas << " (ignored)\n";
  if (!options.out.empty()) std::cout << "  written                = " << options.out << '\n';
  if (!options.names.empty()) {
    std::cout << "  term names             = " << summary.names << " ("
              << summary.terms_without_name << " terms without a name)\n"
              << "  names written          = " << options.names << '\n';
  }
}
