// The run's random generator: 32-bit Mersenne Twister MT19937 with its reference seeding and
// tempering, a [0,1] uniform and a polar-method standard-normal deviate.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>

class MTRand {
 public:
  enum { N = 624, M = 397 };

  unsigned long state[N];  ///< state words, each holding a 32-bit value
  unsigned long* pNext;    ///< next word to temper and return
  int left;                ///< words left before the state is regenerated
  /// The pending second deviate of norm(): shared by every caller and never cleared by
  /// seeding, as a property of the deviate stream rather than of one generator object.
  static inline int iset = 0;
  static inline double gset = 0.0;

  /// Seeds from /dev/urandom, or from the clock when it cannot be read. The driver reseeds
  /// before any draw, so this state never reaches a result.
  MTRand() {
    unsigned long key[N];
    bool complete = false;
    if (FILE* device = std::fopen("/dev/urandom", "rb")) {
      int i = 0;
      while (i < N && std::fread(&key[i], sizeof(unsigned long), 1, device) == 1) ++i;
      std::fclose(device);
      complete = (i == N);
    }
    if (complete) {
      seed_by_array(key, N);
    } else {
      seed(hash(std::time(nullptr), std::clock()));
    }
  }

  /// Reference seeding with the low 32 bits of `oneSeed`, then a full regeneration.
  void seed(unsigned long oneSeed) {
    initialize(oneSeed);
    reload();
  }

  /// Next tempered output in [0, 2^32 - 1].
  unsigned long randInt() {
    if (left == 0) reload();
    --left;
    unsigned long s1 = *pNext++;
    s1 ^= (s1 >> 11);
    s1 ^= (s1 << 7) & 0x9d2c5680UL;
    s1 ^= (s1 << 15) & 0xefc60000UL;
    return (s1 ^ (s1 >> 18)) & 0xffffffffUL;
  }

  /// Uniform in [0, 1], both ends possible.
  double rand() { return static_cast<double>(randInt()) * (1.0 / 4294967295.0); }

  /// Standard normal deviate by the polar method. The second deviate of each accepted pair is
  /// kept for the next call, by any caller: the pair straddles replicates when a replicate
  /// draws an odd number of weights.
  double norm() {
    if (iset) {
      iset = 0;
      return gset;
    }
    double x, y, rsq;
    do {
      x = 2.0 * rand() - 1.0;
      y = 2.0 * rand() - 1.0;
      rsq = x * x + y * y;
    } while (rsq >= 1.0 || rsq == 0.0);
    const double fac = std::sqrt(-2.0 * std::log(rsq) / rsq);
    gset = x * fac;
    iset = 1;
    return y * fac;
  }

  /// Seed from a time and a processor-clock reading; a call counter separates two calls
  /// within the same clock tick.
  static unsigned long hash(time_t t, clock_t c) {
    static std::uint64_t differ = 0;
    return static_cast<unsigned long>(
        mix(static_cast<std::uint64_t>(t), static_cast<std::uint64_t>(c), differ++));
  }

  /// Byte-wise hash of two 64-bit values: (h(t) + counter) XOR h(c).
  static std::uint64_t mix(std::uint64_t t, std::uint64_t c, std::uint64_t counter) {
    return (bytes_hash(t) + counter) ^ bytes_hash(c);
  }

 private:
  static std::uint64_t bytes_hash(std::uint64_t value) {
    std::uint64_t h = 0;
    for (int i = 0; i < 8; ++i) h = h * 257u + ((value >> (8 * i)) & 0xffu);  // low byte first
    return h;
  }

  void initialize(unsigned long s) {
    state[0] = s & 0xffffffffUL;
    for (int i = 1; i < N; ++i) {
      state[i] =
          (1812433253UL * (state[i - 1] ^ (state[i - 1] >> 30)) + static_cast<unsigned long>(i)) &
          0xffffffffUL;
    }
  }

  void seed_by_array(const unsigned long* key, int length) {
    initialize(19650218UL);
    int i = 1, j = 0;
    for (int k = (N > length ? N : length); k; --k) {
      state[i] = (state[i] ^ ((state[i - 1] ^ (state[i - 1] >> 30)) * 1664525UL)) +
                 (key[j] & 0xffffffffUL) + static_cast<unsigned long>(j);
      state[i] &= 0xffffffffUL;
      ++i;
      ++j;
      if (i >= N) {
        state[0] = state[N - 1];
        i = 1;
      }
      if (j >= length) j = 0;
    }
    for (int k = N - 1; k; --k) {
      state[i] = (state[i] ^ ((state[i - 1] ^ (state[i - 1] >> 30)) * 1566083941UL)) -
                 static_cast<unsigned long>(i);
      state[i] &= 0xffffffffUL;
      ++i;
      if (i >= N) {
        state[0] = state[N - 1];
        i = 1;
      }
    }
    state[0] = 0x80000000UL;
    reload();
  }

  static unsigned long twist(unsigned long m, unsigned long s0, unsigned long s1) {
    const unsigned long y = (s0 & 0x80000000UL) | (s1 & 0x7fffffffUL);
    return m ^ (y >> 1) ^ ((s1 & 1UL) ? 0x9908b0dfUL : 0UL);
  }

  void reload() {
    int k = 0;
    for (; k < N - M; ++k) state[k] = twist(state[k + M], state[k], state[k + 1]);
    for (; k < N - 1; ++k) state[k] = twist(state[k + M - N], state[k], state[k + 1]);
    state[N - 1] = twist(state[M - 1], state[N - 1], state[0]);
    left = N;
    pNext = state;
  }
};
