// Where the x86-64 vector paths are built: only on x86-64, and not when HALVORIX_PLAIN_ONLY is
// defined (a build that checks the plain path as other processors run it). Elsewhere the
// plain code is the only path, with the same results.
#pragma once

#if defined(__x86_64__) && !defined(HALVORIX_PLAIN_ONLY)
#define HALVORIX_X86_PATHS 1
/// A function built for AVX-512, AVX2 and plain x86-64, the widest chosen at load time.
#define HALVORIX_CLONES_AVX512_AVX2 __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define HALVORIX_X86_PATHS 0
#define HALVORIX_CLONES_AVX512_AVX2
#endif
