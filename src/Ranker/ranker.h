// Ranking so that the highest value gets rank 1, with tie methods "average", "min" and "max".
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace ranker {

template <class T>
struct gt {
  bool operator()(const T& a, const T& b) const { return a > b; }
};

/// A non-owning view of `n` values to rank under the ordering `C`.
template <class T, class C>
class ranker {
 public:
  const T* values;
  unsigned int n;
  C compare;

  ranker(const T* first, unsigned int count) : values(first), n(count), compare() {}

  /// Fills `ranks` (1-based, parallel to the values). Any method other than "average", "min"
  /// and "max" gives plain sorted positions.
  template <class S>
  void get_ranks(std::vector<S>& ranks, const std::string& method) const {
    ranks.resize(n);
    std::vector<unsigned int> order(n);
    for (unsigned int i = 0; i < n; ++i) order[i] = i;
    // A NaN compares false both ways; sorting it would break a strict weak ordering, so NaN
    // values go last (in index order) and each forms its own run.
    auto nan_end = std::stable_partition(order.begin(), order.end(),
                                         [this](unsigned int a) { return values[a] == values[a]; });
    std::sort(order.begin(), nan_end,
              [this](unsigned int a, unsigned int b) { return compare(values[a], values[b]); });
    const bool tie_methods = method == "average" || method == "min" || method == "max";
    unsigned int i = 0;
    while (i < n) {
      unsigned int k = 1;
      if (tie_methods) {
        while (i + k < n && is_tie(values[order[i]], values[order[i + k]])) ++k;
      }
      for (unsigned int t = i; t < i + k; ++t)
        ranks[order[t]] = static_cast<S>(rank_of(i, k, t, method));
      i += k;
    }
  }

 private:
  bool is_tie(const T& a, const T& b) const { return !compare(a, b) && !compare(b, a) && a == b; }

  static float rank_of(unsigned int i, unsigned int k, unsigned int position,
                       const std::string& method) {
    if (method == "average") return static_cast<float>(2 * i + k - 1) * 0.5f + 1.0f;
    if (method == "min") return static_cast<float>(i + 1);
    if (method == "max") return static_cast<float>(i + k);
    return static_cast<float>(position + 1);
  }
};

/// Ranks `values` in decreasing order into `ranks` with the tie method `method`.
template <class T, class S>
void rankhigh(const std::vector<T>& values, std::vector<S>& ranks, const std::string& method) {
  ranker<T, gt<T>> r(values.data(), static_cast<unsigned int>(values.size()));
  r.template get_ranks<S>(ranks, method);
}

}  // namespace ranker
