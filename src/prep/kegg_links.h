// The KEGG file from a KEGG gene-pathway link list ("hsa:10<TAB>path:hsa00232", either order).
#pragma once

#include <string>

struct KeggOptions {
  std::string links;
  std::string out;
};

struct KeggSummary {
  long long links = 0;
  long long duplicates = 0;
  long long written = 0;
  long long genes = 0;
  long long pathways = 0;
};

/// Runs the whole conversion and writes `options.out`.
KeggSummary write_kegg_file(const KeggOptions& options);

void print_kegg_summary(const KeggOptions& options, const KeggSummary& summary);
