// The GO-gene file from a GAF 2.x annotation file: "evidence gene GO-term" per annotation.
#pragma once

#include <string>
#include <vector>

struct GafOptions {
  std::string gaf;
  bool use_db_id = false;  ///< gene named by column 2 (DB object ID) instead of 3 (symbol)
  std::vector<std::string> evidence;          ///< only these codes are kept, when not empty
  std::vector<std::string> exclude_evidence;  ///< these codes are left out
  std::string out;
};

struct GafSummary {
  long long annotations = 0;  ///< data lines read
  long long negated = 0;      ///< qualifier NOT: left out
  long long not_chosen = 0;   ///< evidence not among `evidence`: left out
  long long excluded = 0;     ///< evidence among `exclude_evidence`: left out
  long long duplicates = 0;   ///< a gene and term already written: left out
  long long written = 0;
  long long genes = 0;
  long long terms = 0;
  std::vector<std::string> codes_not_seen;  ///< codes of either list that no line carries
};

/// The codes of a comma-separated list ("IEA,ND"); an empty code or a blank stops the run.
std::vector<std::string> evidence_codes(const std::string& option, const std::string& list);

/// True when the qualifier column (pipe-separated words) holds NOT.
bool is_negated(const std::string& qualifier);

/// Runs the whole conversion and writes `options.out`.
GafSummary write_go_gene_file(const GafOptions& options);

void print_gaf_summary(const GafOptions& options, const GafSummary& summary);
