#ifndef KALMIR_SIMD_H_
#define KALMIR_SIMD_H_

// KALMIR_VECTOR_CLONES builds a function twice, for AVX2 and for the
// baseline instruction set, and picks one at run time by the CPU. Only for
// loops of plain integer or IEEE float and double arithmetic (no fused
// multiply-add: contraction is off, so none is formed even where the
// instruction set has one), so every build gives the same bits. Only for
// functions local to their unit: clang resolves clones within the unit
// that defines them.
//
// KALMIR_VECTOR_CLONES_WIDE adds, with gcc, a third build for AVX-512
// (x86-64-v4): about twice as fast for the loops below, whose unsigned
// conversions and double arithmetic it does in fewer instructions. It is
// kept to loops whose results a test compares with the baseline's for
// every input a word or a float can give (the uniforms and the polar
// method's factor): gcc's AVX-512 build of the simulated phases once
// changed the last bits of some means, which no such test could cover.
// clang 14 builds such a clone but never picks it, so it gets none.
#if defined(__x86_64__) && defined(__GNUC__)
#define KALMIR_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#if defined(__clang__)
#define KALMIR_VECTOR_CLONES_WIDE KALMIR_VECTOR_CLONES
#else
#define KALMIR_VECTOR_CLONES_WIDE \
  __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#endif
#else
#define KALMIR_VECTOR_CLONES
#define KALMIR_VECTOR_CLONES_WIDE
#endif

#if defined(__x86_64__) && defined(__GNUC__)
// Whether the CPU has AVX2, for the code written for it with intrinsics.
// Safe to call before the runtime's own CPU check has run, as from the
// initialiser of a namespace-scope constant.
inline bool cpuHasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}
#endif

#endif  // KALMIR_SIMD_H_
