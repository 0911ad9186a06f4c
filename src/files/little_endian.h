// Fixed-width little-endian fields of the binary score files, read and written through memcpy
// so that no field needs to be aligned in the file.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

inline void put_u32(std::string& out, std::size_t at, std::uint32_t v) {
  std::memcpy(&out[at], &v, 4);
}
inline void put_u64(std::string& out, std::size_t at, std::uint64_t v) {
  std::memcpy(&out[at], &v, 8);
}
inline std::uint32_t get_u32(const unsigned char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline std::uint64_t get_u64(const unsigned char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
