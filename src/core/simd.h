#ifndef KALMIR_SIMD_H_
#define KALMIR_SIMD_H_

// The vector instructions the kernels may use, and how a kernel is built
// for each. A kernel with vector code takes a SimdLevel and runs the widest
// code it has at or below it; kScalar runs the code every x86-64 CPU (and
// every other CPU) has. Every level gives the same bits: the loops built
// for several levels are plain integer or IEEE float and double arithmetic
// (no fused multiply-add: contraction is off, so none is formed even where
// the instruction set has one), and the kernels written with intrinsics
// are checked word for word against their scalar code. The level belongs
// to the caller (an analysis keeps it in its Workbench); nothing here is
// kept between calls.
//
// A loop built for several levels is written once, as an always-inline
// body, and wrapped once per level with KALMIR_TARGET_AVX2 and, with gcc,
// KALMIR_TARGET_AVX512 (x86-64-v4): about twice as fast as AVX2 for the
// loops that have it, whose unsigned conversions and double arithmetic it
// does in fewer instructions. The AVX-512 build is kept to loops whose
// results a test compares with the scalar code's for every input a word or
// a float can give (the uniforms and the polar method's factor): gcc's
// AVX-512 build of the simulated phases once changed the last bits of some
// means, which no such test could cover. clang gets no AVX-512 build: its
// earlier builds were never checked that way.

enum class SimdLevel { kScalar, kAvx2, kAvx512 };

#if defined(__x86_64__) && defined(__GNUC__)
#define KALMIR_HAVE_AVX2 1
#define KALMIR_TARGET_AVX2 __attribute__((target("avx2")))
#if !defined(__clang__)
#define KALMIR_HAVE_AVX512 1
#define KALMIR_TARGET_AVX512 __attribute__((target("arch=x86-64-v4")))
#endif
#endif

// A loop body that each level's wrapper builds for its instructions.
#define KALMIR_KERNEL_BODY inline __attribute__((always_inline))

// The widest level this CPU has and this build can use. Reads the CPU's
// features only; safe before the runtime's own CPU check has run, as from
// the initialiser of a namespace-scope constant.
inline SimdLevel cpuSimdLevel() {
#ifdef KALMIR_HAVE_AVX2
  __builtin_cpu_init();
#ifdef KALMIR_HAVE_AVX512
  if (__builtin_cpu_supports("x86-64-v4")) return SimdLevel::kAvx512;
#endif
  if (__builtin_cpu_supports("avx2")) return SimdLevel::kAvx2;
#endif
  return SimdLevel::kScalar;
}

// Whether code written for AVX2 may run at this level.
inline bool useAvx2(SimdLevel simd) {
#ifdef KALMIR_HAVE_AVX2
  return simd >= SimdLevel::kAvx2;
#else
  (void)simd;
  return false;
#endif
}

#endif  // KALMIR_SIMD_H_
