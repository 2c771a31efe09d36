#ifndef KALMIR_SIMD_H_
#define KALMIR_SIMD_H_

// KALMIR_VECTOR_CLONES builds a function twice, for AVX2 and for the
// baseline instruction set, and picks one at run time by the CPU. Only for
// loops of plain integer or IEEE float and double arithmetic (no fused
// multiply-add: AVX2 alone does not enable it, and contraction is off), so
// both builds give the same bits. Only for functions local to their unit:
// clang resolves clones within the unit that defines them.
#if defined(__x86_64__) && defined(__GNUC__)
#define KALMIR_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KALMIR_VECTOR_CLONES
#endif

#endif  // KALMIR_SIMD_H_
