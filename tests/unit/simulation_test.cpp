#include "stats/simulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "conventions.h"
#include "engine/stepDownPval.h"
#include "stats/snp.h"

TEST(ReplicateShare, ConsecutiveRangesInRankOrderCoverTheRunOnceAndDifferByAtMostOne) {
  EXPECT_EQ(replicate_share(10, 0, 3).last, 4);  // the larger shares first
  EXPECT_EQ(replicate_share(10, 1, 3).last, 7);
  for (int nsim : {0, 1, 2, 7, 1000, 1001}) {
    for (int nprocs : {1, 2, 3, 8, 1000, 1024}) {
      int next = 0, smallest = nsim, largest = 0;
      for (int rank = 0; rank < nprocs; ++rank) {
        const ReplicateShare share = replicate_share(nsim, rank, nprocs);
        ASSERT_EQ(share.first, next) << nsim << " " << nprocs << " " << rank;
        ASSERT_GE(share.count(), 0);
        next = share.last;
        smallest = std::min(smallest, share.count());
        largest = std::max(largest, share.count());
      }
      EXPECT_EQ(next, nsim) << nsim << " " << nprocs;
      EXPECT_LE(largest - smallest, 1) << nsim << " " << nprocs;
    }
  }
}

TEST(ReplicateShare, ProcessesSimulatingTheirSharesGiveTheWholeRunsCountsAndStream) {
  // 37 SNPs: three blocks of the kernel, the last one partly filled.
  std::vector<std::string> names;
  std::vector<std::vector<float>> rows;
  for (int s = 0; s < 37; ++s) {
    names.push_back("rs" + std::to_string(s));
    rows.emplace_back();
    for (int j = 0; j < 9; ++j)
      rows.back().push_back(static_cast<float>((s * 7 + j * 3) % 11 - 5) / 4);
  }
  SNPData d(names, rows);
  d.set_all_used();
  d.make_snp_used_index();
  d.compute_x_stat();
  constexpr int nsim = 23;

  // The run of one process, and where it leaves the random stream.
  MTRand::iset = 0;
  d.set_seed(41);
  StepDownPval whole(d.get_x_stat(), nsim);
  d.plan_replicates(nsim);
  for (int r = 0; r < nsim; ++r) {
    d.random_x_stat();
    whole.update_by_sim_stats(d.get_sim_x_stat());
  }
  const double next_deviate = d.randGenerator.norm();

  // Four processes, one after the other (the pending deviate of the generator is shared by
  // every instance, so each "process" starts it afresh as a new process would).
  constexpr int nprocs = 4;
  StepDownPval summed(d.get_x_stat(), nsim);
  for (int rank = 0; rank < nprocs; ++rank) {
    MTRand::iset = 0;
    d.set_seed(41);
    StepDownPval part(d.get_x_stat(), nsim);
    const ReplicateShare share = begin_replicate_share(d, nsim, rank, nprocs);
    for (int r = share.first; r < share.last; ++r) {
      d.random_x_stat();
      part.update_by_sim_stats(d.get_sim_x_stat());
    }
    end_replicate_share(d, nsim, share, part);  // one process here: moves the stream only
    EXPECT_EQ(d.randGenerator.norm(), next_deviate) << rank;
    summed.add_counts(part);
  }
  int reached = 0;
  for (std::size_t k = 0; k < whole.stat_info.size(); ++k) {
    EXPECT_EQ(summed.stat_info[k].count_rej, whole.stat_info[k].count_rej) << k;
    reached += whole.stat_info[k].count_rej;
  }
  EXPECT_GT(reached, 0);  // the counts compared are not all zero
}

TEST(StepDownFingerprint, ChangesWithAnyStatisticTheirOrderOrTheReplicateCount) {
  const std::vector<float> stats{2.5f, 0.75f, 9.0f, 0.75f};
  const std::uint64_t base = step_down_fingerprint(StepDownPval(stats, 100));
  EXPECT_EQ(step_down_fingerprint(StepDownPval(stats, 100)), base);
  EXPECT_NE(step_down_fingerprint(StepDownPval(stats, 101)), base);
  std::vector<float> nudged = stats;
  nudged[0] = std::nextafter(2.5f, 3.0f);  // the last bit of one statistic
  EXPECT_NE(step_down_fingerprint(StepDownPval(nudged, 100)), base);
  std::vector<float> swapped{0.75f, 0.75f, 9.0f, 2.5f};  // same values, other SNPs
  EXPECT_NE(step_down_fingerprint(StepDownPval(swapped, 100)), base);
  std::vector<float> fewer(stats.begin(), stats.end() - 1);
  EXPECT_NE(step_down_fingerprint(StepDownPval(fewer, 100)), base);
}

namespace {
// Two SNPs of four subjects: enough for the driver to draw replicates from.
SNPData small_study() {
  SNPData d({"rs1", "rs2"}, {{1, -2, 0.5f, 3}, {0.25f, 1, -1, 2}});
  d.set_all_used();
  d.make_snp_used_index();
  d.compute_x_stat();
  return d;
}
}  // namespace

TEST(SimulateStepDown, PValuesFollowTheObservedOrderAndTheStreamMovesByOneDrawPerReplicate) {
  SNPData d = small_study();
  MTRand::iset = 0;
  d.set_seed(7);
  // Replicate r: statistic 0 simulates 2 when r is odd, statistic 2 simulates 4 when r is a
  // multiple of 4. Worked by hand: statistic 0 (observed 1) is reached 4 times of 8, statistic
  // 2 (observed 3) twice, statistic 1 (observed 5) never.
  int calls = 0;
  const std::vector<float> pval = simulate_step_down(d, {1, 5, 3}, 8, [&](std::vector<float>& sim) {
    sim = {calls % 2 == 1 ? 2.0f : 0.0f, 0.0f, calls % 4 == 0 ? 4.0f : 0.0f};
    ++calls;
  });
  EXPECT_EQ(calls, 8);
  EXPECT_EQ(pval, (std::vector<float>{0.5f, 0.0f, 0.25f}));
  const double after_driver = d.randGenerator.norm();

  SNPData e = small_study();
  MTRand::iset = 0;
  e.set_seed(7);
  e.plan_replicates(8);
  for (int r = 0; r < 8; ++r) e.random_x_stat();
  EXPECT_EQ(after_driver, e.randGenerator.norm());
}

TEST(SimulateMoments, MeanAndSampleSdOverTheMomentReplicates) {
  SNPData d = small_study();
  d.set_seed(3);
  // Statistic k alternates between k and -k: mean 0, sd k * sqrt(1000 / 999).
  int rep = 0;
  const SimulatedMoments moments = simulate_moments(d, 3, [&](std::vector<float>& sim) {
    const float sign = rep++ % 2 == 0 ? 1.0f : -1.0f;
    for (std::size_t k = 0; k < sim.size(); ++k) sim[k] = sign * static_cast<float>(k);
  });
  EXPECT_EQ(rep, kMomentReplicates);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(moments.mean[static_cast<std::size_t>(k)], 0.0f);
    EXPECT_FLOAT_EQ(moments.sd[static_cast<std::size_t>(k)],
                    static_cast<float>(k * std::sqrt(1000.0 / 999.0)));
  }
}
