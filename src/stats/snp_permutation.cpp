// The permutation null of SNPData: replicates that permute a compact file's residuals among the
// subjects, and the observed statistics they are compared with.
#include <algorithm>
#include <cmath>

#include "cli/fail.h"
#include "engine/parallel_for.h"
#include "stats/snp.h"

void SNPData::use_permutation_null() {
  if (!scoremat.coded) {
    fail_stderr("error: " + snp_score_filename +
                " holds scores, not the genotypes and residuals that --resample permutation "
                "permutes: make a compact score file with halvorix-prep scores ... --format "
                "compact");
  }
  if (missing_method != "zero")
    fail_stderr(
        "error: --resample permutation needs --replace zero: a missing genotype stays "
        "with its subject and scores 0");
  permute_residuals = true;
  centred_genotypes.attach(scoremat.compact);
  const double* residuals = scoremat.compact.residuals;
  replicates.draw_with(
      [residuals, perm = std::vector<int>()](MTRand& rng, int n, double* out) mutable {
        draw_permuted_residuals(rng, residuals, n, perm, out);
      });
  replicates.reset();
  used_scores_stale = true;
}

void SNPData::prepare_permuted_scores() {
  const int nused = static_cast<int>(snp_used_index.size());
  centred_genotypes.rows = &scoremat.compact;  // this object's, should it have been moved
  used_centred.nsnp = nused;
  used_centred.nsubj = nsubj;
  used_centred.nblocks = (nused + kSnpBlock - 1) / kSnpBlock;
  used_centred.missing_code = scoremat.missing;
  used_centred.missing_bound = missing_bound();
  used_centred.largest_residual = 0;
  for (int i = 0; i < nsubj; ++i)
    used_centred.largest_residual =
        std::max(used_centred.largest_residual, std::fabs(scoremat.compact.residuals[i]));
  used_centred.fill_block = [this, nused](int b, double* out) {
    const int first = b * kSnpBlock;
    return centred_genotypes.fill_block(snp_used_index.data() + first,
                                        std::min(kSnpBlock, nused - first), out);
  };
  // The observed statistic is the replicate of the identity permutation, by the same kernel.
  used_scores.nsnp = nused;
  used_scores.nsubj = nsubj;
  used_scores.nblocks = used_centred.nblocks;
  used_scores.observed_sum.resize(static_cast<std::size_t>(nused));
  used_scores.observed_ssq.resize(static_cast<std::size_t>(nused));
  permuted_snp_sums(used_centred, scoremat.compact.residuals, 1, used_scores.observed_sum.data(),
                    used_scores.observed_ssq.data(), kernel_path(), worker_threads());
  used_scores_stale = false;
}
