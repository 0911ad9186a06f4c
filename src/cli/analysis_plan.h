// The analysis plan: every option of a run read and checked once, at start-up, with the
// method and the scoring choices as enums. Nothing after start-up looks at option text again.
#pragma once

#include <string>

/// `sets` (gene sets from a GMT file) is named in the option's choices but not yet run.
enum class Method { snp, gene, go, kegg, sets };
/// How a gene's SNP statistics make its score.
enum class GeneScore { mean, sqrtmean, max };
/// Where a gene score's null moments come from: the normal approximation or simulation.
enum class GeneMoments { nor, sim };
/// How a set's gene scores make its score.
enum class GeneSetScore { wtdmean, mean_z, max_z };
/// Where the replicates come from: standard-normal subject weights, or subject permutations.
enum class Resample { multiplier, permutation };

/// The scoring of one gene-set run; the plan only builds the combinations that exist:
/// wtdmean with normal moments and a mean or sqrtmean gene score, mean_z and max_z with
/// simulated moments and any gene score.
struct SetScoring {
  GeneSetScore set_score = GeneSetScore::wtdmean;
  GeneScore gene_score = GeneScore::sqrtmean;
};

struct AnalysisPlan {
  Method method = Method::go;
  GeneScore gene_score = GeneScore::sqrtmean;
  GeneMoments gene_moments = GeneMoments::nor;
  GeneSetScore gene_set_score = GeneSetScore::wtdmean;
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

  SetScoring set_scoring() const { return SetScoring{gene_set_score, gene_score}; }
};

/// The option values as the user gave them, before any check.
struct PlanText {
  std::string method, replace_missing, go_type, gene_score, gene_moments, gene_set_score;
  std::string resample = "multiplier";
};

/// Checks the choices of `text` in a fixed order and fills the enums and checked strings of
/// `plan`; the first bad choice or unsupported combination stops the run on standard output.
void check_choices(const PlanText& text, AnalysisPlan& plan);

/// Reads the command line and the parameter file into `plan`, checks it and echoes the options.
/// False when the run ends here with status 1: help or version asked for, or no argument.
bool read_analysis_plan(int argc, char** argv, AnalysisPlan& plan);
