#include "gene_pair_covs.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Matrix/Moments.h"
#include "constants.h"
#include "parallel_for.h"
#include "vector_paths.h"

const SnpDeviation& SnpDeviations::of(const ScoreMatrix& scores, int snp) {
  if (cache_.size() < static_cast<std::size_t>(scores.nsnp))
    cache_.resize(static_cast<std::size_t>(scores.nsnp));
  SnpDeviation& d = cache_[static_cast<std::size_t>(snp)];
  if (d.ready) return d;
  // The column part of cor(): running mean and sum of squares, row by row, in float.
  std::vector<float> scratch;
  const float* x = scores.row(snp, scratch);
  const int rows = scores.nsubj;
  d.dev.assign(static_cast<std::size_t>(rows > 1 ? rows - 1 : 0), 0.0f);
  float mean = rows > 0 ? x[0] : 0.0f;
  float ss = 0;
  for (int i = 1; i < rows; ++i) {
    const auto n = static_cast<float>(i + 1);
    const auto fi = static_cast<float>(i);
    const float dx = x[i] - mean;
    mean += dx / n;
    ss += ((dx * dx) * fi) / n;
    d.dev[static_cast<std::size_t>(i - 1)] = dx;
  }
  d.ss = ss / static_cast<float>(rows - 1.0);
  d.ready = true;
  return d;
}

void SnpDeviations::prepare(const ScoreMatrix& scores, const std::vector<int>& snps, int nthreads) {
  if (cache_.size() < static_cast<std::size_t>(scores.nsnp))
    cache_.resize(static_cast<std::size_t>(scores.nsnp));
  std::vector<int> missing;
  for (int s : snps)
    if (!cache_[static_cast<std::size_t>(s)].ready) missing.push_back(s);
  std::sort(missing.begin(), missing.end());
  missing.erase(std::unique(missing.begin(), missing.end()), missing.end());
  // Each SNP writes its own entry of the cache, sized above; nothing else is shared.
  parallel_for(static_cast<int>(missing.size()), nthreads,
               [&](int i) { of(scores, missing[static_cast<std::size_t>(i)]); });
}

// Every entry gets cor()'s float operations, and each segment's sum follows Matrix::ssq's order
// (xs outer, the segment's columns inner). The columns are laid out row by row in whole vectors
// of 8, so that independent running sums share one vector instruction with exactly the scalar
// operations in each lane; putting a gene's partners side by side wastes fewer lanes than
// padding each pair.
HALVORIX_CLONES_AVX512_AVX2 std::vector<float> ssq_of_correlations(
    const std::vector<const SnpDeviation*>& xs, const std::vector<const SnpDeviation*>& ys,
    const std::vector<std::size_t>& ends, float dm) {
  typedef float v8f __attribute__((vector_size(32)));
  constexpr std::size_t kGroup = 8;
  std::vector<float> ssq(ends.size(), 0.0f);
  if (xs.empty()) return ssq;
  const std::size_t steps = xs.front()->dev.size();
  const std::size_t width = (ys.size() + kGroup - 1) / kGroup * kGroup;
  std::vector<float> block(steps * width, 0.0f);
  for (std::size_t k = 0; k < ys.size(); ++k)
    for (std::size_t i = 0; i < steps; ++i) block[i * width + k] = ys[k]->dev[i];

  std::vector<float> r(width);
  for (const SnpDeviation* x : xs) {
    std::fill(r.begin(), r.end(), 0.0f);
    for (std::size_t i = 0; i < steps; ++i) {
      const auto n = static_cast<float>(i + 2);  // row i + 1 of cor()
      const auto fi = static_cast<float>(i + 1);
      const float dx = x->dev[i];
      const float* dy = &block[i * width];
      for (std::size_t k = 0; k < width; k += kGroup) {
        v8f y, acc;  // unaligned loads and stores through memcpy
        std::memcpy(&y, dy + k, sizeof y);
        std::memcpy(&acc, &r[k], sizeof acc);
        acc = ((dx * y) * fi) / n + acc;
        std::memcpy(&r[k], &acc, sizeof acc);
      }
    }
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
  return ssq;
}

namespace {
/// Covariances of gene a with each of `partners`, from prepared deviations; only reads.
std::vector<float> covs_of_run(const ScoreMatrix& scores,
                               const std::vector<const SnpDeviation*>& devs,
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
  ssq = ssq_of_correlations(xs, ys, ends, static_cast<float>(scores.nsubj - 1.0));
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

  std::vector<std::size_t> run_starts;
  for (std::size_t p = 0; p < pairs.size(); ++p)
    if (p == 0 || pairs[p].first != pairs[p - 1].first) run_starts.push_back(p);
  run_starts.push_back(pairs.size());
  const int nruns = static_cast<int>(run_starts.size() - 1);
  // Each run writes its own entries only, so how the runs are shared cannot change a value.
  parallel_for(nruns, nthreads, [&](int run) {
    const std::size_t first = run_starts[static_cast<std::size_t>(run)];
    const std::size_t end = run_starts[static_cast<std::size_t>(run) + 1];
    std::vector<int> partners;
    for (std::size_t p = first; p < end; ++p) partners.push_back(pairs[p].second);
    const std::vector<float> run_covs =
        covs_of_run(scores, devs, gene_snps, pairs[first].first, partners);
    std::copy(run_covs.begin(), run_covs.end(), covs.begin() + static_cast<std::ptrdiff_t>(first));
  });
  return covs;
}
