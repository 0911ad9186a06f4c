#include "engine/replicate_batches.h"

#include <algorithm>

void ReplicateBatches::draw(MTRand& rng, int nsubj, int n, double* out) {
  for (int r = 0; r < n; ++r) draw_(rng, nsubj, out + static_cast<long>(r) * nsubj);
}

void ReplicateBatches::compute_stats(int nstat, const Compute& compute) {
  nstat_ = nstat;
  const std::size_t bytes =
      static_cast<std::size_t>(size_) * static_cast<std::size_t>(nstat) * sizeof(float);
  if (bytes > stats_.length) stats_ = MappedRegion::anonymous(bytes);
  compute(weights_.data(), size_, static_cast<float*>(stats_.address));
}

const float* ReplicateBatches::next(MTRand& rng, int nsubj, int nstat, int per_pass, bool stale,
                                    const Compute& compute) {
  if (next_ == size_) {
    // All weights of a replicate are drawn before the next replicate's, in subject order, and
    // even when there is no statistic: the stream position never depends on what is computed.
    const int n = std::max(1, std::min(planned_, per_pass));
    weights_.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(nsubj));
    draw(rng, nsubj, n, weights_.data());
    size_ = n;
    next_ = 0;
    compute_stats(nstat, compute);
  } else if (stale || nstat != nstat_) {
    compute_stats(nstat, compute);  // changed mid-batch: the same weights, new statistics
  }
  const float* stats = static_cast<const float*>(stats_.address) +
                       static_cast<long>(next_) * static_cast<long>(nstat);
  ++next_;
  if (planned_ > 0) --planned_;
  return stats;
}

void ReplicateBatches::skip(MTRand& rng, int nsubj, int n) {
  const int in_hand = std::min(n, held());
  next_ += in_hand;
  // A replicate may take a varying number of outputs (a permutation's rejected draws): each is
  // drawn and dropped, never counted.
  std::vector<double> dropped(static_cast<std::size_t>(nsubj));
  for (int k = in_hand; k < n; ++k) draw_(rng, nsubj, dropped.data());
  planned_ = std::max(0, planned_ - n);
}
