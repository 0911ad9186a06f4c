#include "stats/genesets.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <map>

#include "cli/fail.h"
#include "cli/print_banner.h"
#include "conventions.h"
#include "files/html.h"
#include "files/result_file.h"
#include "stats/simulation.h"

namespace {

float weight_from_variance(float v) {
  return v > kTolerance ? static_cast<float>(1.0 / static_cast<double>(v)) : 0.0f;
}

/// Inverse-variance weight of a gene whose score is the mean of its SNP statistics.
float mean_weight(const GENEData& genedat, int g) {
  return weight_from_variance(genedat.gene_cov[g][static_cast<std::size_t>(g)]);
}

/// Inverse-variance weight of a gene whose score is the square root of that mean: the delta
/// method scales the variance by a quarter.
float sqrtmean_weight(const GENEData& genedat, int g) {
  return weight_from_variance(genedat.gene_cov[g][static_cast<std::size_t>(g)] * 0.25f);
}

float cov_at(const GENEData& genedat, int g1, int g2) {
  return genedat.gene_cov[g1][static_cast<std::size_t>(g2)];
}

const Gene& gene_at(const GENEData& genedat, int g) {
  return genedat.genevec[static_cast<std::size_t>(g)];
}

/// Weighted mean of one gene value per gene of the set, 0 when no gene carries weight.
/// The genes of one set in a FlatGeneSets, as a range.
struct GeneSpan {
  const int* first;
  const int* last;
  const int* begin() const { return first; }
  const int* end() const { return last; }
  std::size_t size() const { return static_cast<std::size_t>(last - first); }
  bool empty() const { return first == last; }
};

GeneSpan genes_of(const FlatGeneSets& flat, std::size_t set) {
  return GeneSpan{flat.genes.data() + flat.begin[set], flat.genes.data() + flat.begin[set + 1]};
}

template <class Genes, class WeightFn, class ValueFn>
float weighted_mean(const Genes& genes, WeightFn weight, ValueFn value) {
  float wtd_sum = 0;
  float total_wt = 0;
  for (int g : genes) {
    const float w = weight(g);
    wtd_sum += w * value(g);
    total_wt += w;
  }
  return total_wt > kTolerance ? wtd_sum / total_wt : 0.0f;
}

template <class Genes, class ValueFn>
float mean_over_set(const Genes& genes, ValueFn value) {
  float sum = 0;
  for (int g : genes) sum += value(g);
  return genes.empty() ? 0.0f : sum / static_cast<float>(genes.size());
}

/// Largest value over the set, never below 0.
template <class Genes, class ValueFn>
float max_over_set(const Genes& genes, ValueFn value) {
  float max = 0;
  for (int g : genes) {
    const float v = value(g);
    max = max > v ? max : v;
  }
  return max;
}

struct NullMoments {
  float total_wt = 0;
  float mean = 0;
  float sd = 0;
};

NullMoments nor_mean_moments(const GENE_SET& set, const GENEData& genedat) {
  NullMoments m;
  float var_sum = 0;
  for (int g1 : set.gene_index_set) {
    const float w1 = mean_weight(genedat, g1);
    m.total_wt += w1;
    for (int g2 : set.gene_index_set)
      var_sum += w1 * mean_weight(genedat, g2) * cov_at(genedat, g1, g2);
  }
  if (m.total_wt > kTolerance) {
    m.sd = std::sqrt(var_sum / (m.total_wt * m.total_wt));
    m.mean = 1;
  }
  return m;
}

NullMoments nor_sqrtmean_moments(const GENE_SET& set, const GENEData& genedat) {
  NullMoments m;
  float mean_sum = 0;
  float var_sum = 0;
  for (int g1 : set.gene_index_set) {
    const float w1 = sqrtmean_weight(genedat, g1);
    mean_sum = static_cast<float>(
        static_cast<double>(mean_sum) +
        static_cast<double>(w1) * (static_cast<double>(cov_at(genedat, g1, g1)) * -0.125 + 1.0));
    m.total_wt += w1;
    for (int g2 : set.gene_index_set) {
      const float product = w1 * sqrtmean_weight(genedat, g2) * cov_at(genedat, g1, g2);
      var_sum =
          static_cast<float>(static_cast<double>(var_sum) + static_cast<double>(product) * 0.25);
    }
  }
  if (m.total_wt > kTolerance) {
    m.mean = mean_sum / m.total_wt;
    m.sd = std::sqrt(var_sum / (m.total_wt * m.total_wt));
  }
  return m;
}

/// A weighted-mean set score by its gene score: each gene's weight, and the set's analytic
/// null moments under those weights.
struct GeneWeighting {
  float (*weight)(const GENEData&, int);
  NullMoments (*moments)(const GENE_SET&, const GENEData&);
};
const GeneWeighting kMeanWeighting{mean_weight, nor_mean_moments};
const GeneWeighting kSqrtmeanWeighting{sqrtmean_weight, nor_sqrtmean_moments};

const GeneWeighting& weighting_of(GeneScore gene_score) {
  return gene_score == GeneScore::sqrtmean ? kSqrtmeanWeighting : kMeanWeighting;
}

float weighted_score(const GENE_SET& set, const GENEData& genedat, const GeneWeighting& by) {
  return weighted_mean(
      set.gene_index_set, [&](int g) { return by.weight(genedat, g); },
      [&](int g) { return gene_at(genedat, g).score; });
}

void weighted_scores(GeneSets& sets, const GENEData& genedat, const GeneWeighting& by) {
  for (GENE_SET& set : sets.geneset_vec) {
    set.count = static_cast<int>(set.gene_index_set.size());
    set.score = weighted_score(set, genedat, by);
  }
}

void analytic_moments(GeneSets& sets, const GENEData& genedat, const GeneWeighting& by) {
  for (GENE_SET& set : sets.geneset_vec) {
    set.count = static_cast<int>(set.gene_index_set.size());
    const NullMoments m = by.moments(set, genedat);
    set.null_mean = m.mean;
    set.null_sd = m.sd;
  }
}

/// How the z-score set scores (meanZ, maxZ) reduce the z-scores of a set's genes.
enum class Reducer { mean, max };

Reducer reducer_of(GeneSetScore set_score) {
  return set_score == GeneSetScore::max_z ? Reducer::max : Reducer::mean;
}

template <class Genes, class ValueFn>
float reduce(Reducer reducer, const Genes& genes, ValueFn value) {
  return reducer == Reducer::mean ? mean_over_set(genes, value) : max_over_set(genes, value);
}

void zscore_set_scores(GeneSets& sets, const GENEData& genedat, Reducer reducer) {
  for (GENE_SET& set : sets.geneset_vec)
    set.score =
        reduce(reducer, set.gene_index_set, [&](int g) { return gene_at(genedat, g).zscore; });
}

void sim_zscore_set_scores(GeneSets& sets, const GENEData& genedat, const FlatGeneSets& flat,
                           Reducer reducer) {
  for (std::size_t i = 0; i < sets.geneset_vec.size(); ++i)
    sets.geneset_vec[i].sim_score =
        reduce(reducer, genes_of(flat, i), [&](int g) { return gene_at(genedat, g).sim_zscore; });
}

GENE_SET new_gene_set(int term_index, const std::string& term_name, const std::set<int>& genes) {
  GENE_SET set;
  set.set_index.push_back(term_index);
  set.set_names.push_back(term_name);
  set.gene_index_set = genes;
  set.count = static_cast<int>(genes.size());
  set.sim_pval = 1;
  return set;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction

GeneSets::GeneSets(const Scoring& run_scoring) : scoring(run_scoring) {}

void GeneSets::set_max_set_size(int max) { max_set_size = max; }

namespace {

/// Adds one term's candidate genes: dropped when empty or too large, merged into an existing
/// set with exactly the same genes, otherwise a new set. `index_of_content` finds the existing
/// set in logarithmic time instead of a scan over all sets; the result is the same because
/// sets never repeat.
void add_candidate(GeneSets& sets, std::map<std::set<int>, std::size_t>& index_of_content,
                   int term_index, const std::string& term_name, const std::set<int>& candidate) {
  if (candidate.empty()) return;
  if (sets.max_set_size > 0 && static_cast<int>(candidate.size()) > sets.max_set_size) return;
  const auto found = index_of_content.find(candidate);
  if (found != index_of_content.end()) {
    GENE_SET& set = sets.geneset_vec[found->second];
    set.set_index.push_back(term_index);
    set.set_names.push_back(term_name);
    return;
  }
  index_of_content.emplace(candidate, sets.geneset_vec.size());
  sets.geneset_vec.push_back(new_gene_set(term_index, term_name, candidate));
}

std::map<std::set<int>, std::size_t> content_index(const GeneSets& sets) {
  std::map<std::set<int>, std::size_t> index;
  for (std::size_t i = 0; i < sets.geneset_vec.size(); ++i)
    index.emplace(sets.geneset_vec[i].gene_index_set, i);
  return index;
}

}  // namespace

void GeneSets::make_gene_sets(const GOData& godat, int maxSetSize) {
  set_max_set_size(maxSetSize);
  makeSetsMethod = "GO-" + godat.go_type;
  setIDLabel = "GOID";
  source = SetSource::go;
  auto index_of_content = content_index(*this);
  for (int igo = 0; igo < godat.nvertices; ++igo) {
    const GO& term = godat.govec[static_cast<std::size_t>(igo)];
    if (term.too_many_genes) continue;
    const std::set<int> candidate(term.genes_below.begin(), term.genes_below.end());
    add_candidate(*this, index_of_content, igo, term.name, candidate);
  }
}

void GeneSets::make_gene_sets(const KEGGData& keggdat, int maxSetSize) {
  set_max_set_size(maxSetSize);
  makeSetsMethod = "KEGG";
  setIDLabel = "KEGGID";
  source = SetSource::kegg;
  auto index_of_content = content_index(*this);
  for (std::size_t ikegg = 0; ikegg < keggdat.keggvec.size(); ++ikegg) {
    const KEGG& pathway = keggdat.keggvec[ikegg];
    const std::set<int> candidate(pathway.gene_index.begin(), pathway.gene_index.end());
    add_candidate(*this, index_of_content, static_cast<int>(ikegg), pathway.name, candidate);
  }
}

void GeneSets::make_gene_sets(const GMTData& gmtdat, int maxSetSize) {
  set_max_set_size(maxSetSize);
  makeSetsMethod = "SETS";
  setIDLabel = "SETID";
  source = SetSource::gmt;
  auto index_of_content = content_index(*this);
  set_descriptions.clear();
  for (std::size_t iset = 0; iset < gmtdat.sets.size(); ++iset) {
    const GMTSet& file_set = gmtdat.sets[iset];
    set_descriptions.push_back(file_set.description);
    const std::set<int> candidate(file_set.gene_index.begin(), file_set.gene_index.end());
    add_candidate(*this, index_of_content, static_cast<int>(iset), file_set.name, candidate);
  }
}

void GeneSets::print_geneset_summary(const std::string& title) const {
  print_banner(title, 80);
  std::cout << "Method to create sets: " << makeSetsMethod << std::endl;
  std::cout << "No. sets  = " << geneset_vec.size() << std::endl;
  // With no sets at all there is no first size to start from: every size line reads 0.
  int min = 0;
  int max = 0;
  float mean = 0;
  if (!geneset_vec.empty()) {
    min = geneset_vec[0].count;
    max = min;
    float sum = static_cast<float>(min);
    for (std::size_t i = 1; i < geneset_vec.size(); ++i) {
      const int size = static_cast<int>(geneset_vec[i].gene_index_set.size());
      min = size < min ? size : min;
      max = size > max ? size : max;
      sum += static_cast<float>(size);
    }
    mean = sum / static_cast<float>(geneset_vec.size());
  }
  std::cout.precision(2);
  std::cout << "min size  = " << min << std::endl;
  std::cout << "max size  = " << max << std::endl;
  std::cout << "mean size = " << mean << std::endl;
}

FlatGeneSets::FlatGeneSets(const std::vector<GENE_SET>& sets) {
  begin.reserve(sets.size() + 1);
  begin.push_back(0);
  for (const GENE_SET& set : sets) {
    genes.insert(genes.end(), set.gene_index_set.begin(), set.gene_index_set.end());
    begin.push_back(genes.size());
  }
}

FlatGeneSets::FlatGeneSets(const std::vector<GENE_SET>& sets, const GENEData& genedat,
                           float (*weight_of)(const GENEData&, int))
    : FlatGeneSets(sets) {
  weight.resize(genedat.genevec.size());
  for (std::size_t g = 0; g < weight.size(); ++g)
    weight[g] = weight_of(genedat, static_cast<int>(g));
}

bool compare_set_size(const GENE_SET& a, const GENE_SET& b) {
  return a.gene_index_set.size() < b.gene_index_set.size();
}

// ---------------------------------------------------------------------------------------------
// Gene covariances inside sets

void GENEData::compute_gene_cov2(SNPData& snpdat, GeneSets& gene_sets) {
  const auto n = static_cast<std::size_t>(ngene);
  gene_cov.set_size(ngene);
  // Genes that take part: used, with at least one used SNP.
  std::vector<int> used_snp_count(n, 0);
  for (int g = 0; g < ngene; ++g)
    if (genevec[static_cast<std::size_t>(g)].used)
      used_snp_count[static_cast<std::size_t>(g)] = count_used_snps(snpdat, g);

  // Every pair of genes that share a set needs its covariance, whichever set first meets
  // either gene: the set null variances read all of them. "Computed" is tracked apart from the
  // value, so a true covariance near 0 is computed once like any other. The walk visits
  // the sum of |set|^2 / 2 gene pairs, so it runs over plain vectors and one triangular bit matrix.
  std::vector<bool> diagonal_done(n, false);
  std::vector<bool> pair_done(n * (n > 0 ? n - 1 : 0) / 2);  // (g1, g2 < g1) at g1(g1-1)/2 + g2
  std::vector<std::pair<int, int>> pairs;  // in walk order; computed together below
  std::vector<int> diagonals;              // likewise
  std::vector<int> members;
  // Sets are taken in groups whose genes' SNP deviations fit deviation_memory, each group's
  // deviations given back before the next: a study's deviations are as large as its scores.
  // A covariance depends only on its two genes' deviations, so the grouping changes no value.
  const std::size_t per_snp =
      static_cast<std::size_t>(std::max(snpdat.nsubj - 1, 1)) * sizeof(float);
  std::vector<bool> in_group(n, false);
  std::vector<int> group_genes;
  std::size_t group_bytes = 0;
  const auto compute_group = [&] {
    const std::vector<float> variances = gene_self_covs(snpdat, diagonals, true);
    for (std::size_t k = 0; k < diagonals.size(); ++k)
      gene_cov[diagonals[k]][static_cast<std::size_t>(diagonals[k])] = variances[k];
    const std::vector<float> covs = gene_pair_covs(snpdat, pairs);
    for (std::size_t p = 0; p < pairs.size(); ++p) {
      const auto [g1, g2] = pairs[p];
      gene_cov[g1][static_cast<std::size_t>(g2)] = covs[p];
      gene_cov[g2][static_cast<std::size_t>(g1)] = covs[p];
    }
    snp_deviations.forget();
    diagonals.clear();
    pairs.clear();
    for (int g : group_genes) in_group[static_cast<std::size_t>(g)] = false;
    group_genes.clear();
    group_bytes = 0;
  };
  for (const GENE_SET& set : gene_sets.geneset_vec) {
    members.clear();  // the set's genes with data, ascending
    std::size_t new_bytes = 0;
    for (int g : set.gene_index_set) {
      const int count = used_snp_count[static_cast<std::size_t>(g)];
      if (count < 1) continue;
      members.push_back(g);
      if (!in_group[static_cast<std::size_t>(g)])
        new_bytes += static_cast<std::size_t>(count) * per_snp;
    }
    if (!group_genes.empty() && group_bytes + new_bytes > deviation_memory) {
      compute_group();
      new_bytes = 0;
      for (int g : members)
        new_bytes +=
            static_cast<std::size_t>(used_snp_count[static_cast<std::size_t>(g)]) * per_snp;
    }
    group_bytes += new_bytes;
    for (int g : members) {
      if (!in_group[static_cast<std::size_t>(g)]) {
        in_group[static_cast<std::size_t>(g)] = true;
        group_genes.push_back(g);
      }
    }
    for (std::size_t k1 = 0; k1 < members.size(); ++k1) {
      const auto i1 = static_cast<std::size_t>(members[k1]);
      if (!diagonal_done[i1]) {
        diagonals.push_back(members[k1]);
        diagonal_done[i1] = true;
      }
      const std::size_t row = i1 * (i1 - 1) / 2;  // unsigned: 0 for gene 0, which has no pair
      for (std::size_t k2 = 0; k2 < k1; ++k2) {
        const std::size_t at = row + static_cast<std::size_t>(members[k2]);
        if (pair_done[at]) continue;
        pair_done[at] = true;
        pairs.emplace_back(members[k1], members[k2]);
      }
    }
  }
  compute_group();
  // The deviations serve only these covariances: their pages go back before the simulation
  // takes its own.
  snp_deviations = SnpDeviations();
}

// ---------------------------------------------------------------------------------------------
// Set scores and null moments

void GeneSets::score_wtd_mean(GENEData& genedat) {
  weighted_scores(*this, genedat, kMeanWeighting);
}

void GeneSets::score_wtd_mean_sim(GENEData& genedat) {
  weighted_sim_scores(genedat, FlatGeneSets(geneset_vec, genedat, kMeanWeighting.weight));
}

void GeneSets::score_nor_mean_moments(GENEData& genedat) {
  analytic_moments(*this, genedat, kMeanWeighting);
}

void GeneSets::score_wtd_sqrtmean(GENEData& genedat) {
  weighted_scores(*this, genedat, kSqrtmeanWeighting);
}

void GeneSets::score_wtd_sqrtmean_sim(GENEData& genedat) {
  weighted_sim_scores(genedat, FlatGeneSets(geneset_vec, genedat, kSqrtmeanWeighting.weight));
}

void GeneSets::weighted_sim_scores(GENEData& genedat, const FlatGeneSets& flat) {
  for (std::size_t i = 0; i < geneset_vec.size(); ++i) {
    GENE_SET& set = geneset_vec[i];
    set.count = static_cast<int>(set.gene_index_set.size());
    set.sim_score = weighted_mean(
        genes_of(flat, i), [&](int g) { return flat.weight[static_cast<std::size_t>(g)]; },
        [&](int g) { return gene_at(genedat, g).sim_score; });
  }
}

void GeneSets::score_nor_sqrtmean_moments(GENEData& genedat) {
  analytic_moments(*this, genedat, kSqrtmeanWeighting);
}

void GeneSets::score_mean_gene_zscore(GENEData& genedat) {
  zscore_set_scores(*this, genedat, Reducer::mean);
}

void GeneSets::sim_score_mean_gene_zscore(GENEData& genedat) {
  sim_score_mean_gene_zscore(genedat, FlatGeneSets(geneset_vec));
}

void GeneSets::sim_score_mean_gene_zscore(GENEData& genedat, const FlatGeneSets& flat) {
  sim_zscore_set_scores(*this, genedat, flat, Reducer::mean);
}

void GeneSets::score_max_gene_zscore(GENEData& genedat) {
  zscore_set_scores(*this, genedat, Reducer::max);
}

void GeneSets::sim_score_max_gene_zscore(GENEData& genedat) {
  sim_score_max_gene_zscore(genedat, FlatGeneSets(geneset_vec));
}

void GeneSets::sim_score_max_gene_zscore(GENEData& genedat, const FlatGeneSets& flat) {
  sim_zscore_set_scores(*this, genedat, flat, Reducer::max);
}

// Unguarded on purpose: a set with no null spread gets an infinite or not-a-number z-score,
// which the ordering and the reports carry through.
void GeneSets::compute_zscore() {
  for (GENE_SET& set : geneset_vec) set.zscore = (set.score - set.null_mean) / set.null_sd;
}

void GeneSets::compute_zscore_sim() {
  for (GENE_SET& set : geneset_vec) set.sim_zscore = (set.sim_score - set.null_mean) / set.null_sd;
}

namespace {

void set_combined_result(GENE_SET& set, float score, const NullMoments& m) {
  if (m.total_wt > kTolerance) {
    set.score = score;
    set.null_mean = m.mean;
    set.null_sd = m.sd;
    set.zscore = (score - m.mean) / m.sd;
  } else {
    set.score = 0;
    set.null_mean = 0;
    set.null_sd = 0;
    set.zscore = 0;
  }
}

}  // namespace

void GeneSets::zscore_nor_mean(GENEData& genedat) {
  for (GENE_SET& set : geneset_vec) {
    set.count = static_cast<int>(set.gene_index_set.size());
    set_combined_result(set, weighted_score(set, genedat, kMeanWeighting),
                        kMeanWeighting.moments(set, genedat));
  }
}

void GeneSets::zscore_nor_sqrtmean(GENEData& genedat) {
  for (GENE_SET& set : geneset_vec) {
    set.count = static_cast<int>(set.gene_index_set.size());
    set_combined_result(set, weighted_score(set, genedat, kSqrtmeanWeighting),
                        kSqrtmeanWeighting.moments(set, genedat));
  }
}

// ---------------------------------------------------------------------------------------------
// Scoring by the plan: the observed scores and one simulated replicate, side by side

void GeneSets::compute_scores(SNPData& snpdat, GENEData& genedat) {
  switch (scoring.set_score) {
    case GeneSetScore::wtdmean:
      genedat.compute_gene_cov2(snpdat, *this);
      genedat.compute_score(snpdat);
      weighted_scores(*this, genedat, weighting_of(scoring.gene_score));
      analytic_moments(*this, genedat, weighting_of(scoring.gene_score));
      break;
    case GeneSetScore::mean_z:
    case GeneSetScore::max_z:
      genedat.compute_score(snpdat);
      genedat.compute_score_moments(snpdat);
      genedat.compute_zscore();
      zscore_set_scores(*this, genedat, reducer_of(scoring.set_score));
      sim_score_moments(snpdat, genedat);
      break;
  }
  compute_zscore();
}

namespace {

/// The sets' genes for the replicate loop, with the gene weights of the weighted-mean scores
/// computed once here rather than in every replicate.
FlatGeneSets replicate_view(const GeneSets& sets, const GENEData& genedat) {
  if (sets.scoring.set_score != GeneSetScore::wtdmean) return FlatGeneSets(sets.geneset_vec);
  return FlatGeneSets(sets.geneset_vec, genedat, weighting_of(sets.scoring.gene_score).weight);
}

/// One replicate of every set's simulated score; the SNP statistics are already redrawn.
void simulate_set_scores(GeneSets& sets, SNPData& snpdat, GENEData& genedat,
                         const FlatGeneSets& flat) {
  genedat.compute_score_sim(snpdat);
  switch (sets.scoring.set_score) {
    case GeneSetScore::wtdmean:
      sets.weighted_sim_scores(genedat, flat);  // flat carries the weights of the gene score
      break;
    case GeneSetScore::mean_z:
      genedat.compute_zscore_sim();
      sets.sim_score_mean_gene_zscore(genedat, flat);
      break;
    case GeneSetScore::max_z:
      genedat.compute_zscore_sim();
      sets.sim_score_max_gene_zscore(genedat, flat);
      break;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Simulation and step-down

void GeneSets::sim_score_moments(SNPData& snpdat, GENEData& genedat) {
  const FlatGeneSets flat = replicate_view(*this, genedat);
  const SimulatedMoments moments =
      simulate_moments(snpdat, geneset_vec.size(), [&](std::vector<float>& sim) {
        simulate_set_scores(*this, snpdat, genedat, flat);
        for (std::size_t i = 0; i < geneset_vec.size(); ++i) sim[i] = geneset_vec[i].sim_score;
      });
  for (std::size_t i = 0; i < geneset_vec.size(); ++i) {
    geneset_vec[i].null_mean = moments.mean[i];
    geneset_vec[i].null_sd = moments.sd[i];
  }
}

void GeneSets::stepDownPval(int nsim, SNPData& snpdat, GENEData& genedat) {
  std::vector<float> observed;
  observed.reserve(geneset_vec.size());
  for (const GENE_SET& set : geneset_vec) observed.push_back(set.zscore);
  const FlatGeneSets flat = replicate_view(*this, genedat);
  const std::vector<float> pval =
      simulate_step_down(snpdat, observed, nsim, [&](std::vector<float>& sim) {
        simulate_set_scores(*this, snpdat, genedat, flat);
        compute_zscore_sim();
        for (std::size_t i = 0; i < geneset_vec.size(); ++i) sim[i] = geneset_vec[i].sim_zscore;
      });
  for (std::size_t i = 0; i < geneset_vec.size(); ++i) geneset_vec[i].sim_pval = pval[i];
}

void GeneSets::compute_geneset_gene_rank(GENEData& genedat) {
  for (GENE_SET& set : geneset_vec)
    set.gene_rank =
        mean_over_set(set.gene_index_set, [&](int g) { return gene_at(genedat, g).gene_rank; });
}

void GeneSets::sim_compute_geneset_stats(GENEData& genedat) {
  for (GENE_SET& set : geneset_vec) {
    set.sim_count = static_cast<int>(set.gene_index_set.size());
    float total_wt = 0;
    float wtd_sqrt_sum = 0;
    float null_mean_sum = 0;
    float var_sum = 0;
    for (int g1 : set.gene_index_set) {
      const float w1 = sqrtmean_weight(genedat, g1);
      total_wt += w1;
      wtd_sqrt_sum += w1 * std::sqrt(gene_at(genedat, g1).sim_score);
      null_mean_sum += w1 * (1.0f - 0.125f * cov_at(genedat, g1, g1));
      for (int g2 : set.gene_index_set)
        var_sum += w1 * sqrtmean_weight(genedat, g2) * cov_at(genedat, g1, g2) * 0.25f;
    }
    // A set without weight has nothing to standardise: all its values stay 0.
    set.sim_mean = 0;
    set.sim_var = 0;
    set.sim_zscore = 0;
    if (total_wt > kTolerance) {
      set.sim_mean = wtd_sqrt_sum / total_wt;
      const float local_null_mean = null_mean_sum / total_wt;
      set.sim_var = var_sum / (total_wt * total_wt);
      set.sim_zscore = (set.sim_mean - local_null_mean) / std::sqrt(set.sim_var);
    }
  }
}

std::vector<std::size_t> GeneSets::report_order() const {
  std::vector<std::size_t> order(geneset_vec.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  const auto zscore = [&](std::size_t i) { return geneset_vec[i].zscore; };
  const auto nan_sets = std::stable_partition(
      order.begin(), order.end(), [&](std::size_t i) { return !std::isnan(zscore(i)); });
  // Stable: sets with equal z-scores keep the order in which they were made, whatever the
  // standard library's sort does with ties, so a seed gives the same files everywhere.
  std::stable_sort(order.begin(), nan_sets, [&](std::size_t a, std::size_t b) {
    return GeneSet_greater_zscore(geneset_vec[a], geneset_vec[b]);
  });
  return order;
}

bool GeneSet_greater_zscore(const GENE_SET& set1, const GENE_SET& set2) {
  // Not-a-number z-scores sort after every number and tie among themselves, which keeps the
  // comparison a strict weak ordering.
  if (std::isnan(set2.zscore)) return !std::isnan(set1.zscore);
  return set1.zscore > set2.zscore;
}

// ---------------------------------------------------------------------------------------------
// Reports

void GeneSets::print_gene_sets_csv(const std::string& outfile, GENEData& genedat) const {
  ResultFile result(outfile);
  if (!result.is_open_or_warn("csv")) return;
  std::ostream& out = result.out;
  out.precision(4);
  out << setIDLabel << ",   variable,   value\n";
  int k = 0;
  for (std::size_t i : report_order()) {
    const GENE_SET& set = geneset_vec[i];
    ++k;
    out << k << ", num_genes, " << set.gene_index_set.size() << '\n';
    out << k << ", score    , " << set.score << '\n';
    out << k << ", mean     , " << set.null_mean << '\n';
    out << k << ", sd       , " << set.null_sd << '\n';
    out << k << ", zscore   , " << set.zscore << '\n';
    out << k << ", pval     , " << set.sim_pval << '\n';
    for (int g : set.gene_index_set) out << k << ", geneID, " << gene_at(genedat, g).name << '\n';
    for (const std::string& name : set.set_names)
      out << k << ", " << setIDLabel << ", " << name << '\n';
  }
  result.commit();
}

void GeneSets::print_gene_sets_html(const std::string& outfile, GENEData& genedat) const {
  switch (source) {
    case SetSource::go:
      print_go_gene_sets_html(outfile, genedat);
      break;
    case SetSource::kegg:
      print_kegg_gene_sets_html(outfile, genedat);
      break;
    case SetSource::gmt:
      print_gmt_gene_sets_html(outfile, genedat);
      break;
  }
}

namespace {

void write_html_head(std::ostream& out, const std::string& h1_line, const std::string& last_cell) {
  out << "<HTML>\n<TITLE> Halvorix Results </TITLE>\n</HEAD>\n<BODY>\n";
  out << h1_line << '\n';
  out << "<table border=\"1\", cellpadding = \"5\">\n";
  out << "<tr>\n<td>gene set</td>\n<td>no. genes</td>\n<td>score</td>\n<td>mean</td>\n"
         "<td>sd</td>\n<td>z-score</td>\n<td>p-value</td>\n<td>genes in set\n"
      << last_cell << "\n</tr>\n";
}

void write_html_link(std::ostream& out, const std::string& address, const std::string& text) {
  out << "<li><A HREF=\"" << html_escape(address) << "\">" << html_escape(text) << "</A></li>\n";
}

/// One table row; `write_term(out, term_index, name)` writes the list item of each of the
/// set's terms, pathways or file sets.
template <class TermFn>
void write_html_row(std::ostream& out, int k, const GENE_SET& set, const GENEData& genedat,
                    TermFn write_term) {
  out << "<tr>\n<td>" << k << "</td>\n";
  out << "<td>" << set.gene_index_set.size() << "</td>\n";
  out << "<td>" << set.score << "</td>\n";
  out << "<td>" << set.null_mean << "</td>\n";
  out << "<td>" << set.null_sd << "</td>\n";
  out << "<td>" << set.zscore << "</td>\n";
  out << "<td>" << set.sim_pval << "</td>\n";
  out << "<td>\n<ul>\n";
  for (int g : set.gene_index_set) {
    const std::string& name = gene_at(genedat, g).name;
    write_html_link(out, std::string(kGeneDatabase) + "/gene?term=" + percent_encode(name), name);
  }
  out << "</ul></td><td>\n<ul>\n";
  for (std::size_t j = 0; j < set.set_names.size(); ++j)
    write_term(out, set.set_index[j], set.set_names[j]);
  out << "</ul></td></tr>\n";
}

void write_html_tail(std::ostream& out) { out << "</table>\n</BODY>\n</HTML>\n"; }

}  // namespace

void GeneSets::print_go_gene_sets_html(const std::string& outfile, GENEData& genedat) const {
  ResultFile result(outfile);
  if (!result.is_open_or_warn("html")) return;
  std::ostream& out = result.out;
  out.precision(4);
  write_html_head(out, "<H1> Gene-Set Analyses: " + makeSetsMethod + "</H1>",
                  "<td>GO terms with set");
  const auto go_term = [](std::ostream& item, int, const std::string& name) {
    write_html_link(
        item, std::string(kGoBrowser) + "/cgi-bin/amigo/term_details?term=" + percent_encode(name),
        name);
  };
  int k = 0;
  for (std::size_t i : report_order()) write_html_row(out, ++k, geneset_vec[i], genedat, go_term);
  write_html_tail(out);
  result.commit();
}

void GeneSets::print_kegg_gene_sets_html(const std::string& outfile, GENEData& genedat) const {
  ResultFile result(outfile);
  if (!result.is_open_or_warn("html")) return;
  std::ostream& out = result.out;
  out.precision(4);
  write_html_head(out, "<H1> Gene-Set Analyses: KEGG </H1>", "<td>KEGG PATHWAY");
  const auto pathway = [](std::ostream& item, int, const std::string& name) {
    write_html_link(
        item,
        std::string(kPathwayDatabase) + "/dbget-bin/www_bget?pathway:hsa" + percent_encode(name),
        name);
  };
  int k = 0;
  for (std::size_t i : report_order()) write_html_row(out, ++k, geneset_vec[i], genedat, pathway);
  write_html_tail(out);
  result.commit();
}

void GeneSets::print_gmt_gene_sets_html(const std::string& outfile, GENEData& genedat) const {
  ResultFile result(outfile);
  if (!result.is_open_or_warn("html")) return;
  std::ostream& out = result.out;
  out.precision(4);
  write_html_head(out, "<H1> Gene-Set Analyses: SETS </H1>", "<td>gene sets (GMT)");
  const auto file_set = [this](std::ostream& item, int set_index, const std::string& name) {
    const auto at = static_cast<std::size_t>(set_index);
    const std::string description = at < set_descriptions.size() ? set_descriptions[at] : "";
    if (is_web_address(description))
      write_html_link(item, description, name);
    else
      item << "<li>" << html_escape(name) << "</li>\n";
  };
  int k = 0;
  for (std::size_t i : report_order()) write_html_row(out, ++k, geneset_vec[i], genedat, file_set);
  write_html_tail(out);
  result.commit();
}

void GeneSets::print_set_mappings(const std::string& outfile, const SNPData& snpdat,
                                  const GENEData& genedat) const {
  ResultFile result(outfile);
  if (!result.is_open_or_warn("map")) return;
  std::ostream& out = result.out;
  out << "setID, gene, snp\n";
  int k = 0;
  for (std::size_t i : report_order()) {
    ++k;
    for (int g : geneset_vec[i].gene_index_set) {
      const Gene& gene = gene_at(genedat, g);
      if (!gene.used) continue;
      // Only the SNPs in use, wherever they stand in the gene's list.
      for (std::size_t j = 0; j < gene.snp.size(); ++j)
        if (snpdat.snpvec[static_cast<std::size_t>(gene.snp_index[j])].used)
          out << k << ", " << gene.name << ", " << gene.snp[j] << '\n';
    }
  }
  result.commit();
}

void GeneSets::print_gene_sets(const std::string& title, GENEData& genedat) const {
  print_banner(title, 80);
  std::cout << "Method to create sets: " << makeSetsMethod << std::endl;
  int k = 0;
  for (const GENE_SET& set : geneset_vec) {
    ++k;
    std::cout << "gene set[" << k << "]: " << std::endl;
    std::cout << "               set size = " << set.gene_index_set.size() << std::endl;
    std::cout << "                  score = " << set.score << std::endl;
    std::cout << "                   mean = " << set.null_mean << std::endl;
    std::cout << "                     sd = " << set.null_sd << std::endl;
    std::cout << "                 zscore = " << set.zscore << std::endl;
    std::cout << "                   pval = " << set.sim_pval << std::endl;
    std::cout << std::endl;
    std::cout << "            genes in set: ";
    for (int g : set.gene_index_set) std::cout << gene_at(genedat, g).name << ", ";
    std::cout << std::endl;
    std::cout << "       gene index in set: ";
    for (int g : set.gene_index_set) std::cout << g << ", ";
    std::cout << std::endl;
    std::cout << "  sets with these genes: ";
    for (const std::string& name : set.set_names) std::cout << " set = " << name << ", ";
    std::cout << std::endl << std::endl;
  }
}
