// halvorix_make_data: writes a seeded synthetic input set for halvorix (SNP scores,
// gene-SNP map, GO edges, GO-gene annotation and KEGG pathways) with a planted
// association, for the example folder, the end-to-end runs and the benchmarks.
//
// Every number comes from the small generator below and plain IEEE arithmetic
// (+, -, *, /, sqrt, llround), never from the standard distributions or the
// math library's log/cos, whose last bits differ between platforms. A given
// seed and size therefore writes byte-identical files everywhere.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// ---------------------------------------------------------------- settings

struct Settings {
  std::string out_dir;
  std::uint64_t seed = 1;
  int snps = 300;
  int subjects = 60;
  int genes = 40;
  int go_terms = 80;
  int pathways = 15;
  int max_gene_snps = 20;
  double missing_rate = 0.002;
  double effect = 0.4;  // shift of every planted SNP score
  double ld = 0.5;      // correlation of neighbouring SNPs' scores
};

const char* const kUsage =
    "usage: halvorix_make_data --out DIR [--seed N] [--snps N] [--subjects N] [--genes N]"
    " [--go-terms N] [--pathways N] [--max-gene-snps N] [--missing-rate F] [--effect F]"
    " [--ld F]";

[[noreturn]] void exit_with_usage(const std::string& problem) {
  std::cerr << "error: " << problem << '\n' << kUsage << '\n';
  std::exit(1);
}

bool parse_whole(const std::string& text, long long& value) {
  const char* end = text.data() + text.size();
  auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end;
}

bool parse_real(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return *end == '\0' && std::isfinite(value);
}

int whole_in_range(const std::string& name, const std::string& text, long long low,
                   long long high) {
  long long value = 0;
  if (!parse_whole(text, value) || value < low || value > high)
    exit_with_usage(name + " needs a whole number from " + std::to_string(low) + " to " +
                    std::to_string(high));
  return static_cast<int>(value);
}

double real_in_range(const std::string& name, const std::string& text, double low, double high) {
  double value = 0;
  if (!parse_real(text, value) || value < low || value > high) {
    std::ostringstream problem;
    problem << name << " needs a number from " << low << " to " << high;
    exit_with_usage(problem.str());
  }
  return value;
}

std::uint64_t parse_seed(const std::string& text) {
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  auto result = std::from_chars(text.data(), end, value);
  if (result.ec != std::errc() || result.ptr != end)
    exit_with_usage("--seed needs a non-negative whole number");
  return value;
}

void apply_option(Settings& settings, const std::string& name, const std::string& value) {
  const long long kMillion = 1000000;
  if (name == "--out")
    settings.out_dir = value;
  else if (name == "--seed")
    settings.seed = parse_seed(value);
  else if (name == "--snps")
    settings.snps = whole_in_range(name, value, 40, 10 * kMillion);
  else if (name == "--subjects")
    settings.subjects = whole_in_range(name, value, 2, kMillion);
  else if (name == "--genes")
    settings.genes = whole_in_range(name, value, 10, kMillion);
  else if (name == "--go-terms")
    settings.go_terms = whole_in_range(name, value, 12, kMillion);
  // Pathway numbers are 10, 20, ... written with five digits.
  else if (name == "--pathways")
    settings.pathways = whole_in_range(name, value, 2, 9000);
  else if (name == "--max-gene-snps")
    settings.max_gene_snps = whole_in_range(name, value, 3, 1000);
  else if (name == "--missing-rate")
    settings.missing_rate = real_in_range(name, value, 0.0, 0.5);
  else if (name == "--effect")
    settings.effect = real_in_range(name, value, 0.0, 10.0);
  else if (name == "--ld")
    settings.ld = real_in_range(name, value, 0.0, 0.99);
  else
    exit_with_usage("unknown option " + name);
}

// Sizes must leave room for gaps between genes and for the one gene of maximal size.
void check_consistency(const Settings& settings) {
  if (settings.out_dir.empty()) exit_with_usage("--out DIR is required");
  if (settings.snps < 4 * settings.genes) exit_with_usage("--snps must be at least 4 x --genes");
  if (settings.max_gene_snps > settings.snps / 4)
    exit_with_usage("--max-gene-snps must be at most --snps / 4");
}

Settings parse_command_line(int argc, char** argv) {
  Settings settings;
  if (argc < 2) exit_with_usage("no arguments");
  for (int i = 1; i < argc; i += 2) {
    const std::string name = argv[i];
    if (i + 1 >= argc) exit_with_usage(name + " needs a value");
    apply_option(settings, name, argv[i + 1]);
  }
  check_consistency(settings);
  return settings;
}

// Fewest digits that read back as the same double, so the echoed command reproduces exactly.
std::string round_trip_text(double value) {
  std::ostringstream text;
  for (int digits = 6; digits <= 17; ++digits) {
    text.str("");
    text.precision(digits);
    text << value;
    if (std::strtod(text.str().c_str(), nullptr) == value) break;
  }
  return text.str();
}

// The full command that reproduces a data set, for the file headers.
std::string reproducing_command(const Settings& settings) {
  std::ostringstream command;
  command << "halvorix_make_data --out " << settings.out_dir << " --seed " << settings.seed
          << " --snps " << settings.snps << " --subjects " << settings.subjects << " --genes "
          << settings.genes << " --go-terms " << settings.go_terms << " --pathways "
          << settings.pathways << " --max-gene-snps " << settings.max_gene_snps
          << " --missing-rate " << round_trip_text(settings.missing_rate) << " --effect "
          << round_trip_text(settings.effect) << " --ld " << round_trip_text(settings.ld);
  return command.str();
}

// ---------------------------------------------------------------- random numbers

// Natural log by argument reduction and the atanh series: only exact-rounded
// operations, so the result is the same bit pattern on every IEEE machine.
double portable_log(double x) {
  const double kLn2 = 0.693147180559945309417;
  const double kSqrtHalf = 0.707106781186547524401;
  int exponent = 0;
  double mantissa = std::frexp(x, &exponent);  // exact: [0.5, 1)
  if (mantissa < kSqrtHalf) {
    mantissa *= 2.0;
    exponent -= 1;
  }
  // |s| <= 0.172, so twelve odd terms reach full double precision.
  const double s = (mantissa - 1.0) / (mantissa + 1.0);
  const double s2 = s * s;
  double series = 0.0;
  for (int k = 23; k >= 1; k -= 2) series = 1.0 / k + s2 * series;
  return 2.0 * s * series + exponent * kLn2;
}

// Stream splitting by hashing, so that layout, annotation and scores each have
// their own sequence and changing one size does not reshuffle the others.
std::uint64_t mix64(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

enum class Stream : std::uint64_t { layout = 1, go, kegg, scores, missing, distances };

// splitmix64 with the polar form of the Box-Muller transform.
class Random {
 public:
  Random(std::uint64_t seed, Stream stream)
      : state_(mix64(seed ^ (static_cast<std::uint64_t>(stream) * 0xD1B54A32D192ED03ULL))) {}

  std::uint64_t next() {
    state_ += 0x9E3779B97F4A7C15ULL;
    return mix64(state_);
  }

  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }  // [0, 1)

  bool chance(double probability) { return uniform() < probability; }

  // Uniform in 0 .. bound-1, by multiply-shift (bias far below any use here).
  int below(int bound) {
    const std::uint64_t wide = (next() >> 32) * static_cast<std::uint64_t>(bound);
    return static_cast<int>(wide >> 32);
  }

  double normal() {
    if (has_spare_) {
      has_spare_ = false;
      return spare_;
    }
    double u = 0, v = 0, s = 0;
    do {
      u = 2.0 * uniform() - 1.0;
      v = 2.0 * uniform() - 1.0;
      s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0);
    const double factor = std::sqrt(-2.0 * portable_log(s) / s);
    spare_ = v * factor;
    has_spare_ = true;
    return u * factor;
  }

 private:
  std::uint64_t state_;
  double spare_ = 0;
  bool has_spare_ = false;
};

// ---------------------------------------------------------------- gene layout

// Genes lie on the SNP axis as runs of consecutive SNPs, so neighbouring genes
// share the correlation of neighbouring SNPs, as real genes share LD.
struct Gene {
  std::string name;
  int first_snp = 0;
  int snp_count = 0;
  bool planted = false;
};

const int kPlantedGenes = 4;
// Genes 0..3 carry fixed features: one SNP, the maximal SNP count, and a shared pair.
const int kFixedGenes = 4;

std::string gene_name(int index) { return "G" + std::to_string(index + 1); }
std::string snp_name(int index) { return "rs" + std::to_string(index + 1); }

std::vector<Gene> name_genes_and_choose_planted(const Settings& settings, Random& random) {
  std::vector<Gene> genes(static_cast<std::size_t>(settings.genes));
  for (int g = 0; g < settings.genes; ++g) genes[static_cast<std::size_t>(g)].name = gene_name(g);
  int chosen = 0;
  while (chosen < kPlantedGenes) {
    Gene& gene =
        genes[static_cast<std::size_t>(kFixedGenes + random.below(settings.genes - kFixedGenes))];
    if (gene.planted) continue;
    gene.planted = true;
    ++chosen;
  }
  return genes;
}

// Geometric sizes (many small genes, a long tail up to the maximum) whose mean
// fills about 80% of the SNP axis.
int draw_gene_size(const Settings& settings, Random& random) {
  double mean = 0.8 * settings.snps / settings.genes;
  mean = std::min(std::max(mean, 1.0), (settings.max_gene_snps + 1) / 2.0);
  const double keep_growing = (mean - 1.0) / mean;
  int size = 1;
  while (size < settings.max_gene_snps && random.chance(keep_growing)) ++size;
  return size;
}

bool is_shrinkable(const std::vector<Gene>& genes, std::size_t g) {
  return g >= static_cast<std::size_t>(kFixedGenes) &&
         genes[g].snp_count > (genes[g].planted ? 2 : 1);
}

// Trims sizes until the genes fit with room left for gaps.
void fit_sizes(std::vector<Gene>& genes, long long budget) {
  long long total = 0;
  for (const Gene& gene : genes) total += gene.snp_count;
  bool progress = true;
  while (total > budget && progress) {
    progress = false;
    for (std::size_t g = 0; g < genes.size() && total > budget; ++g) {
      if (!is_shrinkable(genes, g)) continue;
      --genes[g].snp_count;
      --total;
      progress = true;
    }
  }
}

int minimum_gap_before(const std::vector<Gene>& genes, std::size_t g) {
  const bool planted_neighbour = genes[g].planted || (g > 0 && genes[g - 1].planted);
  return planted_neighbour ? 1 : 0;
}

void draw_gene_sizes(const Settings& settings, std::vector<Gene>& genes, Random& random) {
  for (Gene& gene : genes) {
    gene.snp_count = draw_gene_size(settings, random);
    if (gene.planted) gene.snp_count = std::min(2 + random.below(5), settings.max_gene_snps);
  }
  genes[0].snp_count = 1;
  genes[1].snp_count = settings.max_gene_snps;
  genes[2].snp_count = std::max(genes[2].snp_count, 3);
  genes[3].snp_count = std::max(genes[3].snp_count, 3);
  long long minimum_gaps = 0;
  for (std::size_t g = 0; g < genes.size(); ++g) minimum_gaps += minimum_gap_before(genes, g);
  fit_sizes(genes, settings.snps - settings.snps / 10 - minimum_gaps);
}

// Overlaps make SNPs shared by two genes; planted genes never share, so that
// their signal stays theirs. An overlap is shorter than both genes, so gene
// ends keep increasing along the axis.
std::vector<int> draw_overlaps(const std::vector<Gene>& genes, Random& random) {
  std::vector<int> overlap(genes.size(), 0);
  for (std::size_t g = 1; g < genes.size(); ++g) {
    if (minimum_gap_before(genes, g) > 0) continue;
    const int longest = std::min({3, genes[g].snp_count - 1, genes[g - 1].snp_count - 1});
    if (longest < 1) continue;
    if (g == 3)
      overlap[g] = std::min(2, longest);
    else if (random.chance(0.1))
      overlap[g] = 1 + random.below(longest);
  }
  return overlap;
}

// Spreads the free SNPs over the gaps before each gene and after the last one.
std::vector<long long> draw_gaps(const Settings& settings, const std::vector<Gene>& genes,
                                 const std::vector<int>& overlap, Random& random) {
  const std::size_t count = genes.size();
  std::vector<long long> gap(count + 1, 0);
  std::vector<double> weight(count + 1, 0.0);
  long long free_snps = settings.snps;
  double weight_sum = 0.0;
  for (std::size_t g = 0; g <= count; ++g) {
    if (g < count) {
      free_snps -= genes[g].snp_count - overlap[g] + minimum_gap_before(genes, g);
      gap[g] = minimum_gap_before(genes, g);
    }
    if (g < count && overlap[g] > 0) continue;
    weight[g] = random.uniform();
    weight_sum += weight[g];
  }
  long long handed_out = 0;
  for (std::size_t g = 0; g < count; ++g) {
    const double share = weight_sum > 0.0 ? weight[g] / weight_sum : 0.0;
    const auto extra = static_cast<long long>(std::floor(static_cast<double>(free_snps) * share));
    gap[g] += extra;
    handed_out += extra;
  }
  gap[count] = free_snps - handed_out;
  return gap;
}

std::vector<Gene> lay_out_genes(const Settings& settings, Random& random) {
  std::vector<Gene> genes = name_genes_and_choose_planted(settings, random);
  draw_gene_sizes(settings, genes, random);
  const std::vector<int> overlap = draw_overlaps(genes, random);
  const std::vector<long long> gap = draw_gaps(settings, genes, overlap, random);
  long long previous_end = 0;
  for (std::size_t g = 0; g < genes.size(); ++g) {
    genes[g].first_snp = static_cast<int>(previous_end + gap[g] - overlap[g]);
    previous_end = genes[g].first_snp + genes[g].snp_count;
  }
  return genes;
}

std::vector<bool> planted_snp_flags(const Settings& settings, const std::vector<Gene>& genes) {
  std::vector<bool> planted(static_cast<std::size_t>(settings.snps), false);
  for (const Gene& gene : genes) {
    if (!gene.planted) continue;
    for (int k = 0; k < gene.snp_count; ++k)
      planted[static_cast<std::size_t>(gene.first_snp + k)] = true;
  }
  return planted;
}

std::vector<int> planted_gene_indexes(const std::vector<Gene>& genes) {
  std::vector<int> planted;
  for (std::size_t g = 0; g < genes.size(); ++g)
    if (genes[g].planted) planted.push_back(static_cast<int>(g));
  return planted;
}

std::vector<int> null_gene_indexes(const std::vector<Gene>& genes) {
  std::vector<int> null_genes;
  for (std::size_t g = 0; g < genes.size(); ++g)
    if (!genes[g].planted) null_genes.push_back(static_cast<int>(g));
  return null_genes;
}

std::string names_of(const std::vector<Gene>& genes, const std::vector<int>& indexes) {
  std::string names;
  for (int g : indexes)
    names += (names.empty() ? "" : " ") + genes[static_cast<std::size_t>(g)].name;
  return names;
}

// ---------------------------------------------------------------- GO model

const char* const kNamespaces[] = {"biological_process", "molecular_function",
                                   "cellular_component"};
const char* const kRelations[] = {"is_a", "part_of", "regulates", "has_part"};
enum Relation { is_a = 0, part_of = 1, regulates = 2, has_part = 3 };

struct GoEdge {
  int parent = 0;
  int child = 0;
  int relation = is_a;
};

// Terms of one namespace occupy a contiguous index range; index 0 of each range is its root.
struct TermRange {
  int first = 0;
  int count = 0;
};

struct GoModel {
  std::vector<std::string> term_ids;
  std::vector<int> term_namespace;
  TermRange ranges[3];
  std::vector<GoEdge> edges;
  std::set<std::pair<int, int>> annotations;  // (term, gene), ordered by term
  int planted_term = 0;
  int planted_parent = 0;
  int merged_parent = 0;  // its only child is merged_child, so both make one gene set
  int merged_child = 0;
};

int draw_relation(Random& random) {
  const double u = random.uniform();
  if (u < 0.55) return is_a;
  if (u < 0.80) return part_of;
  if (u < 0.90) return regulates;
  return has_part;
}

// The first edges take every relation once, so each appears in any size.
void add_edge(GoModel& model, int parent, int child, Random& random) {
  const int relation =
      model.edges.size() < 4 ? static_cast<int>(model.edges.size()) : draw_relation(random);
  model.edges.push_back({parent, child, relation});
}

// Random recursive tree (depth grows like log n), with some terms given a second
// parent so that they are reached along two paths.
void grow_random_dag(GoModel& model, TermRange range, Random& random) {
  for (int i = 1; i < range.count; ++i) {
    const int parent = range.first + random.below(i);
    add_edge(model, parent, range.first + i, random);
    if (i < 2 || !(i == range.count / 2 || random.chance(0.15))) continue;
    int second = range.first + random.below(i - 1);
    if (second >= parent) ++second;
    add_edge(model, second, range.first + i, random);
  }
}

// Favors late, mostly deep, terms of the tree, as annotations do.
int pick_deep_term(TermRange range, Random& random) {
  const int offset = static_cast<int>(range.count * std::sqrt(random.uniform()));
  return range.first + std::min(offset, range.count - 1);
}

// Term ids grow by random steps so that they look like sparse accessions.
void assign_term_ids(GoModel& model, Random& random) {
  int id = 0;
  for (std::size_t t = 0; t < model.term_namespace.size(); ++t) {
    id += 1 + random.below(9);
    char text[16];
    std::snprintf(text, sizeof text, "GO:%07d", id);
    model.term_ids.push_back(text);
  }
}

void build_go_terms(const Settings& settings, GoModel& model) {
  const int process_count = settings.go_terms / 2;
  const int function_count = settings.go_terms / 4;
  const int counts[3] = {process_count, function_count,
                         settings.go_terms - process_count - function_count};
  for (int ns = 0; ns < 3; ++ns) {
    model.ranges[ns].first = static_cast<int>(model.term_namespace.size());
    // The last three process terms are the planted leaf and the merged pair, grown by hand.
    model.ranges[ns].count = ns == 0 ? counts[ns] - 3 : counts[ns];
    model.term_namespace.insert(model.term_namespace.end(), static_cast<std::size_t>(counts[ns]),
                                ns);
  }
  const int extra = model.ranges[0].first + model.ranges[0].count;
  model.planted_term = extra;
  model.merged_parent = extra + 1;
  model.merged_child = extra + 2;
}

void build_go_edges(GoModel& model, Random& random) {
  const TermRange process = model.ranges[0];
  grow_random_dag(model, process, random);
  model.planted_parent = process.first + 1 + random.below(process.count - 1);
  model.edges.push_back({model.planted_parent, model.planted_term, is_a});
  model.edges.push_back({process.first + random.below(process.count), model.merged_parent, is_a});
  model.edges.push_back({model.merged_parent, model.merged_child, has_part});
  for (int ns = 1; ns < 3; ++ns) grow_random_dag(model, model.ranges[ns], random);
}

int pick_any_random_term(const GoModel& model, Random& random) {
  const int total = model.ranges[0].count + model.ranges[1].count + model.ranges[2].count;
  int index = random.below(total);
  for (const TermRange& range : model.ranges) {
    if (index < range.count) return pick_deep_term(range, random);
    index -= range.count;
  }
  return model.ranges[0].first;
}

// Every annotated null gene has a process term, so the process root collects
// nearly all genes and exceeds the usual set-size limit. Planted genes sit on
// the planted leaf only, which keeps that leaf the purest set.
void annotate_genes(const std::vector<Gene>& genes, GoModel& model, Random& random) {
  const std::vector<int> null_genes = null_gene_indexes(genes);
  for (int g : null_genes) {
    if (random.chance(0.1)) continue;
    model.annotations.insert({pick_deep_term(model.ranges[0], random), g});
    const int more = random.below(4);
    for (int k = 0; k < more; ++k)
      model.annotations.insert({pick_any_random_term(model, random), g});
  }
  for (int g : planted_gene_indexes(genes)) model.annotations.insert({model.planted_term, g});
  // Null genes of its own dilute the planted leaf's parent, so the leaf stays the top set.
  const std::size_t null_count = null_genes.size();
  for (std::size_t k = 0; k < 6; ++k)
    model.annotations.insert({model.planted_parent, null_genes[k * null_count / 6]});
  for (std::size_t k = 0; k < 2; ++k)
    model.annotations.insert({model.merged_child, null_genes[k * null_count / 2 + 1]});
}

GoModel build_go_model(const Settings& settings, const std::vector<Gene>& genes, Random& random) {
  GoModel model;
  build_go_terms(settings, model);
  assign_term_ids(model, random);
  build_go_edges(model, random);
  annotate_genes(genes, model, random);
  return model;
}

// ---------------------------------------------------------------- KEGG model

struct Pathway {
  std::string number;
  std::vector<int> genes;
};

struct KeggModel {
  std::vector<Pathway> pathways;
  int planted_pathway = 0;
};

std::string pathway_number(int index) {
  char text[16];
  std::snprintf(text, sizeof text, "%05d", 10 * (index + 1));
  return text;
}

bool contains(const std::vector<int>& values, int value) {
  for (int v : values)
    if (v == value) return true;
  return false;
}

std::vector<int> draw_distinct(const std::vector<int>& pool, std::size_t count, Random& random) {
  count = std::min(count, pool.size());
  std::vector<int> chosen;
  while (chosen.size() < count) {
    const int candidate =
        pool[static_cast<std::size_t>(random.below(static_cast<int>(pool.size())))];
    if (!contains(chosen, candidate)) chosen.push_back(candidate);
  }
  return chosen;
}

// Sizes 2 .. 25, mostly small; the first two pathways pin both ends of the range.
std::size_t draw_pathway_size(int index, Random& random) {
  if (index == 0) return 2;
  if (index == 1) return 25;
  const double u = random.uniform();
  return 2 + static_cast<std::size_t>(24.0 * u * u);
}

// The planted pathway holds every planted gene and one null gene; the other
// pathways hold null genes only, so the planted one stays on top.
KeggModel build_kegg_model(const Settings& settings, const std::vector<Gene>& genes,
                           Random& random) {
  KeggModel model;
  model.planted_pathway = settings.pathways / 2;
  const std::vector<int> null_genes = null_gene_indexes(genes);
  for (int p = 0; p < settings.pathways; ++p) {
    Pathway pathway{pathway_number(p), {}};
    if (p == model.planted_pathway) {
      pathway.genes = planted_gene_indexes(genes);
      pathway.genes.push_back(draw_distinct(null_genes, 1, random)[0]);
    } else {
      pathway.genes = draw_distinct(null_genes, draw_pathway_size(p, random), random);
    }
    model.pathways.push_back(pathway);
  }
  return model;
}

// ---------------------------------------------------------------- writing

std::ofstream open_output(const Settings& settings, const std::string& file_name) {
  const std::filesystem::path path = std::filesystem::path(settings.out_dir) / file_name;
  std::ofstream out(path, std::ios::binary);
  if (!out) {
    std::cerr << "error: cannot write " << path.string() << '\n';
    std::exit(1);
  }
  return out;
}

void finish_output(std::ofstream& out, const std::string& file_name) {
  out.close();
  if (!out) {
    std::cerr << "error: writing " << file_name << " failed\n";
    std::exit(1);
  }
}

void write_header(std::ostream& out, const Settings& settings, const std::string& what) {
  out << "# " << what << '\n' << "# made by: " << reproducing_command(settings) << '\n';
}

const int kScoreDecimals = 4;
const double kScoreScale = 10000.0;  // 10^kScoreDecimals

void append_whole(std::string& line, long long value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  line.append(digits, result.ptr);
}

// Fixed decimals by integer arithmetic: fast for millions of values, and a
// value that rounds to zero prints without a minus sign.
void append_score(std::string& line, double value) {
  long long scaled = std::llround(value * kScoreScale);
  if (scaled < 0) {
    line += '-';
    scaled = -scaled;
  }
  const auto scale = static_cast<long long>(kScoreScale);
  append_whole(line, scaled / scale);
  line += '.';
  long long fraction = scaled % scale;
  char digits[kScoreDecimals];
  for (int d = kScoreDecimals - 1; d >= 0; --d) {
    digits[d] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  line.append(digits, kScoreDecimals);
}

// Each subject carries a latent AR(1) value along the SNP axis: every SNP score
// is N(0, 1) (symmetric under the null), neighbouring SNPs correlate by --ld.
void write_scores(const Settings& settings, const std::vector<Gene>& genes) {
  std::ofstream out = open_output(settings, "score.dat");
  write_header(out, settings,
               "score.dat: one line per SNP: SNP name, then one score per subject; -999 marks a "
               "missing score. " +
                   std::to_string(settings.snps) + " SNPs x " + std::to_string(settings.subjects) +
                   " subjects.");
  out << "# planted association: every SNP of genes "
      << names_of(genes, planted_gene_indexes(genes)) << " is shifted by +"
      << round_trip_text(settings.effect) << '\n';
  Random random(settings.seed, Stream::scores);
  Random missing(settings.seed, Stream::missing);
  std::vector<double> latent(static_cast<std::size_t>(settings.subjects));
  for (double& value : latent) value = random.normal();
  const double innovation = std::sqrt(1.0 - settings.ld * settings.ld);
  const std::vector<bool> planted = planted_snp_flags(settings, genes);
  std::string line;
  for (int j = 0; j < settings.snps; ++j) {
    if (j > 0)
      for (double& value : latent) value = settings.ld * value + innovation * random.normal();
    const double shift = planted[static_cast<std::size_t>(j)] ? settings.effect : 0.0;
    line = snp_name(j);
    for (double value : latent) {
      line += ' ';
      if (settings.missing_rate > 0.0 && missing.chance(settings.missing_rate))
        line += "-999";
      else
        append_score(line, value + shift);
    }
    line += '\n';
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
  }
  finish_output(out, "score.dat");
}

// Distance from SNP to gene: upstream negative, downstream positive, 0 inside the
// gene body; always within 50000 for the gene's own SNPs.
int member_distance(int position, int snp_count, Random& random) {
  if (snp_count == 1) return 0;
  const double fraction = (position + 0.5) / snp_count;
  int distance = static_cast<int>(-45000.0 + 90000.0 * fraction) + random.below(6001) - 3000;
  if (distance > -15000 && distance < 15000) distance = 0;
  return std::min(std::max(distance, -49999), 49999);
}

void write_gene_snp_line(std::ostream& out, const std::string& gene, const std::string& snp,
                         int distance) {
  out << gene << ' ' << snp << ' ' << distance << '\n';
}

// A line with |distance| > 50000, naming the SNP next to the gene; the program drops it.
void write_far_line(std::ostream& out, const Settings& settings, const Gene& gene, Random& random) {
  const int end = gene.first_snp + gene.snp_count;
  const int magnitude = 50001 + random.below(100000);
  if (end < settings.snps)
    write_gene_snp_line(out, gene.name, snp_name(end), magnitude);
  else if (gene.first_snp > 0)
    write_gene_snp_line(out, gene.name, snp_name(gene.first_snp - 1), -magnitude);
}

void write_gene_snp(const Settings& settings, const std::vector<Gene>& genes) {
  std::ofstream out = open_output(settings, "gene_snp.dat");
  write_header(out, settings,
               "gene_snp.dat: gene, SNP, distance from SNP to gene in bp (lines with "
               "|distance| > 50000 fall outside halvorix's default dist limit)");
  Random random(settings.seed, Stream::distances);
  for (std::size_t g = 0; g < genes.size(); ++g) {
    const Gene& gene = genes[g];
    for (int k = 0; k < gene.snp_count; ++k) {
      int distance = member_distance(k, gene.snp_count, random);
      // The limit itself is kept, on both sides.
      if (g == 1 && k == 0) distance = -50000;
      if (g == 1 && k == gene.snp_count - 1) distance = 50000;
      write_gene_snp_line(out, gene.name, snp_name(gene.first_snp + k), distance);
    }
    if (g == 0 || random.chance(0.2)) write_far_line(out, settings, gene, random);
    // A SNP that the score file does not have.
    if (g == 2) write_gene_snp_line(out, gene.name, snp_name(settings.snps), 1200);
  }
  finish_output(out, "gene_snp.dat");
}

void write_go_edges(const Settings& settings, const GoModel& model) {
  std::ofstream out = open_output(settings, "go_edges.dat");
  write_header(out, settings,
               "go_edges.dat: namespace, child term, relation, parent term "
               "(\"A has_part B\" makes B the child of A)");
  for (const GoEdge& edge : model.edges) {
    const std::string& parent = model.term_ids[static_cast<std::size_t>(edge.parent)];
    const std::string& child = model.term_ids[static_cast<std::size_t>(edge.child)];
    out << kNamespaces[model.term_namespace[static_cast<std::size_t>(edge.child)]] << ' ';
    if (edge.relation == has_part)
      out << parent << " has_part " << child << '\n';
    else
      out << child << ' ' << kRelations[edge.relation] << ' ' << parent << '\n';
  }
  finish_output(out, "go_edges.dat");
}

std::vector<std::string> go_gene_lines(const Settings& settings, const std::vector<Gene>& genes,
                                       const GoModel& model) {
  std::vector<std::string> lines;
  for (const auto& [term, gene] : model.annotations)
    lines.push_back("hs " + genes[static_cast<std::size_t>(gene)].name + ' ' +
                    model.term_ids[static_cast<std::size_t>(term)]);
  const std::string repeated = lines.front();  // a repeated pair counts once
  // Unknown genes and an unknown term: the program skips these lines.
  const std::size_t third = lines.size() / 3;
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(third),
               "hs " + gene_name(settings.genes) + ' ' + model.term_ids[0]);
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(2 * third),
               "hs " + gene_name(settings.genes + 1) + ' ' +
                   model.term_ids[static_cast<std::size_t>(model.ranges[1].first)]);
  lines.push_back("hs " + genes[0].name + " GO:9999999");
  lines.push_back(repeated);
  return lines;
}

void write_go_gene(const Settings& settings, const std::vector<Gene>& genes, const GoModel& model) {
  std::ofstream out = open_output(settings, "go_gene.dat");
  write_header(out, settings, "go_gene.dat: source label, gene, GO term");
  out << "# planted term " << model.term_ids[static_cast<std::size_t>(model.planted_term)]
      << " holds genes " << names_of(genes, planted_gene_indexes(genes)) << '\n';
  for (const std::string& line : go_gene_lines(settings, genes, model)) out << line << '\n';
  finish_output(out, "go_gene.dat");
}

void write_kegg_line(std::ostream& out, const std::string& gene, const std::string& number) {
  out << "hsa:" << gene << " path:hsa" << number << '\n';
}

void write_kegg_gene(const Settings& settings, const std::vector<Gene>& genes,
                     const KeggModel& model) {
  std::ofstream out = open_output(settings, "kegg_gene.dat");
  write_header(out, settings, "kegg_gene.dat: hsa:<gene> path:hsa<pathway>");
  out << "# planted pathway path:hsa"
      << model.pathways[static_cast<std::size_t>(model.planted_pathway)].number << '\n';
  for (std::size_t p = 0; p < model.pathways.size(); ++p) {
    const Pathway& pathway = model.pathways[p];
    for (int g : pathway.genes)
      write_kegg_line(out, genes[static_cast<std::size_t>(g)].name, pathway.number);
    // A duplicated line (the program warns) and a gene outside the gene-SNP map.
    if (p == 0)
      write_kegg_line(out, genes[static_cast<std::size_t>(pathway.genes[0])].name, pathway.number);
    if (p == 1) write_kegg_line(out, gene_name(settings.genes), pathway.number);
  }
  finish_output(out, "kegg_gene.dat");
}

void report(const Settings& settings, const std::vector<Gene>& genes, const GoModel& go,
            const KeggModel& kegg) {
  std::cout << "wrote score.dat, gene_snp.dat, go_edges.dat, go_gene.dat, kegg_gene.dat in "
            << settings.out_dir << '\n'
            << "  " << settings.snps << " SNPs x " << settings.subjects << " subjects, "
            << settings.genes << " genes, " << go.term_ids.size() << " GO terms ("
            << go.edges.size() << " edges), " << kegg.pathways.size() << " pathways\n"
            << "  planted genes:   " << names_of(genes, planted_gene_indexes(genes)) << '\n'
            << "  planted GO term: " << go.term_ids[static_cast<std::size_t>(go.planted_term)]
            << '\n'
            << "  planted pathway: path:hsa"
            << kegg.pathways[static_cast<std::size_t>(kegg.planted_pathway)].number << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  const Settings settings = parse_command_line(argc, argv);
  std::error_code ignored;
  std::filesystem::create_directories(settings.out_dir, ignored);

  Random layout_random(settings.seed, Stream::layout);
  const std::vector<Gene> genes = lay_out_genes(settings, layout_random);
  Random go_random(settings.seed, Stream::go);
  const GoModel go = build_go_model(settings, genes, go_random);
  Random kegg_random(settings.seed, Stream::kegg);
  const KeggModel kegg = build_kegg_model(settings, genes, kegg_random);

  write_scores(settings, genes);
  write_gene_snp(settings, genes);
  write_go_edges(settings, go);
  write_go_gene(settings, genes, go);
  write_kegg_gene(settings, genes, kegg);
  report(settings, genes, go, kegg);
  return 0;
}
