// Simulated replicates drawn ahead in batches: the weights of several replicates come off the
// run's one normal stream in order, and their statistics are computed in one pass over the
// scores; the replicates are then handed out one by one, exactly as if drawn one at a time.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "engine/MersenneTwister.h"
#include "files/mapped_region.h"

class ReplicateBatches {
 public:
  /// Fills out[r * nstat + k] with statistic k of replicate r from the weights of `nrep`
  /// replicates (weights[r * nsubj + j] is subject j's weight in replicate r).
  using Compute = std::function<void(const double* weights, int nrep, float* out)>;

  /// Draws one replicate's `nsubj` subject weights from the stream into `weights`.
  using Draw = std::function<void(MTRand& rng, int nsubj, double* weights)>;

  /// Replicates drawn by `draw` from now on instead of standard-normal weights.
  void draw_with(Draw draw) { draw_ = std::move(draw); }

  /// Announces that the next `n` draws of the run are `n` calls of next(). Replicates already
  /// drawn but not handed out stay first in line: their weights came off the stream, so
  /// dropping them would shift every later replicate.
  void plan(int n) { planned_ = n; }
  /// Forgets the replicates drawn but not handed out (the stream was reseeded).
  void reset() { size_ = next_ = 0; }
  /// The statistics (nstat of them) of the next replicate. A new batch holds the announced
  /// replicates, at most `per_pass` and at least 1. `stale` says the statistics in hand are
  /// out of date (the statistics' inputs changed): they are computed again from the batch's
  /// weights, so the stream position does not move.
  const float* next(MTRand& rng, int nsubj, int nstat, int per_pass, bool stale,
                    const Compute& compute);
  /// Moves the stream past the next `n` replicates without computing them: those in hand are
  /// dropped first, then whole replicates are drawn and dropped.
  void skip(MTRand& rng, int nsubj, int n);

  int planned() const { return planned_; }
  /// Replicates drawn and not yet handed out.
  int held() const { return size_ - next_; }

 private:
  void compute_stats(int nstat, const Compute& compute);
  /// Draws `n` replicates' weights into out[r * nsubj + j].
  void draw(MTRand& rng, int nsubj, int n, double* out);

  /// Standard-normal weights in subject order unless draw_with chose another draw.
  Draw draw_ = [](MTRand& rng, int nsubj, double* weights) {
    for (int j = 0; j < nsubj; ++j) weights[j] = rng.norm();
  };

  int planned_ = 0;
  std::vector<double> weights_;  ///< weights of the batch, replicate by replicate
  /// Statistics of the batch, replicate by replicate, in anonymous memory on large pages: the
  /// buffer of a whole pass runs to hundreds of megabytes, which a vector would clear on one
  /// thread and then fault in page by page.
  MappedRegion stats_;
  int size_ = 0;
  int next_ = 0;  ///< next replicate of the batch to hand out
  int nstat_ = 0;
};
