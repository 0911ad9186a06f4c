// The loaders' check for a repeated (owner, member) pair in constant time per line: searching
// the owner's list on every line made a file of many lines onto one gene, GO term or pathway
// take time quadratic in its length.
#pragma once

#include <cstdint>
#include <vector>

/// Pairs of non-negative indexes seen so far: a gene and a SNP, a term or pathway and a gene.
/// Owners of kShortList members or fewer are checked by searching their own list.
/// A flat hash table (open addressing, linear probing): a node-based set allocated a node per
/// line and doubled the loading time of files whose owners have few members each.
struct SeenPairs {
  static constexpr std::size_t kShortList = 16;
  static constexpr std::uint64_t kFree = ~std::uint64_t{0};  ///< no pair of int indexes
  std::vector<std::uint64_t> slots;  ///< the pairs' keys, kFree where none; a power of two
  std::size_t count = 0;             ///< pairs held

  /// Records the pair; true when it was not there before.
  bool insert(int owner, int member);
  /// True when `member` is new to `owner`, whose members so far are `held` (the caller adds it
  /// to them then). A short list is searched, which is faster than the table and keeps it
  /// small; an owner's pairs enter the table when its list grows long.
  bool insert(int owner, int member, const std::vector<int>& held);
  /// Records the members an owner already holds, so that a second load repeats none of them.
  void insert_all(int owner, const std::vector<int>& members);

 private:
  /// Twice the slots, every key placed anew.
  void grow();
  /// Places `key`, known to be absent, in a free slot.
  void place(std::uint64_t key);
  std::size_t first_slot(std::uint64_t key) const;
};
