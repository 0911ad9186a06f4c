// Halvorix: tests SNPs, genes and gene sets for association with a trait from a matrix of
// per-subject SNP scores. main() reads the analysis plan, then follows the road of the chosen
// method: load, score, simulate, report. Each level's step-down operation runs the simulations.
#include <iostream>
#include <optional>
#include <string>

#include "cli/StopWatch.h"
#include "cli/analysis_plan.h"
#include "cli/out_of_memory.h"
#include "cli/print_banner.h"
#include "cli/shared_plan.h"
#include "engine/distributed.h"
#include "files/output_policy.h"
#include "stats/gene.h"
#include "stats/genesets.h"
#include "stats/gmt.h"
#include "stats/go.h"
#include "stats/kegg.h"
#include "stats/snp.h"

namespace {

void print_simulation_report(int nsim, const SNPData& snpdat, const StopWatch& timer) {
  print_banner("summary of simulations", 80);
  std::cout << "Simulations completed, nsim = " << nsim << std::endl;
  std::cout << "seed = " << snpdat.random_seed << std::endl;
  std::cout << "Time (clock) for simulations: " << timer.wall_time() << std::endl;
}

void score_snps(SNPData& snpdat) {
  const MemoryActivity activity("computing the SNP statistics");
  snpdat.make_snp_used_index();
  snpdat.compute_x_stat();
  snpdat.compute_rank_x_stat();
}

int run_snp_road(const AnalysisPlan& plan, SNPData& snpdat, StopWatch& timer) {
  snpdat.set_all_used();
  score_snps(snpdat);
  if (plan.nsim > 0) {
    const MemoryActivity activity("simulating the SNP statistics");
    timer.start();
    snpdat.stepDownPval(plan.nsim);
    timer.stop();
    print_simulation_report(plan.nsim, snpdat, timer);
  }
  const MemoryActivity activity("writing the results");
  snpdat.print_snp_stats_csv(plan.csv_output);
  return 0;
}

int run_gene_road(const AnalysisPlan& plan, SNPData& snpdat, GENEData& genedat, StopWatch& timer) {
  score_snps(snpdat);
  {
    const MemoryActivity activity("computing the gene scores and their null moments");
    genedat.all_genes_used();
    genedat.compute_score(snpdat);
    genedat.compute_score_moments(snpdat);
    genedat.compute_zscore();
    genedat.compute_gene_snp_rank(snpdat);
  }
  snpdat.print_summary("summary of snp scores");
  genedat.print_summary("summary of gene data");

  timer.start();
  {
    const MemoryActivity activity("simulating the gene scores");
    genedat.stepDownPval(plan.nsim, snpdat);
  }
  timer.stop();
  print_simulation_report(plan.nsim, snpdat, timer);

  const MemoryActivity activity("writing the results");
  genedat.print_gene_stats_html(plan.html_output);
  genedat.print_gene_stats_csv(plan.csv_output);
  return 0;
}

void load_go_sets(const AnalysisPlan& plan, GENEData& genedat, GOData& godat, GeneSets& gene_sets,
                  StopWatch& timer) {
  timer.start();
  print_banner("loading go edges file", 80);
  godat.makeGO(plan.go_edges_file, plan.go_type);
  timer.stop();
  std::cout << std::endl << "Time (clock) to load go data: " << timer.wall_time() << std::endl;
  print_banner("loading go_gene file", 80);
  timer.start();
  godat.load_go_gene(plan.go_gene_file, genedat);
  timer.stop();
  std::cout << "Time (clock) to load go_gene file: " << timer.wall_time() << std::endl;
  godat.find_gene_sets(plan.max_set_size);
  gene_sets.make_gene_sets(godat, plan.max_set_size);
}

void load_kegg_sets(const AnalysisPlan& plan, GENEData& genedat, KEGGData& keggdat,
                    GeneSets& gene_sets, StopWatch& timer) {
  timer.start();
  print_banner("loading kegg-gene file", 80);
  keggdat.makeKEGG(plan.kegg_gene_file, genedat);
  timer.stop();
  std::cout << std::endl << "Time (clock) to load kegg data: " << timer.wall_time() << std::endl;
  gene_sets.make_gene_sets(keggdat, plan.max_set_size);
}

void load_gmt_sets(const AnalysisPlan& plan, GENEData& genedat, GMTData& gmtdat,
                   GeneSets& gene_sets, StopWatch& timer) {
  timer.start();
  print_banner("loading gene-sets file", 80);
  gmtdat.makeGMT(plan.gene_sets_file, genedat);
  timer.stop();
  std::cout << std::endl << "Time (clock) to load gene sets: " << timer.wall_time() << std::endl;
  gene_sets.make_gene_sets(gmtdat, plan.max_set_size);
}

int run_geneset_road(const AnalysisPlan& plan, SNPData& snpdat, GENEData& genedat,
                     StopWatch& timer) {
  GOData godat;
  KEGGData keggdat;
  GMTData gmtdat;
  GeneSets gene_sets(plan.scoring);
  {
    const MemoryActivity activity("loading the gene sets");
    if (plan.method == Method::go)
      load_go_sets(plan, genedat, godat, gene_sets, timer);
    else if (plan.method == Method::sets)
      load_gmt_sets(plan, genedat, gmtdat, gene_sets, timer);
    else
      load_kegg_sets(plan, genedat, keggdat, gene_sets, timer);
  }

  score_snps(snpdat);
  {
    const MemoryActivity activity("computing the gene and gene-set scores and their null moments");
    genedat.compute_gene_snp_rank(snpdat);
    gene_sets.compute_scores(snpdat, genedat);
    genedat.compute_gene_rank();
    gene_sets.compute_geneset_gene_rank(genedat);
  }

  if (plan.method == Method::go) {
    godat.print_summary("summary of GO graph");
    godat.print_degrees_freq_table("edges in & out of nodes");
  } else if (plan.method == Method::sets) {
    gmtdat.print_summary("summary of gene sets file");
  } else {
    keggdat.print_summary("summary of KEGG structure");
  }
  snpdat.print_summary("summary of snp scores");
  genedat.print_summary("summary of gene data");
  gene_sets.print_geneset_summary("summary of gene sets");

  timer.start();
  {
    const MemoryActivity activity("simulating the gene-set scores");
    gene_sets.stepDownPval(plan.nsim, snpdat, genedat);
  }
  timer.stop();
  print_simulation_report(plan.nsim, snpdat, timer);

  const MemoryActivity activity("writing the results");

  gene_sets.print_gene_sets_html(plan.html_output, genedat);
  gene_sets.print_gene_sets_csv(plan.csv_output, genedat);
  if (plan.map_write) gene_sets.print_set_mappings(plan.map_output, snpdat, genedat);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  install_out_of_memory_handler();
  const DistributedRun distributed(argc, argv);
  install_output_signal_handlers();
  AnalysisPlan plan;
  {
    const MemoryActivity activity("reading the options");
    if (!read_analysis_plan(argc, argv, plan)) return 1;
  }
  share_plan(plan);

  StopWatch timer;
  print_banner("loading snp score file", 80);
  std::cout << std::endl;
  std::optional<MemoryActivity> loading(std::in_place, "loading the SNP score file");
  SNPData snpdat(plan.score_file, plan.miss_val, plan.replace_missing);
  if (plan.resample == Resample::permutation) snpdat.use_permutation_null();
  snpdat.set_seed(plan.seed);
  loading.reset();
  if (plan.method == Method::snp) return run_snp_road(plan, snpdat, timer);

  print_banner("loading gene_snp file", 80);
  loading.emplace("loading the gene-SNP map");
  GENEData genedat(plan.scoring, plan.gene_snp_file, plan.dist2gene, snpdat);
  loading.reset();
  if (plan.method == Method::gene) return run_gene_road(plan, snpdat, genedat, timer);
  return run_geneset_road(plan, snpdat, genedat, timer);
}
