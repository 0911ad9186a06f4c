// Halvorix: tests SNPs, genes and gene sets for association with a trait from a matrix of
// per-subject SNP scores. main() reads and checks the options, then follows the road of the
// chosen method; each level's step-down operation runs the simulations.
#include <algorithm>
#include <iostream>
#include <string>

#include "LookupTable.h"
#include "StopWatch.h"
#include "distributed.h"
#include "fail.h"
#include "gene.h"
#include "genesets.h"
#include "go.h"
#include "kegg.h"
#include "options.h"
#include "print_banner.h"
#include "snp.h"

#define PROGNAME "Halvorix"
// The project's one version number, from CMakeLists.txt.
#define VERSION HALVORIX_VERSION

namespace {

void print_simulation_report(int nsim, const SNPData& snpdat, const StopWatch& timer) {
  print_banner("summary of simulations", 80);
  std::cout << "Simulations completed, nsim = " << nsim << std::endl;
  std::cout << "seed = " << snpdat.random_seed << std::endl;
  std::cout << "Time (clock) for simulations: " << timer.wall_time() << std::endl;
}

int run_snp_road(SNPData& snpdat, int nsim, StopWatch& timer, const std::string& csv_output) {
  snpdat.set_all_used();
  snpdat.make_snp_used_index();
  snpdat.compute_x_stat();
  snpdat.compute_rank_x_stat();
  if (nsim > 0) {
    timer.start();
    snpdat.stepDownPval(nsim);
    timer.stop();
    print_simulation_report(nsim, snpdat, timer);
  }
  snpdat.print_snp_stats_csv(csv_output);
  return 0;
}

int run_gene_road(SNPData& snpdat, GENEData& genedat, int nsim, StopWatch& timer,
                  const std::string& html_output, const std::string& csv_output) {
  snpdat.make_snp_used_index();
  snpdat.compute_x_stat();
  snpdat.compute_rank_x_stat();
  genedat.all_genes_used();
  genedat.compute_score(snpdat);
  genedat.compute_score_moments(snpdat);
  genedat.compute_zscore();
  genedat.compute_gene_snp_rank(snpdat);
  snpdat.print_summary("summary of snp scores");
  genedat.print_summary("summary of gene data");
  timer.start();
  genedat.stepDownPval(nsim, snpdat);
  timer.stop();
  print_simulation_report(nsim, snpdat, timer);
  std::sort(genedat.genevec.begin(), genedat.genevec.end(), Gene_greater_zscore);
  genedat.print_gene_stats_html(html_output);
  genedat.print_gene_stats_csv(csv_output);
  return 0;
}

/// Observed gene and gene-set statistics by the scoring combination (checked at start-up).
void compute_geneset_scores(SNPData& snpdat, GENEData& genedat, GeneSets& gene_sets) {
  if (gene_sets.geneSetScore == "wtdmean") {
    genedat.compute_gene_cov2(snpdat, gene_sets);
    if (gene_sets.geneMoments == "nor" && gene_sets.geneScore == "sqrtmean") {
      genedat.compute_score(snpdat);
      gene_sets.score_wtd_sqrtmean(genedat);
      gene_sets.score_nor_sqrtmean_moments(genedat);
    } else if (gene_sets.geneMoments == "nor" && gene_sets.geneScore == "mean") {
      genedat.compute_score(snpdat);
      gene_sets.score_wtd_mean(genedat);
      gene_sets.score_nor_mean_moments(genedat);
    }
  } else if (gene_sets.geneMoments == "sim") {
    genedat.compute_score(snpdat);
    genedat.compute_score_moments(snpdat);
    genedat.compute_zscore();
    if (gene_sets.geneSetScore == "meanZ") {
      gene_sets.score_mean_gene_zscore(genedat);
    } else {
      gene_sets.score_max_gene_zscore(genedat);
    }
    gene_sets.sim_score_moments(snpdat, genedat);
  }
}

struct GenesetRoadFiles {
  std::string go_edges, go_type, go_gene, kegg_gene, html_output, csv_output, map_output;
  int max_size;
  bool map_write;
};

int run_geneset_road(const std::string& method, SNPData& snpdat, GENEData& genedat, GOData& godat,
                     KEGGData& keggdat, GeneSets& gene_sets, int nsim, StopWatch& timer,
                     const GenesetRoadFiles& files) {
  if (method == "GO") {
    timer.start();
    print_banner("loading go edges file", 80);
    godat.makeGO(files.go_edges, files.go_type);
    timer.stop();
    std::cout << std::endl << "Time (clock) to load go data: " << timer.wall_time() << std::endl;
    print_banner("loading go_gene file", 80);
    timer.start();
    godat.load_go_gene(files.go_gene, genedat);
    timer.stop();
    std::cout << "Time (clock) to load go_gene file: " << timer.wall_time() << std::endl;
    godat.find_gene_sets(files.max_size);
    gene_sets.make_gene_sets(godat, files.max_size);
  } else {
    timer.start();
    print_banner("loading kegg-gene file", 80);
    keggdat.makeKEGG(files.kegg_gene, genedat);
    timer.stop();
    std::cout << std::endl << "Time (clock) to load kegg data: " << timer.wall_time() << std::endl;
    gene_sets.make_gene_sets(keggdat, files.max_size);
  }

  snpdat.make_snp_used_index();
  snpdat.compute_x_stat();
  snpdat.compute_rank_x_stat();
  genedat.compute_gene_snp_rank(snpdat);
  compute_geneset_scores(snpdat, genedat, gene_sets);
  gene_sets.compute_zscore();
  genedat.compute_gene_rank();
  gene_sets.compute_geneset_gene_rank(genedat);

  if (method == "GO") {
    godat.print_summary("summary of GO graph");
    godat.print_degrees_freq_table("edges in & out of nodes");
  } else {
    keggdat.print_summary("summary of KEGG structure");
  }
  snpdat.print_summary("summary of snp scores");
  genedat.print_summary("summary of gene data");
  gene_sets.print_geneset_summary("summary of gene sets");

  timer.start();
  gene_sets.stepDownPval(nsim, snpdat, genedat);
  timer.stop();
  print_simulation_report(nsim, snpdat, timer);

  // Sets whose z-score is not a number go last in their creation order; the others get the
  // ordinary sort by decreasing z-score.
  auto& sets = gene_sets.geneset_vec;
  const auto nan_sets = std::stable_partition(
      sets.begin(), sets.end(), [](const GENE_SET& s) { return s.zscore == s.zscore; });
  std::sort(sets.begin(), nan_sets, GeneSet_greater_zscore);
  gene_sets.print_gene_sets_html(files.html_output, genedat);
  gene_sets.print_gene_sets_csv(files.csv_output, genedat);
  if (files.map_write) gene_sets.print_set_mappings(files.map_output, genedat);
  return 0;
}

void check_choice(const LookupTable& table, const std::string& value, const std::string& shown,
                  const std::string& message) {
  if (!table.inTable(value)) fail_stdout(message + shown);
}

}  // namespace

int main(int argc, char** argv) {
  const DistributedRun distributed(argc, argv);
  LookupTable tableMethod, tableReplaceMiss, tableGoType, tableGeneScore, tableGeneSetScore,
      tableGeneMoments;
  for (const char* v : {"SNP", "GENE", "GO", "KEGG"}) tableMethod.insert(v);
  for (const char* v : {"zero", "mean"}) tableReplaceMiss.insert(v);
  for (const char* v : {"all", "biological_process", "molecular_function", "cellular_component"})
    tableGoType.insert(v);
  for (const char* v : {"mean", "sqrtmean", "max"}) tableGeneScore.insert(v);
  for (const char* v : {"wtdmean", "meanZ", "maxZ"}) tableGeneSetScore.insert(v);
  for (const char* v : {"nor", "sim"}) tableGeneMoments.insert(v);

  Option_bool opt_help("h", "help", false, "display the help menu");
  Option_string opt_goedges_filename("ge", "go_edges", "go_edges.dat", "file of GO edges");
  Option_string opt_gene_snp_filename("gs", "gene_snp", "gene_snp.dat", "file of gene-snp mapping");
  Option_string opt_go_gene_filename("gg", "go_gene", "go_gene.dat", "file of go-gene mapping");
  Option_string opt_kegg_gene_filename("kg", "kegg_gene", "kegg_gene.dat",
                                       "file of kegg-gene mapping");
  Option_string opt_snp_score_filename("sc", "score", "score.dat", "file of scores");
  Option_string opt_replace_miss("r", "replace", "zero",
                                 "replace missing scores" + tableReplaceMiss.get_csv_enclosed());
  Option_double opt_miss_val("mv", "miss_val", -999.0, "missing value code for scores");
  Option_string opt_Method("m", "method", "GO", "method " + tableMethod.get_csv_enclosed());
  Option_string opt_GeneScore("gl", "gene-level", "sqrtmean",
                              "gene-level scoring " + tableGeneScore.get_csv_enclosed() +
                                  ". Caution: max, mean are experimental");
  Option_string opt_GeneMoments("gm", "gene-moments", "nor",
                                "gene-level moments " + tableGeneMoments.get_csv_enclosed() +
                                    ". Caution: sim is experimental");
  Option_string opt_GeneSetScore("gsl", "gene-set-level", "wtdmean",
                                 "gene-set-level scoring " + tableGeneSetScore.get_csv_enclosed() +
                                     ". Caution: maxZ, meanZ are experimental");
  Option_string opt_go_type("gt", "go_type", "all",
                            "type of GO DAG " + tableGoType.get_csv_enclosed());
  Option_int opt_dist2gene("d", "dist", 50000,
                           "max absolute dist from SNP to gene start/stop, in bp distance");
  Option_int opt_max_set_size(
      "ms", "max_size", 30,
      "maximum no. genes in a set. Caution: Compute time increases with max_size");
  Option_int opt_nsim("ns", "nsim", 1000, "number of simualtions");
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
    return 1;
  }
  if (opt_help.getValue() || argc == 1) {
    print_banner(progString, 80);
    optGroup.printHelp();
    return 1;
  }

  std::string method = opt_Method.getValue();
  str_toupper(method);
  check_choice(tableMethod, method, opt_Method.getValue(), "error: invalid method: ");
  check_choice(tableReplaceMiss, opt_replace_miss.getValue(), opt_replace_miss.getValue(),
               "error: invalid replace: ");
  check_choice(tableGoType, opt_go_type.getValue(), opt_go_type.getValue(),
               "error: invalid go type: ");
  check_choice(tableGeneScore, opt_GeneScore.getValue(), opt_GeneScore.getValue(),
               "error: invalid gene score: ");
  check_choice(tableGeneMoments, opt_GeneMoments.getValue(), opt_GeneMoments.getValue(),
               "error: invalid gene moments: ");
  check_choice(tableGeneSetScore, opt_GeneSetScore.getValue(), opt_GeneSetScore.getValue(),
               "error: invalid gene set score: ");
  if (method == "GO" || method == "KEGG") {
    const std::string set_score = opt_GeneSetScore.getValue();
    const std::string moments = opt_GeneMoments.getValue();
    if (set_score == "wtdmean" && moments == "sim")
      fail_stdout("error: GeneSetScore = wtdmean and GeneMoments = sim not implemented");
    if (set_score == "wtdmean" && opt_GeneScore.getValue() == "max")
      fail_stdout("error: GeneSetScore = wtdmean and GeneScore = maxZ notimplemented");
    if ((set_score == "meanZ" || set_score == "maxZ") && moments == "nor")
      fail_stdout("error: GeneSetScore = meanZ or maxZ and GeneMoments = nor notimplemented");
  }
  optGroup.print("options and values used:");

  StopWatch timer;
  const int nsim = opt_nsim.getValue();
  print_banner("loading snp score file", 80);
  std::cout << std::endl;
  SNPData snpdat(opt_snp_score_filename.getValue(), static_cast<float>(opt_miss_val.getValue()),
                 opt_replace_miss.getValue());
  snpdat.set_seed(static_cast<long>(opt_seed.getValue()));
  if (method == "SNP") return run_snp_road(snpdat, nsim, timer, opt_csv_filename.getValue());

  print_banner("loading gene_snp file", 80);
  GENEData genedat(opt_GeneScore.getValue(), opt_GeneMoments.getValue(),
                   opt_gene_snp_filename.getValue(), opt_dist2gene.getValue(), snpdat);
  if (method == "GENE")
    return run_gene_road(snpdat, genedat, nsim, timer, opt_html_filename.getValue(),
                         opt_csv_filename.getValue());

  GOData godat;
  KEGGData keggdat;
  GeneSets gene_sets(opt_GeneSetScore.getValue(), opt_GeneScore.getValue(),
                     opt_GeneMoments.getValue());
  const GenesetRoadFiles files{opt_goedges_filename.getValue(),   opt_go_type.getValue(),
                               opt_go_gene_filename.getValue(),   opt_kegg_gene_filename.getValue(),
                               opt_html_filename.getValue(),      opt_csv_filename.getValue(),
                               opt_write_map_filename.getValue(), opt_max_set_size.getValue(),
                               opt_write_map.getValue()};
  return run_geneset_road(method, snpdat, genedat, godat, keggdat, gene_sets, nsim, timer, files);
}
