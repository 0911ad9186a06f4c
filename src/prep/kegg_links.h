// The KEGG file from a KEGG gene-pathway link list ("hsa:10<TAB>path:hsa00232", either order),
// written in halvorix's KEGG layout or as GMT, and the names file from a KEGG pathway list.
#pragma once

#include <string>

struct KeggOptions {
  std::string links;
  std::string out;
  bool gmt = false;   ///< write GMT: one line per pathway instead of one per link
  std::string list;   ///< KEGG pathway list ("path:hsa04310<TAB>Wnt signaling pathway - ...")
  std::string names;  ///< names file from `list`: "04310<TAB>Wnt signaling pathway"
};

struct KeggSummary {
  long long links = 0;
  long long duplicates = 0;
  long long written = 0;
  long long genes = 0;
  long long pathways = 0;
};

struct KeggNamesSummary {
  long long pathways = 0;
  long long repeats = 0;  ///< the same pathway and name again: left out
};

/// The web page of a human pathway, "https://www.kegg.jp/pathway/hsa" and its number: the
/// description of each set of the GMT form.
std::string kegg_pathway_page(const std::string& number);

/// The pathway's name without KEGG's organism suffix (" - Homo sapiens (human)"), which is the
/// same on every line and only lengthens figure labels.
std::string kegg_pathway_title(const std::string& listed);

/// Runs the whole conversion and writes `options.out`.
KeggSummary write_kegg_file(const KeggOptions& options);

/// Reads `options.list` and writes `options.names`, pathways named by their number as halvorix
/// names KEGG sets ("04310"). A repeated pathway with another name stops the run.
KeggNamesSummary write_kegg_names_file(const KeggOptions& options);

void print_kegg_summary(const KeggOptions& options, const KeggSummary& summary);

/// Continues the links' summary when both were written.
void print_kegg_names_summary(const KeggOptions& options, const KeggNamesSummary& summary);
