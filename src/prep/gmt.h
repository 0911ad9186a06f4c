// Gene-set files in the GMT layout ("name<TAB>description<TAB>gene<TAB>gene..."): checking and
// normalising a downloaded collection so that halvorix reads every set as its author meant it.
#pragma once

#include <string>
#include <vector>

#include "prep/output_file.h"

/// The set name halvorix can print as one plain token: every blank and comma becomes '_'.
std::string gmt_set_name(const std::string& original);

/// Writes one GMT line. The caller guarantees that no field holds a tab or line break.
void write_gmt_line(OutputFile& out, const std::string& name, const std::string& description,
                    const std::vector<std::string>& genes);

struct GmtOptions {
  std::string gmt;
  std::string gene_map;  ///< optional: a gene_snp file to measure the gene-id coverage against
  std::string names;     ///< optional: written as "name<TAB>original name" for every set
  std::string out;
};

struct GmtSummary {
  long long sets_read = 0;
  long long empty_sets = 0;      ///< no gene at all: left out
  long long repeated_genes = 0;  ///< a gene listed twice in one set: kept once
  long long renamed = 0;         ///< names holding blanks or commas
  long long sets = 0;            ///< written
  long long genes = 0;           ///< distinct genes over the written sets
  long long smallest = 0;        ///< genes of the smallest and largest written set
  long long largest = 0;
  // With a gene map only:
  long long map_genes = 0;         ///< distinct genes of the gene map
  long long genes_in_map = 0;      ///< of `genes`
  long long sets_with_mapped = 0;  ///< of `sets`: at least one gene in the map
};

/// Reads `options.gmt` (plain or gzip), checks it and writes `options.out` (and
/// `options.names`). A line with fewer than three fields, an empty name, a gene holding a blank
/// or comma, or two sets ending with one name stops the run naming file and line.
GmtSummary write_gmt_file(const GmtOptions& options);

void print_gmt_summary(const GmtOptions& options, const GmtSummary& summary);
