#pragma once
// Loops over many numbers built twice on x86-64: for every such processor
// and for those with 256-bit (AVX2) vectors, the one to run chosen when the
// program loads. Without fused multiply-adds both do the same arithmetic in
// the same order, so their results are the same to the bit.

#if defined(__x86_64__) && defined(__GNUC__)
#define ARDENTIS_X86_64 1
#define ARDENTIS_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
// A function written with the instructions of those processors, to be called
// only where `wide_vectors()` says the processor has them.
#define ARDENTIS_AVX2 __attribute__((target("avx2")))
inline bool wide_vectors()
{
    return __builtin_cpu_supports("avx2");
}
#else
#define ARDENTIS_WIDE_VECTORS
#endif

// A helper inlined into each build of the function that calls it.
#define ARDENTIS_INLINED inline __attribute__((always_inline))
