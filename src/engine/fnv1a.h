// FNV-1a: what the processes of a job compare to learn that they hold the same thing (options,
// observed statistics, a failure's message). Never printed nor stored, so its choice is free.
#pragma once

#include <cstddef>
#include <cstdint>

struct Fnv1a {
  std::uint64_t hash = 14695981039346656037ULL;

  void add_byte(unsigned char byte) {
    hash ^= byte;
    hash *= 1099511628211ULL;
  }
  void add(const void* data, std::size_t length) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t k = 0; k < length; ++k) add_byte(bytes[k]);
  }
  /// The word's four bytes, low first: the same on every processor.
  void add_word(std::uint32_t word) {
    for (int byte = 0; byte < 4; ++byte) add_byte(static_cast<unsigned char>(word >> (8 * byte)));
  }
};

inline std::uint64_t fnv1a(const void* data, std::size_t length) {
  Fnv1a hash;
  hash.add(data, length);
  return hash.hash;
}
