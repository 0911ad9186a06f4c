// The GO edges file from an OBO ontology: one line per is_a and relationship of every term.
#pragma once

#include <string>
#include <vector>

struct OboEdge {
  std::string relation;  ///< "is_a", "part_of", "regulates", "has_part", ...
  std::string parent;    ///< the term the relation points to
  long line = 0;
};

struct OboTerm {
  std::string id;
  std::string name_space;  ///< "namespace" is a keyword
  std::string name;        ///< what people call it ("apoptotic process"); may be empty
  bool obsolete = false;
  std::vector<OboEdge> edges;
  long line = 0;  ///< where its [Term] stanza starts
};

struct Ontology {
  std::vector<OboTerm> terms;  ///< in file order
  long other_stanzas = 0;      ///< [Typedef] and [Instance] stanzas, not needed
};

/// Reads the [Term] stanzas of an OBO file. A term without id or namespace (and no
/// default-namespace in the header), a repeated id or a malformed relation line stops the run.
Ontology load_obo(const std::string& path);

struct GoOptions {
  std::string obo;
  std::string out;    ///< the edges file; empty when only names are asked for
  std::string names;  ///< "GO:0006915<TAB>apoptotic process" per named term; may be empty
};

struct GoSummary {
  long long terms = 0;
  long long obsolete_terms = 0;
  long long edges = 0;
  long long edges_to_obsolete = 0;
  long long edges_to_unknown = 0;  ///< targets not defined as a term in the file
  long long other_stanzas = 0;
  long long names = 0;  ///< lines of the names file
  long long terms_without_name = 0;
};

/// Runs the whole conversion and writes `options.out` and/or `options.names`. Obsolete terms
/// keep their name there: annotations may still point at them.
GoSummary write_go_edges_file(const GoOptions& options);

void print_go_summary(const GoOptions& options, const GoSummary& summary);
