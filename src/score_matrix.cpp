#include "score_matrix.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>

#include "constants.h"
#include "fail.h"
#include "parallel_for.h"

void ScoreMatrix::reserve(long long max_rows, int nsubject) {
  nsubj = nsubject;
  nsnp = 0;
  capacity_rows = std::max(0LL, max_rows);
  storage = MappedRegion::anonymous(static_cast<std::size_t>(capacity_rows) *
                                    static_cast<std::size_t>(nsubj) * sizeof(float));
  writable = static_cast<float*>(storage.address);
  values = writable;
}

float* ScoreMatrix::append_rows(int n) {
  if (nsnp + static_cast<long long>(n) > capacity_rows)
    fail_stderr("error: more score rows than the room reserved for them");
  float* at = writable + static_cast<long long>(nsnp) * nsubj;
  nsnp += n;
  return at;
}

float* ScoreMatrix::spare(std::size_t count) {
  const auto used = static_cast<std::size_t>(nsnp) * static_cast<std::size_t>(nsubj);
  const auto capacity = static_cast<std::size_t>(capacity_rows) * static_cast<std::size_t>(nsubj);
  if (writable == nullptr || count > capacity - used)
    fail_stderr("error: more score rows than the room reserved for them");
  return writable + used;
}

void ScoreMatrix::adopt(MappedRegion map, const float* scores, int rows, int nsubject) {
  storage = std::move(map);
  values = scores;
  writable = nullptr;
  nsnp = rows;
  nsubj = nsubject;
  capacity_rows = rows;
}

bool ScoreMatrix::is_missing(float v) const {
  const float diff = std::abs(static_cast<float>(v - missing));
  return kMissingTolerance > static_cast<double>(diff);
}

long long ScoreMatrix::find_missing(float missing_code, const std::string& method) {
  if (method != "zero" && method != "mean") {
    std::cout.flush();
    std::cerr << "error:  method = " << method << " for replace missing" << std::endl;
    std::exit(1);
  }
  missing = missing_code;
  const bool by_mean = method == "mean";
  // Threads take ranges of subjects, so that each subject's sum runs over the SNPs in order
  // whatever the thread count; the per-range row flags are merged afterwards.
  const int threads = nsnp * static_cast<long long>(nsubj) > (1 << 20) ? worker_threads() : 1;
  const int parts = std::max(1, std::min(threads, nsubj));
  std::vector<std::vector<unsigned char>> flags(static_cast<std::size_t>(parts));
  std::vector<long long> first_bad(static_cast<std::size_t>(parts), -1);
  std::vector<double> sum(static_cast<std::size_t>(nsubj), 0.0);
  std::vector<int> count(static_cast<std::size_t>(nsubj), 0);
  // |v - missing| < 1e-6 with the difference in float and the comparison in double is, for a
  // float difference, the same as a float comparison with the first float above 1e-6: a
  // form the compiler can vectorise.
  float below = static_cast<float>(kMissingTolerance);
  if (static_cast<double>(below) <= kMissingTolerance) below = std::nextafter(below, 1.0f);
  const float code = missing;
  parallel_for(parts, parts, [&](int p) {
    const int j0 = static_cast<int>(static_cast<long long>(nsubj) * p / parts);
    const int j1 = static_cast<int>(static_cast<long long>(nsubj) * (p + 1) / parts);
    std::vector<unsigned char>& flag = flags[static_cast<std::size_t>(p)];
    flag.assign(static_cast<std::size_t>(nsnp), 0);
    long long& bad = first_bad[static_cast<std::size_t>(p)];
    double* sums = sum.data();
    int* counts = count.data();
    for (int r = 0; r < nsnp; ++r) {
      const float* x = stored_row(r);
      int any_missing = 0, any_bad = 0;
      for (int j = j0; j < j1; ++j) {
        const float v = x[j];
        const int miss = std::fabs(v - code) < below;
        any_missing |= miss;
        any_bad |= !miss & !(std::fabs(v) <= std::numeric_limits<float>::max());
      }
      if (by_mean) {
        for (int j = j0; j < j1; ++j) {
          const float v = x[j];
          if (std::fabs(v - code) < below) continue;
          sums[j] += static_cast<double>(v);
          counts[j] += 1;
        }
      }
      flag[static_cast<std::size_t>(r)] = static_cast<unsigned char>(any_missing);
      if (any_bad && bad < 0)
        for (int j = j0; j < j1 && bad < 0; ++j)
          if (!is_missing(x[j]) && !std::isfinite(x[j]))
            bad = static_cast<long long>(r) * nsubj + j;
    }
  });
  row_has_missing.assign(static_cast<std::size_t>(nsnp), 0);
  for (const auto& flag : flags)
    for (std::size_t r = 0; r < flag.size(); ++r) row_has_missing[r] |= flag[r];
  replacement.assign(static_cast<std::size_t>(nsubj), 0.0f);
  if (by_mean)
    for (std::size_t j = 0; j < sum.size(); ++j)
      replacement[j] = static_cast<float>(count[j] > 0 ? sum[j] / count[j] : 0.0);
  long long bad = -1;
  for (long long b : first_bad)
    if (b >= 0 && (bad < 0 || b < bad)) bad = b;
  return bad;
}

const float* ScoreMatrix::row(int r, std::vector<float>& scratch) const {
  const float* x = stored_row(r);
  if (row_has_missing.empty() || !row_has_missing[static_cast<std::size_t>(r)]) return x;
  scratch.resize(static_cast<std::size_t>(nsubj));
  for (int j = 0; j < nsubj; ++j)
    scratch[static_cast<std::size_t>(j)] =
        is_missing(x[j]) ? replacement[static_cast<std::size_t>(j)] : x[j];
  return scratch.data();
}

float ScoreMatrix::value(int r, int j) const {
  const float v = stored_row(r)[j];
  return !replacement.empty() && is_missing(v) ? replacement[static_cast<std::size_t>(j)] : v;
}

void ScoreMatrix::transpose_rows(const int* rows, int nrows, int lanes, float* out) const {
  for (int l = 0; l < lanes; ++l) {
    float* dst = out + l;
    if (l >= nrows) {
      for (int j = 0; j < nsubj; ++j) dst[static_cast<long>(j) * lanes] = 0.0f;
      continue;
    }
    const float* x = stored_row(rows[l]);
    if (row_has_missing.empty() || !row_has_missing[static_cast<std::size_t>(rows[l])]) {
      for (int j = 0; j < nsubj; ++j) dst[static_cast<long>(j) * lanes] = x[j];
    } else {
      for (int j = 0; j < nsubj; ++j)
        dst[static_cast<long>(j) * lanes] =
            is_missing(x[j]) ? replacement[static_cast<std::size_t>(j)] : x[j];
    }
  }
}
