#include "stats/gmt.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <string_view>
#include <unordered_map>

#include "cli/fail.h"
#include "cli/print_banner.h"
#include "conventions.h"
#include "files/line_reader.h"
#include "files/tokenize.h"
#include "stats/set_sizes.h"

namespace {

/// Replaces `fields` by the fields of `line` between single tabs: two tabs in a row enclose an
/// empty field, and blanks belong to the fields (set names and descriptions hold them).
void split_at_tabs(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) return;
    start = tab + 1;
  }
}

bool is_blank_byte(char c) { return c == ' ' || c == '\t'; }

std::string_view trim_blanks(std::string_view text) {
  while (!text.empty() && is_blank_byte(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank_byte(text.back())) text.remove_suffix(1);
  return text;
}

bool is_control_byte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

/// Results print a set's name as one token of a comma-separated line, so it may hold neither
/// blanks nor commas; control bytes would garble the console and the CSV alike.
bool is_plain_name(std::string_view name) {
  return std::none_of(name.begin(), name.end(),
                      [](char c) { return c == ' ' || c == ',' || is_control_byte(c); });
}

/// "line N of file F", as halvorix's other messages name a place.
std::string line_of(const LineReader& in) {
  return "line " + std::to_string(in.line_number) + " of file " + in.path;
}

InputWording gmt_wording() {
  InputWording wording = halvorix_wording("", fail_stderr);
  wording.cannot_open = [](const std::string& path, const std::string& reason) {
    fail_stderr("error: cannot open gene-sets file " + path + ": " + reason);
  };
  return wording;
}

}  // namespace

bool is_web_address(const std::string& text) {
  std::string scheme;
  for (char c : text.substr(0, std::min<std::size_t>(text.size(), 8)))
    scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::size_t length = 0;
  if (scheme.rfind("http://", 0) == 0) length = 7;
  if (scheme.rfind("https://", 0) == 0) length = 8;
  if (length == 0 || text.size() == length) return false;
  return std::none_of(text.begin(), text.end(),
                      [](char c) { return c == ' ' || is_control_byte(c); });
}

GMTData::GMTData() = default;

GMTData::GMTData(const std::string& filename, GENEData& genedat) { makeGMT(filename, genedat); }

void GMTData::makeGMT(const std::string& filename, GENEData& genedat) {
  gene_sets_filename = filename;
  gene_map_filename = genedat.gene_snp_filename;
  sets.clear();
  file_genes = 0;
  mapped_genes = 0;
  load_gene_sets(genedat);
}

void GMTData::load_gene_sets(GENEData& genedat) {
  LineReader in(gene_sets_filename, gmt_wording());
  std::unordered_map<std::string, long> line_of_name;
  // Every distinct gene id of the file gets a number: its index in the gene map (-1 when it
  // is not there) and the last set that held it, which finds a repeat within a set at once.
  std::unordered_map<std::string, std::size_t> gene_number;
  std::vector<int> map_index;
  std::vector<std::size_t> last_set;
  std::string line;
  std::vector<std::string_view> fields;
  while (in.read_line(line)) {
    if (trim_blanks(line).empty() || line[0] == kCommentMarker) continue;
    split_at_tabs(line, fields);
    if (fields.size() < 3)
      fail_stderr("error: expect at least 3 tab-separated fields (name, description, genes) on " +
                  line_of(in) + ", but found " + std::to_string(fields.size()));
    const std::string name(fields[0]);
    if (name.empty()) fail_stderr("error: empty gene-set name on " + line_of(in));
    if (!is_plain_name(name))
      fail_stderr("error: gene-set name \"" + quote_prefix(name) + "\" on " + line_of(in) +
                  " holds a blank, a comma or a control character; halvorix-prep gmt rewrites "
                  "such names and keeps the originals in a names file");
    const auto named = line_of_name.try_emplace(name, in.line_number);
    if (!named.second)
      fail_stderr("error: gene-set name " + quote_prefix(name) + " on " + line_of(in) +
                  " names the set of line " + std::to_string(named.first->second) +
                  " too; every set needs a name of its own");
    GMTSet set{name, std::string(fields[1]), {}, {}, in.line_number};
    const std::size_t set_number = sets.size() + 1;
    for (std::size_t f = 2; f < fields.size(); ++f) {
      const std::string gene(trim_blanks(fields[f]));
      if (gene.empty()) continue;
      const auto numbered = gene_number.try_emplace(gene, map_index.size());
      const std::size_t number = numbered.first->second;
      if (numbered.second) {
        const auto entry = genedat.gene_map.find(gene);
        map_index.push_back(entry == genedat.gene_map.end() ? -1 : entry->second);
        last_set.push_back(0);
        if (map_index.back() >= 0) ++mapped_genes;
      }
      if (last_set[number] == set_number) {
        std::cout << "warning: gene " << quote_prefix(gene) << " repeated in set "
                  << quote_prefix(name) << " on " << line_of(in) << ": counted once\n";
        continue;
      }
      last_set[number] = set_number;
      const int gene_index = map_index[number];
      if (gene_index < 0) continue;
      set.gene.push_back(gene);
      set.gene_index.push_back(gene_index);
      genedat.genevec[static_cast<std::size_t>(gene_index)].used = true;
    }
    sets.push_back(std::move(set));
  }
  // An empty or comments-only file would otherwise run on as zero sets and "succeed".
  if (sets.empty()) fail_no_data_lines(gene_sets_filename, "gene sets: name, description, genes");
  file_genes = map_index.size();
}

bool GMTData::low_coverage() const { return 2 * mapped_genes < file_genes; }

void GMTData::print_summary(const std::string& title) const {
  print_banner(title, 80);
  std::vector<std::size_t> sizes;
  for (const GMTSet& set : sets) sizes.push_back(set.gene.size());
  const auto sets_without_genes = std::count(sizes.begin(), sizes.end(), std::size_t{0});
  std::cout << "gene-sets file = " << gene_sets_filename << '\n';
  print_set_sizes(sizes);
  std::cout << '\n';
  std::cout << "No. sets without a gene in the map = " << sets_without_genes << '\n';
  std::cout << "No. genes in file = " << file_genes << '\n';
  std::cout << "No. genes in the gene map = " << mapped_genes << '\n';
  if (low_coverage()) {
    std::cout << "warning: only " << mapped_genes << " of the " << file_genes << " genes of "
              << gene_sets_filename << " are in the gene map " << gene_map_filename
              << ": the two files probably name genes by different kinds of id (gene symbols "
                 "against Entrez ids, say), and the sets lose every gene not in the map\n";
  }
}
