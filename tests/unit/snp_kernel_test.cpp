#include "engine/snp_kernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "engine/replicate_batches.h"
#include "stats/snp.h"

namespace {
/// Random scores with the awkward cases mixed in: zero rows, missing-like codes, huge and tiny
/// magnitudes, exact zeros.
std::vector<std::vector<float>> random_scores(std::mt19937& rng, int nsnp, int nsubj) {
  std::normal_distribution<float> normal(0.0f, 1.0f);
  std::uniform_int_distribution<int> kind(0, 9);
  std::vector<std::vector<float>> rows(static_cast<std::size_t>(nsnp));
  for (auto& row : rows) {
    const int row_kind = kind(rng);
    for (int j = 0; j < nsubj; ++j) {
      float v = normal(rng);
      if (row_kind == 0) v = 0.0f;
      if (row_kind == 1 && j % 3 == 0) v = -999.0f;
      if (row_kind == 2) v *= 1e-5f;
      if (row_kind == 3) v *= 1e4f;
      row.push_back(v);
    }
  }
  return rows;
}

/// Every instruction-set path this build can run here, the baseline included.
std::vector<KernelPath> supported_paths() {
  std::vector<KernelPath> paths;
  for (KernelPath path : {KernelPath::baseline, KernelPath::avx2, KernelPath::avx512})
    if (kernel_path_supported(path)) paths.push_back(path);
  return paths;
}

/// Random scores in memory, SNPs named s0, s1, ...; with `missing`, some cells hold -999.
SNPData scores_in_memory(unsigned seed, int nsnp, int nsubj, bool missing,
                         const std::string& method) {
  std::mt19937 rng(seed);
  auto rows = random_scores(rng, nsnp, nsubj);
  std::vector<std::string> names;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    names.push_back("s" + std::to_string(k));
    if (missing)
      for (std::size_t j = 0; j < rows[k].size(); ++j)
        if ((k * 7 + j) % 23 == 0) rows[k][j] = -999.0f;
  }
  return SNPData(names, rows, -999.0f, method);
}

void use_all_but_every(SNPData& d, int step) {
  d.set_all_used();
  for (int k = 0; k < d.nsnp; k += step) d.snpvec[static_cast<std::size_t>(k)].used = false;
  d.make_snp_used_index();
}

/// Starts the random stream afresh (the pending second normal deviate is shared by every
/// generator) and, when `planned` > 0, announces that many replicates.
void start(SNPData& d, long seed, int planned = 0) {
  MTRand::iset = 0;
  d.set_seed(seed);
  if (planned > 0) d.plan_replicates(planned);
}

/// The statistics of the next `n` replicates.
std::vector<std::vector<float>> draw(SNPData& d, int n) {
  std::vector<std::vector<float>> stats;
  for (int r = 0; r < n; ++r) {
    d.random_x_stat();
    stats.push_back(d.get_sim_x_stat());
  }
  return stats;
}

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }
}  // namespace

TEST(SimulateSnpStats, BitIdenticalToTheOneSnpLoop) {
  std::mt19937 rng(20261206);
  std::normal_distribution<double> normal(0.0, 1.0);
  for (int nsubj : {1, 2, 3, 7, 16, 33, 101}) {
    for (int nsnp : {1, 5, 16, 17, 40}) {
      const auto rows = random_scores(rng, nsnp, nsubj);
      std::vector<const float*> pointers;
      for (const auto& row : rows) pointers.push_back(row.data());
      BlockedScores blocked;
      blocked.assign(pointers, nsubj);
      // Every count up to the kernel's batch, then counts past it (40 once overflowed a
      // 32-replicate array on the stack): the chunks of accumulators follow one another.
      for (int nrep = 1; nrep <= kMaxReplicateBatch + 45;
           nrep += nrep < kMaxReplicateBatch ? 1 : 8) {
        std::vector<double> weights(static_cast<std::size_t>(nrep * nsubj));
        for (double& w : weights) w = normal(rng);
        for (KernelPath path : supported_paths()) {
          std::vector<float> out(static_cast<std::size_t>(nrep * nsnp));
          simulate_snp_stats(blocked, weights.data(), nrep, out.data(), path, 1 + nrep % 2);
          for (int r = 0; r < nrep; ++r) {
            for (int k = 0; k < nsnp; ++k) {
              const float expected = snp_statistic_weighted(
                  rows[static_cast<std::size_t>(k)].data(), weights.data() + r * nsubj, nsubj);
              ASSERT_TRUE(same_bits(out[static_cast<std::size_t>(r * nsnp + k)], expected))
                  << "path " << static_cast<int>(path) << " nsubj " << nsubj << " nsnp " << nsnp
                  << " replicate " << r << " snp " << k;
            }
          }
        }
      }
    }
  }
}

TEST(SimulateSnpStats, BatchedReplicatesMatchTheStreamOneByOne) {
  // Two copies of the same data and seed: one draws replicates one at a time, the other
  // announces them and gets batches. SNPs not in use, missing codes in some rows and an odd
  // subject count included, so the saved second normal deviate straddles replicates.
  SNPData one = scores_in_memory(5, 37, 11, true, "mean"),
          batched = scores_in_memory(5, 37, 11, true, "mean");
  for (SNPData* d : {&one, &batched}) use_all_but_every(*d, 4);
  start(one, 99);
  const auto expected = draw(one, 21);
  start(batched, 99, 21);
  for (int r = 0; r < 21; ++r) {
    if (r == 3) batched.plan_replicates(21 - r - 5);  // an announcement short of the truth
    batched.random_x_stat();
    const std::vector<float> got = batched.get_sim_x_stat();
    for (std::size_t k = 0; k < got.size(); ++k)
      ASSERT_TRUE(same_bits(got[k], expected[static_cast<std::size_t>(r)][k])) << r << " " << k;
  }
  EXPECT_EQ(one.randGenerator.randInt(), batched.randGenerator.randInt());
}

TEST(SimulateSnpStats, SkippedReplicatesLeaveTheRestOfTheRunAsItWas) {
  // A process that takes replicates [9, 30) of a run skips 9 and then gets what the whole run
  // gets for them: skipping in the middle of a batch already drawn, or before any is drawn.
  SNPData whole = scores_in_memory(8, 21, 13, false, "zero"),
          part = scores_in_memory(8, 21, 13, false, "zero"),
          fresh = scores_in_memory(8, 21, 13, false, "zero");
  for (SNPData* d : {&whole, &part, &fresh}) use_all_but_every(*d, 100);
  start(whole, 31, 30);
  const auto expected = draw(whole, 30);
  start(part, 31, 30);
  part.random_x_stat();
  part.skip_replicates(8);
  start(fresh, 31);
  fresh.skip_replicates(9);
  fresh.plan_replicates(21);
  for (SNPData* d : {&part, &fresh}) {
    const auto got = draw(*d, 21);
    for (std::size_t r = 0; r < got.size(); ++r)
      for (std::size_t k = 0; k < got[r].size(); ++k)
        ASSERT_TRUE(same_bits(got[r][k], expected[r + 9][k])) << (d == &part) << " " << r;
  }
}

TEST(SimulateSnpStats, UsedSnpsChangedMidBatchKeepTheBatchWeights) {
  // The used SNPs change after 3 of 10 announced replicates: the rest of the batch is computed
  // again from the weights already drawn, so each replicate is what one-by-one drawing gives.
  SNPData one = scores_in_memory(12, 40, 9, false, "zero"),
          batched = scores_in_memory(12, 40, 9, false, "zero");
  std::vector<std::vector<float>> expected;
  for (SNPData* d : {&one, &batched}) {
    use_all_but_every(*d, 3);
    start(*d, 4, d == &batched ? 10 : 0);
    for (int r = 0; r < 10; ++r) {
      if (r == 3) {  // another SNP in place of SNP 1: as many in use as before
        d->snpvec[0].used = true;
        d->snpvec[1].used = false;
        d->make_snp_used_index();
      }
      const std::vector<float> got = draw(*d, 1)[0];
      if (d == &one) {
        expected.push_back(got);
        continue;
      }
      ASSERT_EQ(d->replicates.held(), 9 - r);  // one batch of 10, drawn at the first call
      for (std::size_t k = 0; k < got.size(); ++k)
        ASSERT_TRUE(same_bits(got[k], expected[static_cast<std::size_t>(r)][k])) << r << " " << k;
    }
  }
}

TEST(ReplicateBatches, ABatchHoldsTheAnnouncedReplicatesUpToOnePass) {
  // 10 announced, 4 to a pass: batches of 4, 4 and 2; an eleventh call, beyond the
  // announcement, draws a batch of one.
  MTRand rng;
  rng.seed(3);
  ReplicateBatches batches;
  int computed = 0;
  const auto count = [&](const double*, int nrep, float*) { computed += nrep; };
  batches.plan(10);
  std::vector<int> held;
  for (int r = 0; r < 11; ++r) {
    batches.next(rng, 2, 1, 4, false, count);
    held.push_back(batches.held());
  }
  EXPECT_EQ(held, (std::vector<int>{3, 2, 1, 0, 3, 2, 1, 0, 1, 0, 0}));
  EXPECT_EQ(computed, 11);
}
