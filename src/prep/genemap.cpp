#include "prep/genemap.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <map>
#include <utility>

#include "cli/fail.h"
#include "prep/output_file.h"
#include "prep/plink.h"
#include "prep/text_input.h"
#include "prep/vcf.h"

namespace {

/// Largest base-pair position taken, far beyond any chromosome: a position plus or minus the
/// window (at most 2e9) then never leaves the range of long long.
constexpr long long kMaxPosition = 1000000000000LL;

bool parse_position(const std::string& text, long long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && value >= 0 && value <= kMaxPosition;
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

/// SNP positions of one chromosome, ascending, with the SNP's .bim index.
using PositionIndex = std::vector<std::pair<long long, std::size_t>>;

}  // namespace

std::string normalise_chromosome(const std::string& name) {
  std::string text = upper(name);
  if (text.compare(0, 3, "CHR") == 0) text.erase(0, 3);
  if (text == "X") return "23";
  if (text == "Y") return "24";
  if (text == "XY") return "25";
  if (text == "M" || text == "MT") return "26";
  const std::size_t first = text.find_first_not_of('0');
  if (first == std::string::npos) return text.empty() ? text : "0";
  return text.substr(first);
}

std::vector<GeneRegion> load_gene_list(const std::string& path) {
  LineReader in(path, prep_wording());
  std::vector<GeneRegion> genes;
  std::string line;
  std::vector<std::string> fields;
  while (in.read_line(line)) {
    split_whitespace(line, fields);
    if (fields.empty() || fields[0][0] == '#') continue;
    if (fields.size() < 4) {
      fail_stderr("error: " + in.where() + ": expected 4 columns (CHR BP1 BP2 GENE), found " +
                  std::to_string(fields.size()));
    }
    GeneRegion gene;
    gene.chromosome = normalise_chromosome(fields[0]);
    gene.name = fields[3];
    if (!parse_position(fields[1], gene.start) || !parse_position(fields[2], gene.end)) {
      fail_stderr("error: " + in.where() + ": gene positions '" + quote_prefix(fields[1]) +
                  "' and '" + quote_prefix(fields[2]) +
                  "' must be whole numbers of base pairs from 0 to " +
                  std::to_string(kMaxPosition));
    }
    if (gene.end < gene.start) {
      fail_stderr("error: " + in.where() + ": gene " + gene.name + " ends (" + fields[2] +
                  ") before it starts (" + fields[1] + ")");
    }
    if (has_field_separator(gene.name)) {
      fail_stderr("error: " + in.where() + ": gene name '" + quote_prefix(gene.name) +
                  "' contains a comma, which Halvorix would split");
    }
    genes.push_back(std::move(gene));
  }
  if (genes.empty()) fail_stderr("error: " + path + ": no gene lines");
  return genes;
}

long long distance_to_gene(long long position, const GeneRegion& gene) {
  if (position < gene.start) return position - gene.start;
  if (position > gene.end) return position - gene.end;
  return 0;
}

namespace {

/// Groups the .bim SNPs by chromosome, sorted by position; every chromosome must be one the gene
/// list knows, except 0 (no position), whose SNPs are counted and left out.
std::map<std::string, PositionIndex> index_snps(const std::string& bim_path, const VcfSites& sites,
                                                const std::vector<GeneRegion>& genes,
                                                const std::string& genes_path,
                                                GenemapSummary& summary) {
  std::map<std::string, PositionIndex> by_chromosome;
  for (const GeneRegion& gene : genes) by_chromosome[gene.chromosome];
  const std::vector<BimRecord>& bim = sites.snps;
  for (std::size_t i = 0; i < bim.size(); ++i) {
    const std::string chromosome = normalise_chromosome(bim[i].chromosome);
    if (chromosome == "0") {
      ++summary.snps_unplaced;
      continue;
    }
    const auto found = by_chromosome.find(chromosome);
    if (found == by_chromosome.end()) {
      const long long number =
          sites.numbers.empty() ? static_cast<long long>(i + 1) : sites.numbers[i];
      fail_stderr("error: " + bim_path + ' ' + sites.unit + ' ' + std::to_string(number) +
                  ": chromosome " + bim[i].chromosome + " (SNP " + bim[i].snp_id +
                  ") is not in the gene list " + genes_path +
                  "; leave out its SNPs or add its genes");
    }
    if (bim[i].position < -kMaxPosition || bim[i].position > kMaxPosition) {
      fail_stderr("error: " + bim_path + " line " + std::to_string(i + 1) + ": position " +
                  std::to_string(bim[i].position) + " of SNP " + bim[i].snp_id +
                  " is beyond any chromosome (at most " + std::to_string(kMaxPosition) + ")");
    }
    found->second.emplace_back(bim[i].position, i);
  }
  for (auto& entry : by_chromosome) std::sort(entry.second.begin(), entry.second.end());
  return by_chromosome;
}

}  // namespace

GenemapSummary write_gene_snp_file(const GenemapOptions& options) {
  GenemapSummary summary;
  const std::vector<GeneRegion> genes = load_gene_list(options.genes);
  VcfSites sites;
  if (options.vcf.empty()) {
    sites.snps = load_bim(options.bim);
  } else {
    sites = load_vcf_sites(options.vcf);
    summary.multiallelic = sites.multiallelic;
  }
  const std::vector<BimRecord>& bim = sites.snps;
  summary.genes = static_cast<long long>(genes.size());
  summary.snps = static_cast<long long>(bim.size());
  const std::map<std::string, PositionIndex> snps = index_snps(
      options.vcf.empty() ? options.bim : options.vcf, sites, genes, options.genes, summary);

  std::vector<bool> in_some_gene(bim.size(), false);
  OutputFile out(options.out);
  out.write(
      "# gene snp distance (bp; 0 inside the gene, negative before it, positive after), "
      "window " +
      std::to_string(options.window) + "\n");
  for (const GeneRegion& gene : genes) {
    const PositionIndex& positions = snps.at(gene.chromosome);
    auto it = std::lower_bound(positions.begin(), positions.end(),
                               std::make_pair(gene.start - options.window, std::size_t{0}));
    bool any = false;
    for (; it != positions.end() && it->first <= gene.end + options.window; ++it) {
      out.write(gene.name + ' ' + bim[it->second].snp_id + ' ' +
                std::to_string(distance_to_gene(it->first, gene)) + '\n');
      in_some_gene[it->second] = true;
      any = true;
      ++summary.lines;
    }
    if (any) ++summary.genes_with_snps;
  }
  // An empty gene map is one halvorix refuses: stop before it is written.
  if (summary.lines == 0) {
    fail_stderr("error: no SNP of " + (options.vcf.empty() ? options.bim : options.vcf) +
                " lies within " + std::to_string(options.window) + " bp of a gene of " +
                options.genes + ", so the gene map would be empty");
  }
  out.commit();
  summary.snps_in_no_gene =
      static_cast<long long>(std::count(in_some_gene.begin(), in_some_gene.end(), false)) -
      summary.snps_unplaced;
  return summary;
}

void print_genemap_summary(const GenemapOptions& options, const GenemapSummary& summary) {
  std::cout << "halvorix-prep genemap\n"
            << "  gene list          = " << options.genes << '\n'
            << "  genes              = " << summary.genes << '\n'
            << "  genes with SNPs    = " << summary.genes_with_snps << '\n'
            << (options.vcf.empty() ? "  .bim               = " + options.bim
                                    : "  VCF                = " + options.vcf)
            << '\n'
            << "  SNPs               = " << summary.snps << '\n';
  if (!options.vcf.empty()) {
    std::cout << "  multi-allelic      = " << summary.multiallelic
              << " (left out, as from the scores)\n";
  }
  std::cout << "  SNPs, chromosome 0 = " << summary.snps_unplaced << " (no position, left out)\n"
            << "  SNPs in no gene    = " << summary.snps_in_no_gene << '\n'
            << "  window             = " << options.window << " bp\n"
            << "  gene-SNP lines     = " << summary.lines << '\n'
            << "  written            = " << options.out << '\n';
}
