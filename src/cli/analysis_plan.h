// The analysis plan: every option of a run read and checked once, at start-up, with the
// method and the scoring choices as enums. Nothing after start-up looks at option text again.
#pragma once

#include <string>

#include "stats/scoring.h"

/// `sets`: gene sets from a GMT file, on the road of the KEGG pathways.
enum class Method { snp, gene, go, kegg, sets };
/// Where the replicates come from: standard-normal subject weights, or subject permutations.
enum class Resample { multiplier, permutation };

struct AnalysisPlan {
  Method method = Method::go;
  Scoring scoring;  ///< read by reference by GENEData and GeneSets
  Resample resample = Resample::multiplier;
  std::string replace_missing = "zero";  ///< "zero" or "mean", checked
  std::string go_type = "all";           ///< "all" or one GO namespace, checked
  float miss_val = -999.0f;
  int dist2gene = 50000;
  int max_set_size = 30;
  int nsim = 1000;
  long seed = -9;
  bool map_write = false;
  std::string score_file, gene_snp_file, go_edges_file, go_gene_file, kegg_gene_file,
      gene_sets_file;
  std::string html_output, csv_output, map_output;
};

/// The option values as the user gave them, before any check.
struct PlanText {
  std::string method, replace_missing, go_type, gene_score, gene_moments, gene_set_score;
  std::string resample = "multiplier";
};

/// Upper-cases the ASCII letters of `s` in place (the default locale's toupper); every other
/// byte is left as it is.
void str_toupper(std::string& s);

/// Checks the choices of `text` in a fixed order and fills the enums and checked strings of
/// `plan`; the first bad choice or unsupported combination stops the run on standard output.
void check_choices(const PlanText& text, AnalysisPlan& plan);

/// Why the plan's outputs may not be written (one is an input, another output, or a link not
/// followed), naming the options; empty when they may. Only the files the method uses count.
std::string output_clash(const AnalysisPlan& plan, const std::string& parfile);

/// Reads the command line and the parameter file into `plan`, checks it and echoes the options.
/// False when the run ends here with status 1: help or version asked for, or no argument.
bool read_analysis_plan(int argc, char** argv, AnalysisPlan& plan);
