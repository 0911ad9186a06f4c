// The loaders' check for a repeated (owner, member) pair in constant time per line: searching
// the owner's list on every line made a file of many lines onto one gene, GO term or pathway
// take time quadratic in its length.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

/// Pairs of non-negative indexes seen so far: a gene and a SNP, a term or pathway and a gene.
struct SeenPairs {
  std::unordered_set<std::uint64_t> keys;

  /// Records the pair; true when it was not there before.
  bool insert(int owner, int member) {
    const auto high = static_cast<std::uint64_t>(static_cast<std::uint32_t>(owner));
    return keys.insert(high << 32 | static_cast<std::uint32_t>(member)).second;
  }
  /// Records the members an owner already holds, so that a second load repeats none of them.
  void insert_all(int owner, const std::vector<int>& members) {
    for (int member : members) insert(owner, member);
  }
};
