// The GO-gene file from a GAF 2.x annotation file: "evidence gene GO-term" per annotation.
#pragma once

#include <string>

struct GafOptions {
  std::string gaf;
  bool use_db_id = false;  ///< gene named by column 2 (DB object ID) instead of 3 (symbol)
  std::string out;
};

struct GafSummary {
  long long annotations = 0;  ///< data lines read
  long long negated = 0;      ///< qualifier NOT: left out
  long long duplicates = 0;   ///< a gene and term already written: left out
  long long written = 0;
  long long genes = 0;
  long long terms = 0;
};

/// True when the qualifier column (pipe-separated words) holds NOT.
bool is_negated(const std::string& qualifier);

/// Runs the whole conversion and writes `options.out`.
GafSummary write_go_gene_file(const GafOptions& options);

void print_gaf_summary(const GafOptions& options, const GafSummary& summary);
