// Transposing 4 x 4 tiles of floats in vector registers: how a kernel turns rows of scores
// (one SNP each) into rows of lanes (one subject each) without a scattered store per value.
#pragma once

#include <cstring>

typedef float v4f __attribute__((vector_size(16)));

/// Four floats from any address.
inline v4f load4(const float* x) {
  v4f v;
  std::memcpy(&v, x, sizeof v);
  return v;
}

/// Rows a, b, c, d of a 4 x 4 tile become its columns, written to four rows `stride` apart.
inline void store_transposed(v4f a, v4f b, v4f c, v4f d, float* out, long stride) {
  const v4f ab_lo = __builtin_shufflevector(a, b, 0, 4, 1, 5);
  const v4f ab_hi = __builtin_shufflevector(a, b, 2, 6, 3, 7);
  const v4f cd_lo = __builtin_shufflevector(c, d, 0, 4, 1, 5);
  const v4f cd_hi = __builtin_shufflevector(c, d, 2, 6, 3, 7);
  const v4f cols[4] = {__builtin_shufflevector(ab_lo, cd_lo, 0, 1, 4, 5),
                       __builtin_shufflevector(ab_lo, cd_lo, 2, 3, 6, 7),
                       __builtin_shufflevector(ab_hi, cd_hi, 0, 1, 4, 5),
                       __builtin_shufflevector(ab_hi, cd_hi, 2, 3, 6, 7)};
  for (int k = 0; k < 4; ++k) std::memcpy(out + k * stride, &cols[k], sizeof cols[k]);
}
