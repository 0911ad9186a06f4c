#include "stats/gene_pair_covs.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Matrix/Moments.h"
#include "conventions.h"
#include "engine/parallel_for.h"
#include "engine/tile_transpose.h"
#include "engine/vector_paths.h"

namespace {
typedef float v8f __attribute__((vector_size(32)));
constexpr std::size_t kLanes = 8;
/// SNPs whose deviations are formed together: two vectors of lanes, so that two running
/// means are in flight while a division completes.
constexpr int kFormLanes = 2 * static_cast<int>(kLanes);

/// The column part of cor() for up to kFormLanes SNPs at once: running mean and sum of
/// squares, row by row, in float. `block` holds `rows` rows of kFormLanes scores
/// (subject-major); lane l's deviations go to devs[l] and its sum of squares to ss[l]. Each
/// lane performs the one-column operations in the same order, so it gets the same bits.
HALVORIX_CLONES_AVX512_AVX2 void running_deviations(const float* block, int rows, int count,
                                                    float* const* devs, float* ss) {
  constexpr int half = static_cast<int>(kLanes);  // lanes of the first vector
  v8f mean0 = {}, mean1 = {}, ss0 = {}, ss1 = {};
  if (rows > 0) {
    std::memcpy(&mean0, block, sizeof mean0);
    std::memcpy(&mean1, block + kLanes, sizeof mean1);
  }
  for (int i = 1; i < rows; ++i) {
    const v8f n = v8f{} + static_cast<float>(i + 1);
    const v8f fi = v8f{} + static_cast<float>(i);
    v8f x0, x1;
    std::memcpy(&x0, block + static_cast<std::size_t>(i) * kFormLanes, sizeof x0);
    std::memcpy(&x1, block + static_cast<std::size_t>(i) * kFormLanes + kLanes, sizeof x1);
    const v8f dx0 = x0 - mean0, dx1 = x1 - mean1;
    mean0 += dx0 / n;
    mean1 += dx1 / n;
    ss0 += ((dx0 * dx0) * fi) / n;
    ss1 += ((dx1 * dx1) * fi) / n;
    for (int l = 0; l < count; ++l) devs[l][i - 1] = l < half ? dx0[l] : dx1[l - half];
  }
  for (int l = 0; l < count; ++l) ss[l] = l < half ? ss0[l] : ss1[l - half];
}
}  // namespace

void SnpDeviations::form(const ScoreMatrix& scores, const int* snps, int count, float* slots) {
  thread_local std::vector<float> block;
  block.resize(static_cast<std::size_t>(scores.nsubj) * kFormLanes);
  scores.transpose_rows(snps, count, kFormLanes, block.data());
  float* devs[kFormLanes];
  float ss[kFormLanes];
  for (int l = 0; l < count; ++l) devs[l] = slots == nullptr ? nullptr : slots + l * stride_;
  running_deviations(block.data(), scores.nsubj, count, devs, ss);
  for (int l = 0; l < count; ++l) {
    SnpDeviation& d = cache_[static_cast<std::size_t>(snps[l])];
    d.dev = devs[l];
    d.ss = ss[l] / static_cast<float>(scores.nsubj - 1.0);
    d.ready = true;
  }
}

SnpDeviations& SnpDeviations::operator=(const SnpDeviations& other) {
  if (this != &other) *this = SnpDeviations();
  return *this;
}

void SnpDeviations::forget() {
  std::fill(cache_.begin(), cache_.end(), SnpDeviation());
  for (MappedRegion& arena : arenas_)
    if (arena.length > spare_.length) spare_ = std::move(arena);
  arenas_.clear();
}

void SnpDeviations::prepare(const ScoreMatrix& scores, const std::vector<int>& snps, int nthreads) {
  if (cache_.size() != static_cast<std::size_t>(scores.nsnp) || nsubj_ != scores.nsubj) {
    const std::size_t steps = scores.nsubj > 1 ? static_cast<std::size_t>(scores.nsubj - 1) : 0;
    cache_.assign(static_cast<std::size_t>(scores.nsnp), SnpDeviation());
    arenas_.clear();
    stride_ = (steps + 15) / 16 * 16;  // slots start on a cache line
    nsubj_ = scores.nsubj;
  }
  std::vector<int> missing;
  for (int s : snps)
    if (!cache_[static_cast<std::size_t>(s)].ready) missing.push_back(s);
  std::sort(missing.begin(), missing.end());
  missing.erase(std::unique(missing.begin(), missing.end()), missing.end());
  if (missing.empty()) return;
  // Slots side by side for just these SNPs: memory in proportion to what is formed, however
  // scattered the SNPs are in the matrix.
  const std::size_t bytes = missing.size() * stride_ * sizeof(float);
  arenas_.push_back(spare_.length >= bytes ? std::move(spare_) : MappedRegion::anonymous(bytes));
  float* const slots = static_cast<float*>(arenas_.back().address);
  // Each group writes its own entries of the cache and its own slots; nothing else is shared.
  const int groups = (static_cast<int>(missing.size()) + kFormLanes - 1) / kFormLanes;
  parallel_for(groups, nthreads, [&](int g) {
    const auto first = static_cast<std::size_t>(g) * kFormLanes;
    const int count = std::min(kFormLanes, static_cast<int>(missing.size() - first));
    form(scores, missing.data() + first, count,
         slots == nullptr ? nullptr : slots + first * stride_);
  });
}

namespace {
/// Deviation columns in panels of kLanes: panel c holds columns c*kLanes .. c*kLanes+7, step
/// by step, so that one vector instruction serves kLanes independent running sums; lanes past
/// the last column hold 0. The values live in a buffer of the calling thread, reused from one
/// gene to the next, so only one set of panels per thread may exist at a time.
struct DeviationPanels {
  std::size_t steps = 0;
  std::size_t count = 0;  ///< panels
  const float* values = nullptr;

  DeviationPanels(const std::vector<const SnpDeviation*>& ys, std::size_t nsteps)
      : steps(nsteps), count((ys.size() + kLanes - 1) / kLanes) {
    thread_local std::vector<float> buffer, zeros;
    if (buffer.size() < count * steps * kLanes) buffer.resize(count * steps * kLanes);
    if (zeros.size() < steps) zeros.resize(steps, 0.0f);
    for (std::size_t c = 0; c < count; ++c) {
      const float* cols[kLanes];
      for (std::size_t l = 0; l < kLanes; ++l)
        cols[l] = c * kLanes + l < ys.size() ? ys[c * kLanes + l]->dev : zeros.data();
      // Written in order, read from kLanes streams at once, four steps of four lanes at a time.
      float* out = buffer.data() + c * steps * kLanes;
      const std::size_t tiled = steps / 4 * 4;
      for (std::size_t i = 0; i < tiled; i += 4)
        for (std::size_t l = 0; l < kLanes; l += 4)
          store_transposed(load4(cols[l] + i), load4(cols[l + 1] + i), load4(cols[l + 2] + i),
                           load4(cols[l + 3] + i), out + i * kLanes + l, kLanes);
      for (std::size_t i = tiled; i < steps; ++i)
        for (std::size_t l = 0; l < kLanes; ++l) out[i * kLanes + l] = cols[l][i];
    }
    values = buffer.data();
  }
  const float* panel(std::size_t c) const { return values + c * steps * kLanes; }
};

/// The running sums of cor() and Moments, ((x_i * y_i) * i) / (i + 1) added row by row from 0,
/// of every column x of xs with every lane of the panels: r[j * width + l] for column j and
/// lane l (width = lanes of all panels). With `lower`, column j gets the panels up to its own
/// lane j at least, the rest being mirror images (float products commute). Each panel pair is
/// taken once and run through all of xs while it stays in cache; two panels at a time keep
/// two sums in flight. No sum depends on the order of the loops over panels and columns.
HALVORIX_CLONES_AVX512_AVX2 void accumulate_products(const SnpDeviation* const* xs, std::size_t nx,
                                                     const DeviationPanels& panels, bool lower,
                                                     float* r) {
  const std::size_t steps = panels.steps;
  const std::size_t width = panels.count * kLanes;
  for (std::size_t c = 0; c < panels.count; c += 2) {
    const float* y0 = panels.panel(c);
    const std::size_t first = lower ? c * kLanes : 0;
    if (c + 1 < panels.count) {
      const float* y1 = panels.panel(c + 1);
      for (std::size_t j = first; j < nx; ++j) {
        const float* x = xs[j]->dev;
        v8f acc0 = {}, acc1 = {};
        for (std::size_t i = 0; i < steps; ++i) {
          const auto n = static_cast<float>(i + 2);  // row i + 1 of the score columns
          const auto fi = static_cast<float>(i + 1);
          const float dx = x[i];
          v8f a, b;  // unaligned loads through memcpy
          std::memcpy(&a, y0 + i * kLanes, sizeof a);
          std::memcpy(&b, y1 + i * kLanes, sizeof b);
          acc0 = ((dx * a) * fi) / n + acc0;
          acc1 = ((dx * b) * fi) / n + acc1;
        }
        std::memcpy(r + j * width + c * kLanes, &acc0, sizeof acc0);
        std::memcpy(r + j * width + (c + 1) * kLanes, &acc1, sizeof acc1);
      }
    } else {
      for (std::size_t j = first; j < nx; ++j) {
        const float* x = xs[j]->dev;
        v8f acc0 = {};
        for (std::size_t i = 0; i < steps; ++i) {
          const auto n = static_cast<float>(i + 2);
          const auto fi = static_cast<float>(i + 1);
          const float dx = x[i];
          v8f a;
          std::memcpy(&a, y0 + i * kLanes, sizeof a);
          acc0 = ((dx * a) * fi) / n + acc0;
        }
        std::memcpy(r + j * width + c * kLanes, &acc0, sizeof acc0);
      }
    }
  }
}

std::size_t steps_of(int nsubj) { return nsubj > 1 ? static_cast<std::size_t>(nsubj - 1) : 0; }

/// Rows of running sums to take at once when each row is `width` sums long.
std::size_t block_rows(std::size_t width, std::size_t block_floats) {
  return std::max<std::size_t>(1, block_floats / std::max<std::size_t>(1, width));
}
}  // namespace

// Every entry gets cor()'s float operations, and each segment's sum follows Matrix::ssq's order
// (xs outer, the segment's columns inner), so taking the rows of xs a block at a time changes
// no bit. Putting a gene's partners side by side wastes fewer lanes than padding each pair.
std::vector<float> ssq_of_correlations(const std::vector<const SnpDeviation*>& xs,
                                       const std::vector<const SnpDeviation*>& ys,
                                       const std::vector<std::size_t>& ends, int nsubj,
                                       std::size_t block_floats) {
  std::vector<float> ssq(ends.size(), 0.0f);
  if (xs.empty()) return ssq;
  const auto dm = static_cast<float>(nsubj - 1.0);
  const DeviationPanels panels(ys, steps_of(nsubj));
  const std::size_t width = panels.count * kLanes;
  const std::size_t rows = std::min(xs.size(), block_rows(width, block_floats));
  std::vector<float> sums(rows * width);
  for (std::size_t j0 = 0; j0 < xs.size(); j0 += rows) {
    const std::size_t nb = std::min(rows, xs.size() - j0);
    accumulate_products(xs.data() + j0, nb, panels, false, sums.data());
    for (std::size_t jj = 0; jj < nb; ++jj) {
      const SnpDeviation* x = xs[j0 + jj];
      const float* r = sums.data() + jj * width;
      std::size_t k = 0;
      for (std::size_t m = 0; m < ends.size(); ++m) {
        for (; k < ends[m]; ++k) {
          float v = r[k] / dm;
          const float s = std::sqrt(x->ss * ys[k]->ss);
          v = s > kTolerance ? v / s : 0.0f;
          ssq[m] += v * v;
        }
      }
    }
  }
  return ssq;
}

namespace {
/// Moments' covariance of two columns from their running sum: float(double(sum) / (rows - 1)).
float covariance_of_sum(float sum, int nsubj) {
  return static_cast<float>(static_cast<double>(sum) / (nsubj - 1));
}

/// One term of Matrix::ssq of correlation(): above Moments' own tolerance the covariance over
/// the product of the standard deviations, else 1 (a zero standard deviation gives 1).
float correlation_of(float cov, float sd_j, float sd_i) {
  const auto eps = static_cast<float>(1e-6);
  const float d = sd_j * sd_i;
  return std::abs(d) > eps ? cov / d : 1.0f;
}

/// The whole lower triangle of running sums at once, each off-diagonal sum computed once and
/// mirrored (float products commute): quickest, and memory in the square of the SNPs.
float ssq_self_whole(const std::vector<const SnpDeviation*>& xs, const DeviationPanels& panels,
                     int nsubj) {
  const std::size_t p = xs.size();
  const std::size_t width = panels.count * kLanes;
  std::vector<float> sums(p * width);
  accumulate_products(xs.data(), p, panels, true, sums.data());
  std::vector<float> cov(p * p);
  for (std::size_t j = 0; j < p; ++j) {
    for (std::size_t k = 0; k <= j; ++k) {
      const float c = covariance_of_sum(sums[j * width + k], nsubj);
      cov[j * p + k] = c;
      cov[k * p + j] = c;
    }
  }
  std::vector<float> sd(p);
  for (std::size_t i = 0; i < p; ++i) sd[i] = std::sqrt(cov[i * p + i]);
  float ssq = 0;
  for (std::size_t i = 0; i < p; ++i) {
    for (std::size_t j = 0; j < p; ++j) {
      const float v = correlation_of(cov[i * p + j], sd[j], sd[i]);
      ssq += v * v;
    }
  }
  return ssq;
}

/// The same sum a block of rows at a time, each row whole (its upper part computed again
/// rather than kept from earlier rows): twice the products, memory of one block. Every row
/// needs all the standard deviations, which the deviations already carry.
float ssq_self_in_blocks(const std::vector<const SnpDeviation*>& xs, const DeviationPanels& panels,
                         int nsubj, std::size_t rows) {
  const std::size_t p = xs.size();
  const std::size_t width = panels.count * kLanes;
  // Each diagonal sum is the deviations' own sum of squares (the same terms in the same order),
  // and a float quotient rounded through double is the float quotient: ss is the variance.
  std::vector<float> sd(p);
  for (std::size_t j = 0; j < p; ++j) sd[j] = std::sqrt(xs[j]->ss);
  std::vector<float> sums(rows * width);
  float ssq = 0;
  for (std::size_t i0 = 0; i0 < p; i0 += rows) {
    const std::size_t nb = std::min(rows, p - i0);
    accumulate_products(xs.data() + i0, nb, panels, false, sums.data());
    for (std::size_t ii = 0; ii < nb; ++ii) {
      const float* r = sums.data() + ii * width;
      for (std::size_t j = 0; j < p; ++j) {
        const float v = correlation_of(covariance_of_sum(r[j], nsubj), sd[j], sd[i0 + ii]);
        ssq += v * v;
      }
    }
  }
  return ssq;
}
}  // namespace

// Moments' finish: covariance float(double(sum) / (rows - 1)), the upper triangle a copy of the
// lower; correlation() divides by sqrt(var_j) * sqrt(var_i) above its own tolerance, a zero
// standard deviation giving 1; Matrix::ssq adds the squares row by row.
float ssq_of_self_correlations(const std::vector<const SnpDeviation*>& xs, int nsubj,
                               std::size_t block_floats) {
  const std::size_t p = xs.size();
  const DeviationPanels panels(xs, steps_of(nsubj));
  const std::size_t width = panels.count * kLanes;
  // The triangle holds p * width sums and p * p covariances.
  if (p * (width + p) <= block_floats) return ssq_self_whole(xs, panels, nsubj);
  return ssq_self_in_blocks(xs, panels, nsubj, std::min(p, block_rows(width, block_floats)));
}

namespace {
/// Covariances of gene a with each of `partners`, from prepared deviations; only reads.
std::vector<float> covs_of_run(const ScoreMatrix& scores,
                               [[maybe_unused]] const std::vector<const SnpDeviation*>& devs,
                               const std::vector<std::vector<int>>& gene_snps, int a,
                               const std::vector<int>& partners) {
  const std::vector<int>& snps_a = gene_snps[static_cast<std::size_t>(a)];
  std::vector<float> ssq;
#ifdef HALVORIX_LITERAL_KERNEL
  // The straightforward computation, kept as a build option for the "before" timings.
  const auto columns = [&](const std::vector<int>& snps) {
    Matrix<float> mat(scores.nsubj, static_cast<int>(snps.size()));
    std::vector<float> scratch;
    for (std::size_t col = 0; col < snps.size(); ++col) {
      const float* x = scores.row(snps[col], scratch);
      for (int subj = 0; subj < mat.nrow; ++subj) mat[subj][col] = x[subj];
    }
    return mat;
  };
  Matrix<float> sa = columns(snps_a);
  for (int b : partners) {
    Matrix<float> sb = columns(gene_snps[static_cast<std::size_t>(b)]);
    ssq.push_back(cor(sa, sb).ssq());
  }
#else
  std::vector<const SnpDeviation*> xs, ys;
  std::vector<std::size_t> ends;
  for (int s : snps_a) xs.push_back(devs[static_cast<std::size_t>(s)]);
  for (int b : partners) {
    for (int s : gene_snps[static_cast<std::size_t>(b)])
      ys.push_back(devs[static_cast<std::size_t>(s)]);
    ends.push_back(ys.size());
  }
  ssq = ssq_of_correlations(xs, ys, ends, scores.nsubj);
#endif
  std::vector<float> covs;
  covs.reserve(partners.size());
  for (std::size_t m = 0; m < partners.size(); ++m) {
    const auto denom =
        static_cast<float>(snps_a.size() * gene_snps[static_cast<std::size_t>(partners[m])].size());
    covs.push_back(
        static_cast<float>(static_cast<double>(ssq[m]) * 2 / static_cast<double>(denom)));
  }
  return covs;
}
}  // namespace

std::vector<PairPiece> pair_pieces(const std::vector<std::vector<int>>& gene_snps,
                                   const std::vector<std::pair<int, int>>& pairs, double max_cost) {
  const auto snps = [&](int g) {
    return static_cast<double>(gene_snps[static_cast<std::size_t>(g)].size());
  };
  std::vector<PairPiece> pieces;
  for (std::size_t p = 0; p < pairs.size(); ++p) {
    const double cost = snps(pairs[p].first) * snps(pairs[p].second);
    const bool same_run = p > 0 && pairs[p].first == pairs[p - 1].first;
    if (!same_run || pieces.back().cost + cost > max_cost) pieces.push_back(PairPiece{p, p, 0});
    pieces.back().end = p + 1;
    pieces.back().cost += cost;
  }
  return pieces;
}

std::pair<std::size_t, std::size_t> pair_share(const std::vector<std::vector<int>>& gene_snps,
                                               const std::vector<std::pair<int, int>>& pairs,
                                               int rank, int nprocs) {
  // Pieces small against a share, so that the shares come out nearly equal.
  double total = 0;
  for (const PairPiece& piece : pair_pieces(gene_snps, pairs, 1e300)) total += piece.cost;
  if (!(total > 0))
    return rank == 0 ? std::make_pair(std::size_t{0}, pairs.size())
                     : std::make_pair(pairs.size(), pairs.size());
  const std::vector<PairPiece> pieces = pair_pieces(gene_snps, pairs, total / (16.0 * nprocs));
  // A piece goes to the process whose share holds the middle of its work.
  std::size_t first = pairs.size(), end = pairs.size();
  double before = 0;
  bool started = false;
  for (const PairPiece& piece : pieces) {
    const int owner =
        std::min(nprocs - 1, static_cast<int>((before + piece.cost / 2) / total * nprocs));
    before += piece.cost;
    if (owner == rank && !started) {
      first = piece.first;
      started = true;
    }
    if (owner > rank) {
      end = piece.first;
      break;
    }
  }
  if (!started) return {end, end};
  return {first, end};
}

std::vector<float> gene_pair_covs(const ScoreMatrix& scores, SnpDeviations& deviations,
                                  const std::vector<std::vector<int>>& gene_snps,
                                  const std::vector<std::pair<int, int>>& pairs, int nthreads) {
  std::vector<float> covs(pairs.size(), 0.0f);
  if (pairs.empty()) return covs;
  // The deviations are all formed before the runs, which only read them.
  std::vector<bool> gene_needed(gene_snps.size(), false);
  for (const auto& [a, b] : pairs)
    for (int g : {a, b}) gene_needed[static_cast<std::size_t>(g)] = true;
  std::vector<int> needed;
  for (std::size_t g = 0; g < gene_snps.size(); ++g)
    if (gene_needed[g]) needed.insert(needed.end(), gene_snps[g].begin(), gene_snps[g].end());
  deviations.prepare(scores, needed, nthreads);
  std::vector<const SnpDeviation*> devs(static_cast<std::size_t>(scores.nsnp), nullptr);
  for (const auto& [a, b] : pairs)
    for (int g : {a, b})
      for (int s : gene_snps[static_cast<std::size_t>(g)])
        devs[static_cast<std::size_t>(s)] = &deviations.formed(s);

  // Pieces of about an eighth of a thread's share, largest first: the threads finish together.
  double total = 0;
  for (const PairPiece& piece : pair_pieces(gene_snps, pairs, 1e300)) total += piece.cost;
  std::vector<PairPiece> pieces = pair_pieces(gene_snps, pairs, total / (8.0 * nthreads));
  std::stable_sort(pieces.begin(), pieces.end(),
                   [](const PairPiece& a, const PairPiece& b) { return a.cost > b.cost; });
  // Each piece writes its own entries only, so how the pieces are shared cannot change a value.
  parallel_for(static_cast<int>(pieces.size()), nthreads, [&](int k) {
    const std::size_t first = pieces[static_cast<std::size_t>(k)].first;
    const std::size_t end = pieces[static_cast<std::size_t>(k)].end;
    std::vector<int> partners;
    for (std::size_t p = first; p < end; ++p) partners.push_back(pairs[p].second);
    const std::vector<float> run_covs =
        covs_of_run(scores, devs, gene_snps, pairs[first].first, partners);
    std::copy(run_covs.begin(), run_covs.end(), covs.begin() + static_cast<std::ptrdiff_t>(first));
  });
  return covs;
}

std::vector<float> gene_self_covs(const ScoreMatrix& scores, SnpDeviations& deviations,
                                  const std::vector<std::vector<int>>& gene_snps, int nthreads) {
  std::vector<int> needed;
  for (const std::vector<int>& snps : gene_snps)
    if (snps.size() >= 2) needed.insert(needed.end(), snps.begin(), snps.end());
  deviations.prepare(scores, needed, nthreads);
  std::vector<float> covs(gene_snps.size(), 0.0f);
  // Largest genes first (their work grows with the square of their SNPs), so that no thread
  // is left alone with a large gene at the end; each gene writes its own entry only.
  std::vector<int> order(gene_snps.size());
  for (std::size_t g = 0; g < order.size(); ++g) order[g] = static_cast<int>(g);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return gene_snps[static_cast<std::size_t>(a)].size() >
           gene_snps[static_cast<std::size_t>(b)].size();
  });
  parallel_for(static_cast<int>(order.size()), nthreads, [&](int k) {
    const int g = order[static_cast<std::size_t>(k)];
    const std::vector<int>& snps = gene_snps[static_cast<std::size_t>(g)];
    const int m = static_cast<int>(snps.size());
    if (m < 2) {
      covs[static_cast<std::size_t>(g)] = m == 0 ? 0.0f : 2.0f;
      return;
    }
    std::vector<const SnpDeviation*> xs;
    xs.reserve(snps.size());
    for (int s : snps) xs.push_back(&deviations.formed(s));
    const float ssq = ssq_of_self_correlations(xs, scores.nsubj);
    covs[static_cast<std::size_t>(g)] = static_cast<float>(
        static_cast<double>(ssq) * 2 / static_cast<double>(static_cast<float>(m * m)));
  });
  return covs;
}
