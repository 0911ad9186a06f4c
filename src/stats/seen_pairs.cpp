#include "stats/seen_pairs.h"

#include <algorithm>

bool SeenPairs::insert(int owner, int member) {
  // At most half full, so that probes stay short.
  if (2 * (count + 1) > slots.size()) grow();
  const auto high = static_cast<std::uint64_t>(static_cast<std::uint32_t>(owner));
  const std::uint64_t key = high << 32 | static_cast<std::uint32_t>(member);
  const std::size_t mask = slots.size() - 1;
  for (std::size_t i = first_slot(key);; i = (i + 1) & mask) {
    if (slots[i] == key) return false;
    if (slots[i] == kFree) {
      slots[i] = key;
      ++count;
      return true;
    }
  }
}

bool SeenPairs::insert(int owner, int member, const std::vector<int>& held) {
  if (held.size() < kShortList) return std::find(held.begin(), held.end(), member) == held.end();
  // Recording them again is harmless: an owner loaded long before is in the table already.
  if (held.size() == kShortList) insert_all(owner, held);
  return insert(owner, member);
}

void SeenPairs::insert_all(int owner, const std::vector<int>& members) {
  for (int member : members) insert(owner, member);
}

void SeenPairs::grow() {
  std::vector<std::uint64_t> old(slots.empty() ? 64 : 2 * slots.size(), kFree);
  old.swap(slots);
  for (std::uint64_t key : old)
    if (key != kFree) place(key);
}

void SeenPairs::place(std::uint64_t key) {
  const std::size_t mask = slots.size() - 1;
  std::size_t i = first_slot(key);
  while (slots[i] != kFree) i = (i + 1) & mask;
  slots[i] = key;
}

std::size_t SeenPairs::first_slot(std::uint64_t key) const {
  // Fibonacci hashing: neighbouring indexes land far apart.
  std::uint64_t h = key * 0x9E3779B97F4A7C15ULL;
  h ^= h >> 32;
  return static_cast<std::size_t>(h) & (slots.size() - 1);
}
