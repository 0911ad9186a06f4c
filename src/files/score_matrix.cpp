#include "files/score_matrix.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "cli/fail.h"
#include "conventions.h"
#include "engine/parallel_for.h"
#include "engine/tile_transpose.h"
#include "engine/vector_paths.h"

namespace {
typedef float v8f __attribute__((vector_size(32)));
typedef int v8i __attribute__((vector_size(32)));
typedef int v4i __attribute__((vector_size(16)));

/// |v| by clearing the sign bit: std::fabs, lane by lane. (By reference: a wide vector
/// returned by value would change the calling convention between instruction sets.)
template <typename VF, typename VI>
void make_abs(VF& v) {
  VI bits;
  std::memcpy(&bits, &v, sizeof bits);
  bits &= 0x7fffffff;
  std::memcpy(&v, &bits, sizeof v);
}

struct RowScan {
  bool any_missing = false;
  bool any_bad = false;  ///< a score that is neither missing nor finite
  float max_abs = 0;     ///< the largest |score| that is not missing
};

/// Scans x[0..n) for missing codes and for scores that are not finite. Comparisons with NaN
/// are false, as in the scalar test, so a NaN is never missing and always bad.
HALVORIX_CLONES_AVX512_AVX2 RowScan scan_row(const float* x, int n, float code, float below) {
  constexpr int W = 8;
  // Eight lanes: the compiler turns wider float comparisons into scalar code where AVX-512
  // mask registers would be needed. (Without AVX it splits these too, into scalar code: a
  // cost that only processors older than AVX2 pay.)
  const v8f codes = v8f{} + code, bounds = v8f{} + below;
  const v8f largest = v8f{} + std::numeric_limits<float>::max();
  v8i missing = {}, bad = {}, largest_bits = {};
  int j = 0;
  for (; j + W <= n; j += W) {
    v8f v;
    std::memcpy(&v, x + j, sizeof v);
    v8f distance = v - codes;
    make_abs<v8f, v8i>(distance);
    make_abs<v8f, v8i>(v);
    const v8i miss = distance < bounds;
    missing |= miss;
    bad |= ~miss & ~(v <= largest);
    // Non-negative floats order as their bit patterns do.
    v8i bits;
    std::memcpy(&bits, &v, sizeof bits);
    bits &= ~miss;
    largest_bits = largest_bits > bits ? largest_bits : bits;
  }
  RowScan scan;
  for (int l = 0; l < W; ++l) {
    scan.any_missing |= missing[l] != 0;
    scan.any_bad |= bad[l] != 0;
    float m;
    const int b = largest_bits[l];
    std::memcpy(&m, &b, sizeof m);
    scan.max_abs = std::max(scan.max_abs, m);
  }
  for (; j < n; ++j) {
    const bool miss = std::fabs(x[j] - code) < below;
    scan.any_missing |= miss;
    scan.any_bad |= !miss && !(std::fabs(x[j]) <= std::numeric_limits<float>::max());
    if (!miss) scan.max_abs = std::max(scan.max_abs, std::fabs(x[j]));
  }
  return scan;
}

/// Four scores of a row as the statistics see them: missing codes give way to `replacement`.
v4f load4_replaced(const float* x, const float* replacement, float code, float below) {
  const v4f v = load4(x);
  v4f distance = v - (v4f{} + code);
  make_abs<v4f, v4i>(distance);
  const v4i miss = distance < v4f{} + below;
  const v4f r = load4(replacement);
  v4i vb, rb;
  std::memcpy(&vb, &v, sizeof vb);
  std::memcpy(&rb, &r, sizeof rb);
  const v4i out = (rb & miss) | (vb & ~miss);
  v4f f;
  std::memcpy(&f, &out, sizeof f);
  return f;
}

}  // namespace

float missing_bound() {
  float below = static_cast<float>(kMissingTolerance);
  if (static_cast<double>(below) <= kMissingTolerance) below = std::nextafter(below, 1.0f);
  return below;
}

int score_scale_exponent(float max_abs, int nsubject) {
  if (!(max_abs > 0) || !std::isfinite(max_abs)) return 0;
  // Below 2^30 the product of two SNPs' variances in a correlation stays finite; below 2^53
  // over the subjects, a squared weighted sum does, with weights up to 2^10 in size.
  int subject_bits = 0;
  while (subject_bits < 31 && (1LL << subject_bits) < nsubject) ++subject_bits;
  const int limit = std::min(30, 53 - subject_bits);
  const int above = std::ilogb(max_abs) + 1;  // max_abs < 2^above
  return above > limit ? limit - above : 0;
}

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

void ScoreMatrix::adopt_coded(MappedRegion map, const CompactRows& rows) {
  storage = std::move(map);
  values = nullptr;
  writable = nullptr;
  coded = true;
  compact = rows;
  nsnp = static_cast<int>(rows.header.nsnp);
  nsubj = static_cast<int>(rows.header.nsubj);
  capacity_rows = nsnp;
}

const float* ScoreMatrix::stored_row(int r, float* scratch) const {
  if (!coded) return values + static_cast<long long>(r) * nsubj;
  compact.decode(r, 0, nsubj, scratch);
  return scratch;
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
  if (method != "zero" && method != "mean")
    fail_stderr("error:  method = " + method + " for replace missing");
  missing = missing_code;
  std::vector<float> row_max;
  const long long bad = flag_rows_with_missing(row_max);
  replacement.assign(static_cast<std::size_t>(nsubj), 0.0f);
  if (method == "mean") replacement = subject_means();
  if (bad < 0) choose_row_scales(row_max);
  return bad;
}

void ScoreMatrix::choose_row_scales(const std::vector<float>& row_max) {
  // A row with missing codes reads replacements too; only when one of them is large enough to
  // matter are such rows read again, as the statistics see them.
  float replaced_max = 0;
  for (float r : replacement) replaced_max = std::max(replaced_max, std::fabs(r));
  const bool replacements_matter = score_scale_exponent(replaced_max, nsubj) != 0;
  row_exponent.clear();
  std::vector<float> scratch;
  for (int r = 0; r < nsnp; ++r) {
    float m = row_max[static_cast<std::size_t>(r)];
    if (replacements_matter && row_has_missing[static_cast<std::size_t>(r)]) {
      const float* x = row(r, scratch);
      for (int j = 0; j < nsubj; ++j) m = std::max(m, std::fabs(x[j]));
    }
    const int e = score_scale_exponent(m, nsubj);
    if (e == 0) continue;
    if (row_exponent.empty()) row_exponent.assign(static_cast<std::size_t>(nsnp), 0);
    row_exponent[static_cast<std::size_t>(r)] = e;
  }
}

long long ScoreMatrix::flag_rows_with_missing(std::vector<float>& row_max) {
  // Threads take ranges of rows: where the scores are a freshly mapped file, this first read
  // of each page costs far more than the test, and threads sharing pages would wait on each
  // other's page faults.
  const int threads = nsnp * static_cast<long long>(nsubj) > (1 << 20) ? worker_threads() : 1;
  const int parts = std::max(1, std::min(threads, nsnp));
  std::vector<long long> first_bad(static_cast<std::size_t>(parts), -1);
  row_has_missing.assign(static_cast<std::size_t>(nsnp), 0);
  row_max.assign(static_cast<std::size_t>(nsnp), 0.0f);
  const float below = missing_bound();
  parallel_for(parts, parts, [&](int p) {
    const int r0 = static_cast<int>(static_cast<long long>(nsnp) * p / parts);
    const int r1 = static_cast<int>(static_cast<long long>(nsnp) * (p + 1) / parts);
    long long& bad = first_bad[static_cast<std::size_t>(p)];
    std::vector<float> scratch(coded ? static_cast<std::size_t>(nsubj) : 0);
    for (int r = r0; r < r1; ++r) {
      const float* x = stored_row(r, scratch.data());
      const RowScan scan = scan_row(x, nsubj, missing, below);
      row_has_missing[static_cast<std::size_t>(r)] = static_cast<unsigned char>(scan.any_missing);
      row_max[static_cast<std::size_t>(r)] = scan.max_abs;
      if (scan.any_bad && bad < 0)
        for (int j = 0; j < nsubj && bad < 0; ++j)
          if (!is_missing(x[j]) && !std::isfinite(x[j]))
            bad = static_cast<long long>(r) * nsubj + j;
    }
  });
  for (long long b : first_bad)
    if (b >= 0) return b;  // parts are in row order
  return -1;
}

std::vector<float> ScoreMatrix::subject_means() const {
  // Threads take ranges of subjects, so that each subject's sum runs over the SNPs in order
  // whatever the thread count.
  const int threads = nsnp * static_cast<long long>(nsubj) > (1 << 20) ? worker_threads() : 1;
  const int parts = std::max(1, std::min(threads, nsubj));
  std::vector<double> sum(static_cast<std::size_t>(nsubj), 0.0);
  std::vector<int> count(static_cast<std::size_t>(nsubj), 0);
  const float below = missing_bound();
  parallel_for(parts, parts, [&](int p) {
    const int j0 = static_cast<int>(static_cast<long long>(nsubj) * p / parts);
    const int j1 = static_cast<int>(static_cast<long long>(nsubj) * (p + 1) / parts);
    std::vector<float> scratch(coded ? static_cast<std::size_t>(j1 - j0) : 0);
    for (int r = 0; r < nsnp; ++r) {
      // x[k] is subject j0 + k's score.
      const float* x = scratch.data();
      if (coded) {
        compact.decode(r, j0, j1, scratch.data());
      } else {
        x = values + static_cast<long long>(r) * nsubj + j0;
      }
      for (int j = j0; j < j1; ++j) {
        const float v = x[j - j0];
        if (std::fabs(v - missing) < below) continue;
        sum[static_cast<std::size_t>(j)] += static_cast<double>(v);
        count[static_cast<std::size_t>(j)] += 1;
      }
    }
  });
  std::vector<float> means(static_cast<std::size_t>(nsubj));
  for (std::size_t j = 0; j < sum.size(); ++j)
    means[j] = static_cast<float>(count[j] > 0 ? sum[j] / count[j] : 0.0);
  return means;
}

float ScoreMatrix::row_scale(int r) const {
  if (row_exponent.empty()) return 1.0f;
  return std::ldexp(1.0f, row_exponent[static_cast<std::size_t>(r)]);
}

const float* ScoreMatrix::row(int r, std::vector<float>& scratch) const {
  if (coded) scratch.resize(static_cast<std::size_t>(nsubj));
  const float* x = stored_row(r, scratch.data());
  const float scale = row_scale(r);
  const bool replaced = !row_has_missing.empty() && row_has_missing[static_cast<std::size_t>(r)];
  if (!replaced && scale == 1.0f) return x;
  scratch.resize(static_cast<std::size_t>(nsubj));
  for (int j = 0; j < nsubj; ++j)  // in place when x is the scratch: each cell read first
    scratch[static_cast<std::size_t>(j)] =
        (replaced && is_missing(x[j]) ? replacement[static_cast<std::size_t>(j)] : x[j]) * scale;
  return scratch.data();
}

float ScoreMatrix::value(int r, int j) const {
  float v = 0;
  if (coded) {
    compact.decode(r, j, j + 1, &v);
  } else {
    v = values[static_cast<long long>(r) * nsubj + j];
  }
  return (!replacement.empty() && is_missing(v) ? replacement[static_cast<std::size_t>(j)] : v) *
         row_scale(r);
}

void ScoreMatrix::transpose_rows(const int* rows, int nrows, int lanes, float* out) const {
  // Four rows at a time through 4 x 4 tiles: every output row is written whole, in order. Coded
  // rows are decoded first, four at a time, into a buffer of the calling thread.
  std::vector<float> zeros;
  thread_local std::vector<float> decoded;
  if (coded) decoded.resize(4 * static_cast<std::size_t>(nsubj));
  const float* src[4];
  bool replaced[4];
  const float below = missing_bound();
  const int j_tiles = lanes % 4 == 0 ? nsubj / 4 * 4 : 0;
  for (int l0 = 0; j_tiles > 0 && l0 < lanes; l0 += 4) {
    for (int k = 0; k < 4; ++k) {
      const int l = l0 + k;
      replaced[k] = false;
      if (l < nrows) {
        src[k] = stored_row(rows[l],
                            coded ? decoded.data() + static_cast<std::size_t>(k) * nsubj : nullptr);
        replaced[k] =
            !row_has_missing.empty() && row_has_missing[static_cast<std::size_t>(rows[l])];
      } else {
        if (zeros.empty()) zeros.assign(static_cast<std::size_t>(nsubj) + 4, 0.0f);
        src[k] = zeros.data();
      }
    }
    const auto tile_row = [&](int k, int j) {
      return replaced[k] ? load4_replaced(src[k] + j, replacement.data() + j, missing, below)
                         : load4(src[k] + j);
    };
    for (int j = 0; j < j_tiles; j += 4)
      store_transposed(tile_row(0, j), tile_row(1, j), tile_row(2, j), tile_row(3, j),
                       out + static_cast<long>(j) * lanes + l0, lanes);
  }
  // Rows scaled down to keep their sums finite: the tiles took them as stored.
  for (int l = 0; !row_exponent.empty() && l < nrows; ++l) {
    const float scale = row_scale(rows[l]);
    if (scale == 1.0f) continue;
    for (int j = 0; j < j_tiles; ++j) out[static_cast<long>(j) * lanes + l] *= scale;
  }
  // What the tiles leave: the last subjects, or every score when lanes is not a multiple of 4.
  for (int l = 0; l < lanes; ++l)
    for (int j = j_tiles; j < nsubj; ++j)
      out[static_cast<long>(j) * lanes + l] = l < nrows ? value(rows[l], j) : 0.0f;
}
