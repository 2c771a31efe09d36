// The polar method's factor sqrt(-2 log w / w) for the floats w in (0, 1),
// as rnormFactor gives it with the math library of the build, reduced to
// one digest per 2^24 inputs. Built natively and for WebAssembly; equal
// digests show that both builds' log gives every such factor the same
// float. Every nStep-th float is taken (1: all 1065353215 of them).
//
//   factor_digest [nStep]

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rnorm.h"

int main(int argc, char** argv) {
  const uint32_t nStep =
      argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1;
  if (nStep == 0) return 2;
  const uint32_t nOne = 0x3f800000u;  // the bits of 1.0f
  const uint32_t nBlock = 1u << 24;
  uint64_t nDigest = 14695981039346656037ull;  // FNV-1a, over 32-bit words
  uint64_t nCount = 0;
  for (uint32_t nBits = 1; nBits < nOne; nBits += nStep) {
    float w;
    std::memcpy(&w, &nBits, sizeof w);
    const float f = rnormFactor(w);
    uint32_t nF;
    std::memcpy(&nF, &f, sizeof nF);
    nDigest = (nDigest ^ nF) * 1099511628211ull;
    ++nCount;
    const uint32_t nNext = nBits + nStep;
    if (nNext / nBlock != nBits / nBlock || nNext >= nOne) {
      std::printf("%08x %016llx\n", nBits / nBlock * nBlock,
                  static_cast<unsigned long long>(nDigest));
      nDigest = 14695981039346656037ull;
    }
  }
  std::printf("%llu factors\n", static_cast<unsigned long long>(nCount));
  return 0;
}
