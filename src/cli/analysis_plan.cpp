#include "cli/analysis_plan.h"

#include <cctype>
#include <initializer_list>
#include <iostream>
#include <utility>
#include <vector>

#include "cli/fail.h"
#include "cli/options.h"
#include "cli/print_banner.h"
#include "files/output_policy.h"

#define PROGNAME "Halvorix"
// The project's one version number, from CMakeLists.txt.
#define VERSION HALVORIX_VERSION

namespace {

template <class E>
using Choices = std::vector<std::pair<const char*, E>>;

// In byte order of the names: the help text lists them so.
const Choices<Method> kMethods = {{"GENE", Method::gene},
                                  {"GO", Method::go},
                                  {"KEGG", Method::kegg},
                                  {"SETS", Method::sets},
                                  {"SNP", Method::snp}};
const Choices<GeneScore> kGeneScores = {
    {"max", GeneScore::max}, {"mean", GeneScore::mean}, {"sqrtmean", GeneScore::sqrtmean}};
const Choices<GeneMoments> kGeneMoments = {{"nor", GeneMoments::nor}, {"sim", GeneMoments::sim}};
const Choices<GeneSetScore> kGeneSetScores = {{"maxZ", GeneSetScore::max_z},
                                              {"meanZ", GeneSetScore::mean_z},
                                              {"wtdmean", GeneSetScore::wtdmean}};
const Choices<Resample> kResamples = {{"multiplier", Resample::multiplier},
                                      {"permutation", Resample::permutation}};
const Choices<int> kReplaceMiss = {{"mean", 0}, {"zero", 0}};
const Choices<int> kGoTypes = {
    {"all", 0}, {"biological_process", 0}, {"cellular_component", 0}, {"molecular_function", 0}};

/// "(a, b, c)" for the help text.
template <class E>
std::string enclosed(const Choices<E>& choices) {
  std::string list;
  for (const auto& choice : choices) list += (list.empty() ? "" : ", ") + std::string(choice.first);
  return "(" + list + ")";
}

/// The choice named `text` exactly; otherwise stops the run with `message` and the user's text.
template <class E>
E parse_choice(const Choices<E>& choices, const std::string& text, const std::string& shown,
               const std::string& message) {
  for (const auto& choice : choices)
    if (text == choice.first) return choice.second;
  fail_stdout(message + shown);
}

}  // namespace

std::string output_clash(const AnalysisPlan& plan, const std::string& parfile) {
  std::vector<NamedFile> inputs = {{"--score", plan.score_file}};
  std::vector<NamedFile> outputs;
  if (plan.method != Method::snp) {
    inputs.push_back({"--gene_snp", plan.gene_snp_file});
    outputs.push_back({"--html_output", plan.html_output});
  }
  if (plan.method == Method::go) {
    inputs.push_back({"--go_edges", plan.go_edges_file});
    inputs.push_back({"--go_gene", plan.go_gene_file});
  }
  if (plan.method == Method::kegg) inputs.push_back({"--kegg_gene", plan.kegg_gene_file});
  if (plan.method == Method::sets) inputs.push_back({"--gene_sets", plan.gene_sets_file});
  if (!parfile.empty()) inputs.push_back({"--parfile", parfile});
  outputs.push_back({"--csv_output", plan.csv_output});
  const bool sets =
      plan.method == Method::go || plan.method == Method::kegg || plan.method == Method::sets;
  if (sets && plan.map_write) outputs.push_back({"--map_output", plan.map_output});
  return find_output_clash(inputs, outputs);
}

void str_toupper(std::string& s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

void check_choices(const PlanText& text, AnalysisPlan& plan) {
  std::string method = text.method;
  str_toupper(method);  // the method alone is read in any case
  plan.method = parse_choice(kMethods, method, text.method, "error: invalid method: ");
  parse_choice(kReplaceMiss, text.replace_missing, text.replace_missing,
               "error: invalid replace: ");
  plan.replace_missing = text.replace_missing;
  parse_choice(kGoTypes, text.go_type, text.go_type, "error: invalid go type: ");
  plan.go_type = text.go_type;
  plan.scoring.gene_score =
      parse_choice(kGeneScores, text.gene_score, text.gene_score, "error: invalid gene score: ");
  plan.scoring.gene_moments = parse_choice(kGeneMoments, text.gene_moments, text.gene_moments,
                                           "error: invalid gene moments: ");
  plan.scoring.set_score = parse_choice(kGeneSetScores, text.gene_set_score, text.gene_set_score,
                                        "error: invalid gene set score: ");
  plan.resample =
      parse_choice(kResamples, text.resample, text.resample, "error: invalid resample: ");
  // A permuted subject takes its genotypes along, missing calls included: they score 0 with
  // any residual, which a subject's mean score would not.
  if (plan.resample == Resample::permutation && plan.replace_missing == "mean")
    fail_stdout(
        "error: --replace mean cannot be used with --resample permutation: a missing genotype "
        "stays with its subject and scores 0 (--replace zero)");
  if (plan.method == Method::snp || plan.method == Method::gene) return;
  const bool weighted = plan.scoring.set_score == GeneSetScore::wtdmean;
  if (weighted && plan.scoring.gene_moments == GeneMoments::sim)
    fail_stdout("error: GeneSetScore = wtdmean and GeneMoments = sim not implemented");
  if (weighted && plan.scoring.gene_score == GeneScore::max)
    fail_stdout("error: GeneSetScore = wtdmean and GeneScore = maxZ notimplemented");
  if (!weighted && plan.scoring.gene_moments == GeneMoments::nor)
    fail_stdout("error: GeneSetScore = meanZ or maxZ and GeneMoments = nor notimplemented");
}

bool read_analysis_plan(int argc, char** argv, AnalysisPlan& plan) {
  Option_bool opt_help("h", "help", false, "display the help menu");
  Option_string opt_goedges_filename("ge", "go_edges", "go_edges.dat", "file of GO edges");
  Option_string opt_gene_snp_filename("gs", "gene_snp", "gene_snp.dat", "file of gene-snp mapping");
  Option_string opt_go_gene_filename("gg", "go_gene", "go_gene.dat", "file of go-gene mapping");
  Option_string opt_kegg_gene_filename("kg", "kegg_gene", "kegg_gene.dat",
                                       "file of kegg-gene mapping");
  Option_string opt_gene_sets_filename("st", "gene_sets", "gene_sets.gmt",
                                       "file of gene sets (GMT)");
  Option_string opt_snp_score_filename("sc", "score", "score.dat", "file of scores");
  Option_string opt_replace_miss("r", "replace", "zero",
                                 "replace missing scores" + enclosed(kReplaceMiss));
  Option_double opt_miss_val("mv", "miss_val", -999.0, "missing value code for scores");
  Option_string opt_Method("m", "method", "GO", "method " + enclosed(kMethods));
  Option_string opt_GeneScore(
      "gl", "gene-level", "sqrtmean",
      "gene-level scoring " + enclosed(kGeneScores) + ". Caution: max, mean are experimental");
  Option_string opt_GeneMoments(
      "gm", "gene-moments", "nor",
      "gene-level moments " + enclosed(kGeneMoments) + ". Caution: sim is experimental");
  Option_string opt_GeneSetScore("gsl", "gene-set-level", "wtdmean",
                                 "gene-set-level scoring " + enclosed(kGeneSetScores) +
                                     ". Caution: maxZ, meanZ are experimental");
  Option_string opt_go_type("gt", "go_type", "all", "type of GO DAG " + enclosed(kGoTypes));
  Option_int opt_dist2gene("d", "dist", 50000,
                           "max absolute dist from SNP to gene start/stop, in bp distance");
  Option_int opt_max_set_size(
      "ms", "max_size", 30,
      "maximum no. genes in a set. Caution: Compute time increases with max_size");
  Option_int opt_nsim("ns", "nsim", 1000, "number of simualtions");
  Option_string opt_resample("rs", "resample", "multiplier",
                             "null distribution by resampling " + enclosed(kResamples));
  Option_int opt_seed("s", "seed", -9,
                      "integer for random number seed (set by clock if <= 0 or not specified)");
  Option_string opt_html_filename("html", "html_output", "output.html",
                                  "ouput file in html format");
  Option_string opt_csv_filename("csv", "csv_output", "output.csv", "ouput file in csv format");
  Option_bool opt_write_map("mw", "map_write", false, "turn on writing of map output");
  Option_string opt_write_map_filename("mf", "map_output", "output.map", "output map file name");
  Option_fstream opt_parfile("par", "parfile", "", "file of options, one per line.");
  Option_bool opt_show_version("v", "version", false, VERSION);

  OptionGroup optGroup;
  for (Option* o : std::initializer_list<Option*>{&opt_help,
                                                  &opt_goedges_filename,
                                                  &opt_gene_snp_filename,
                                                  &opt_go_gene_filename,
                                                  &opt_kegg_gene_filename,
                                                  &opt_gene_sets_filename,
                                                  &opt_snp_score_filename,
                                                  &opt_replace_miss,
                                                  &opt_miss_val,
                                                  &opt_Method,
                                                  &opt_GeneScore,
                                                  &opt_GeneMoments,
                                                  &opt_GeneSetScore,
                                                  &opt_go_type,
                                                  &opt_dist2gene,
                                                  &opt_max_set_size,
                                                  &opt_nsim,
                                                  &opt_resample,
                                                  &opt_seed,
                                                  &opt_html_filename,
                                                  &opt_csv_filename,
                                                  &opt_write_map,
                                                  &opt_write_map_filename,
                                                  &opt_parfile,
                                                  &opt_show_version})
    optGroup.push(*o);

  Commands cmds;
  cmds.setFromLine(argc, argv);
  cmds.setFromFile(opt_parfile);
  optGroup.setFromUser(cmds);
  cmds.checkInvalidArgs();

  const std::string progString = std::string(PROGNAME) + " (version " + VERSION + ")";
  if (opt_show_version.getValue()) {
    std::cout << progString << std::endl;
    return false;
  }
  if (opt_help.getValue() || argc == 1) {
    print_banner(progString, 80);
    optGroup.printHelp();
    return false;
  }

  check_choices(PlanText{opt_Method.getValue(), opt_replace_miss.getValue(), opt_go_type.getValue(),
                         opt_GeneScore.getValue(), opt_GeneMoments.getValue(),
                         opt_GeneSetScore.getValue(), opt_resample.getValue()},
                plan);
  plan.miss_val = static_cast<float>(opt_miss_val.getValue());
  plan.dist2gene = opt_dist2gene.getValue();
  plan.max_set_size = opt_max_set_size.getValue();
  plan.nsim = opt_nsim.getValue();
  plan.seed = static_cast<long>(opt_seed.getValue());
  plan.map_write = opt_write_map.getValue();
  plan.score_file = opt_snp_score_filename.getValue();
  plan.gene_snp_file = opt_gene_snp_filename.getValue();
  plan.go_edges_file = opt_goedges_filename.getValue();
  plan.go_gene_file = opt_go_gene_filename.getValue();
  plan.kegg_gene_file = opt_kegg_gene_filename.getValue();
  plan.gene_sets_file = opt_gene_sets_filename.getValue();
  plan.html_output = opt_html_filename.getValue();
  plan.csv_output = opt_csv_filename.getValue();
  plan.map_output = opt_write_map_filename.getValue();
  // Before anything is loaded: a run that would write over what it reads never starts.
  const std::string clash = output_clash(plan, opt_parfile.getName());
  if (!clash.empty()) fail_stdout("error: " + clash);
  optGroup.print("options and values used:");
  return true;
}
