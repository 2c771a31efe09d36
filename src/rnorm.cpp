#include "rnorm.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "mersenne.h"
#include "parallel.h"
#include "simd.h"

namespace {
// Per thread, like the generator's state.
thread_local int use_last = 0;
thread_local float y2 = 0.0f;
}  // namespace

float rnorm(float m, float s) {
  float y1;
  if (use_last) {
    y1 = y2;
    use_last = 0;
  } else {
    float x1, x2, w;
    do {
      x1 = rnormUniform(genrand());
      x2 = rnormUniform(genrand());
      // Both squares are exact in double; only their sum is rounded.
      w = static_cast<float>(static_cast<double>(x1) * x1 +
                             static_cast<double>(x2) * x2);
    } while (w >= 1.0f);
    w = rnormFactor(w);
    y1 = x1 * w;
    y2 = x2 * w;
    use_last = 1;
  }
  return static_cast<float>(static_cast<double>(m) +
                            static_cast<double>(y1) * s);
}

RnormCache rnormCache() { return RnormCache{use_last, y2}; }

void setRnormCache(RnormCache cache) {
  use_last = cache.use_last;
  y2 = cache.y2;
}

namespace {

// log(w) for a normal float w in (0, 1), in double, within a few units of
// the last place: w = m * 2^e with m in [sqrt(1/2), sqrt(2)), and
// log(m) = 2 atanh(s), s = (m - 1) / (m + 1), |s| <= 0.1716, from the series
// up to s^17 (the rest is below 2^-50 of the sum, far inside the margin
// that nearFloatMidpoint leaves).
inline double logUnitInterval(float w) {
  uint32_t nBits;
  std::memcpy(&nBits, &w, sizeof nBits);
  int nExp = static_cast<int>(nBits >> 23) - 127;
  uint32_t nMant = (nBits & 0x007fffffu) | 0x3f800000u;
  // Mantissas above sqrt(2) (0x3fb504f3 is the float just below it) are
  // halved, exactly, by lowering the exponent field.
  const bool bHalve = nMant > 0x3fb504f3u;
  nMant -= bHalve ? 0x00800000u : 0u;
  nExp += bHalve ? 1 : 0;
  float fM;
  std::memcpy(&fM, &nMant, sizeof fM);
  const double m = fM;
  const double s = (m - 1.0) / (m + 1.0);
  const double s2 = s * s;
  double p = 1.0 / 17;
  p = p * s2 + 1.0 / 15;
  p = p * s2 + 1.0 / 13;
  p = p * s2 + 1.0 / 11;
  p = p * s2 + 1.0 / 9;
  p = p * s2 + 1.0 / 7;
  p = p * s2 + 1.0 / 5;
  p = p * s2 + 1.0 / 3;
  const double fLogM = 2.0 * s + 2.0 * s * (s2 * p);
  // ln 2 split so that nExp * kLn2Hi is exact.
  const double kLn2Hi = 6.93147180369123816490e-01;
  const double kLn2Lo = 1.90821492927058770002e-10;
  const double dExp = nExp;
  return dExp * kLn2Hi + (fLogM + dExp * kLn2Lo);
}

// True when v lies so near a midpoint between two floats that a tiny error
// in it could change its rounding to float: the 29 low bits of the double's
// mantissa, which the rounding drops, are within 2^10 of one half.
inline bool nearFloatMidpoint(double v) {
  uint64_t nBits;
  std::memcpy(&nBits, &v, sizeof nBits);
  const uint64_t nLow = nBits & ((uint64_t{1} << 29) - 1);
  const uint64_t nHalf = uint64_t{1} << 28;
  const uint64_t nDist = nLow > nHalf ? nLow - nHalf : nHalf - nLow;
  return nDist <= (uint64_t{1} << 10);
}

// One pass the compiler vectorizes (plain IEEE double arithmetic: the AVX2
// and the baseline builds give the same bits). Marks the results that need
// the library's log, and returns nonzero when there is any.
KALMIR_VECTOR_CLONES
int factorsFast(const float* pfW, float* pfFactor, unsigned char* pbRedo,
                size_t n) {
  int nAnyRedo = 0;
  for (size_t i = 0; i < n; ++i) {
    const double v = std::sqrt((-2.0 * logUnitInterval(pfW[i])) / pfW[i]);
    pfFactor[i] = static_cast<float>(v);
    // The exponent split above needs a normal float; the polar method never
    // accepts a w that small, but the scalar path serves it all the same.
    const int nRedo = static_cast<int>(nearFloatMidpoint(v)) |
                      static_cast<int>(pfW[i] < 0x1p-126f);
    pbRedo[i] = static_cast<unsigned char>(nRedo);
    nAnyRedo |= nRedo;
  }
  return nAnyRedo;
}

// The uniform of one word without the division: the quotient by
// 4294967295.0 becomes a product with its reciprocal, which is off from
// the double rnorm forms by less than 2^-50. When no float rounding
// boundary lies within 2^-48 of the result, both round to the same float;
// otherwise *pnRedo is set and the caller forms the uniform exactly.
inline float uniformOrRedo(uint32_t nWord, int* pnRedo) {
  const double kInvWordMax = 1.0 / 4294967295.0;
  const double d = static_cast<float>(nWord);
  const double v = 2.0 * (d * kInvWordMax) - 1.0;
  const float fLo = static_cast<float>(v - 0x1p-48);
  const float fHi = static_cast<float>(v + 0x1p-48);
  *pnRedo |= static_cast<int>(fLo != fHi);
  return fLo;
}

// The uniforms and squared radii of n attempts, from 2n words, exactly as
// rnorm forms them: a loop the compiler vectorizes, then the rare attempts
// whose uniforms need the division.
KALMIR_VECTOR_CLONES
int uniformPairsFast(const uint32_t* pnWords, float* pfX1, float* pfX2,
                     float* pfW, unsigned char* pbRedo, size_t n) {
  int nAnyRedo = 0;
  for (size_t t = 0; t < n; ++t) {
    int nRedo = 0;
    const float x1 = uniformOrRedo(pnWords[2 * t], &nRedo);
    const float x2 = uniformOrRedo(pnWords[2 * t + 1], &nRedo);
    pfX1[t] = x1;
    pfX2[t] = x2;
    pfW[t] = static_cast<float>(static_cast<double>(x1) * x1 +
                                static_cast<double>(x2) * x2);
    pbRedo[t] = static_cast<unsigned char>(nRedo);
    nAnyRedo |= nRedo;
  }
  return nAnyRedo;
}

}  // namespace

void rnormAttempts(const uint32_t* pnWords, float* pfX1, float* pfX2,
                   float* pfW, size_t n) {
  unsigned char bRedo[256];
  while (n > 0) {
    const size_t nRun = n < sizeof bRedo ? n : sizeof bRedo;
    if (uniformPairsFast(pnWords, pfX1, pfX2, pfW, bRedo, nRun) != 0) {
      for (size_t t = 0; t < nRun; ++t) {
        if (!bRedo[t]) continue;
        pfX1[t] = rnormUniform(pnWords[2 * t]);
        pfX2[t] = rnormUniform(pnWords[2 * t + 1]);
        pfW[t] = static_cast<float>(static_cast<double>(pfX1[t]) * pfX1[t] +
                                    static_cast<double>(pfX2[t]) * pfX2[t]);
      }
    }
    pnWords += 2 * nRun;
    pfX1 += nRun;
    pfX2 += nRun;
    pfW += nRun;
    n -= nRun;
  }
}

void rnormFactors(const float* pfW, float* pfFactor, size_t n) {
  // The C library's log is within one unit of the last place and the
  // polynomial within a few, so the two square roots differ by a few units
  // of the double's last place at most; both round to the same float unless
  // the value is near a midpoint, and those are recomputed exactly.
  // When pfFactor is pfW, the squared radii of a run are copied first.
  float fCopy[256];
  unsigned char bRedo[256];
  while (n > 0) {
    const size_t nRun = n < sizeof bRedo ? n : sizeof bRedo;
    const float* pfRunW = pfW;
    if (pfW == pfFactor) {
      std::memcpy(fCopy, pfW, nRun * sizeof(float));
      pfRunW = fCopy;
    }
    if (factorsFast(pfRunW, pfFactor, bRedo, nRun) != 0) {
      for (size_t i = 0; i < nRun; ++i) {
        if (bRedo[i]) pfFactor[i] = rnormFactor(pfRunW[i]);
      }
    }
    pfW += nRun;
    pfFactor += nRun;
    n -= nRun;
  }
}

namespace {

// Moves the attempts with w < 1 to the front, in order, and returns how
// many there are; pure data movement, so the two versions agree exactly.
// pnTry receives each kept attempt's number, counted from nFirstTry. Goes
// on from attempt t with nKept already kept.
inline size_t compactFrom(float* pfX1, float* pfX2, float* pfW, uint32_t* pnTry,
                          uint32_t nFirstTry, size_t t, size_t nKept,
                          size_t n) {
  for (; t < n; ++t) {
    const float x1 = pfX1[t];
    const float x2 = pfX2[t];
    const float w = pfW[t];
    pfX1[nKept] = x1;
    pfX2[nKept] = x2;
    pfW[nKept] = w;
    pnTry[nKept] = nFirstTry + static_cast<uint32_t>(t);
    nKept += w < 1.0f ? 1 : 0;
  }
  return nKept;
}

#if defined(__x86_64__) && defined(__GNUC__)
#define KALMIR_HAVE_AVX2_COMPACT 1

// For each 8-bit mask of accepted lanes, the lanes to gather to the front.
struct PackTable {
  PackTable() {
    for (int m = 0; m < 256; ++m) {
      int k = 0;
      for (int l = 0; l < 8; ++l) {
        if (m & (1 << l)) nLane[m][k++] = l;
      }
      for (; k < 8; ++k) nLane[m][k] = 0;
    }
  }
  alignas(32) int32_t nLane[256][8];
};
const PackTable packTable;

// Eight attempts at a time: the accepted lanes are permuted to the front
// and stored at the write position, which never passes the read position,
// so nothing is overwritten before it is read.
__attribute__((target("avx2"))) size_t compactAcceptedAvx2(
    float* pfX1, float* pfX2, float* pfW, uint32_t* pnTry, uint32_t nFirstTry,
    size_t n) {
  const __m256 vOne = _mm256_set1_ps(1.0f);
  const __m256i vStep = _mm256_set1_epi32(8);
  __m256i vTry =
      _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(nFirstTry)),
                       _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  size_t nKept = 0;
  size_t t = 0;
  for (; t + 8 <= n; t += 8) {
    const __m256 vW = _mm256_loadu_ps(pfW + t);
    const __m256 vX1 = _mm256_loadu_ps(pfX1 + t);
    const __m256 vX2 = _mm256_loadu_ps(pfX2 + t);
    const int nMask = _mm256_movemask_ps(_mm256_cmp_ps(vW, vOne, _CMP_LT_OQ));
    const __m256i vPerm = _mm256_load_si256(
        reinterpret_cast<const __m256i*>(packTable.nLane[nMask]));
    _mm256_storeu_ps(pfW + nKept, _mm256_permutevar8x32_ps(vW, vPerm));
    _mm256_storeu_ps(pfX1 + nKept, _mm256_permutevar8x32_ps(vX1, vPerm));
    _mm256_storeu_ps(pfX2 + nKept, _mm256_permutevar8x32_ps(vX2, vPerm));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pnTry + nKept),
                        _mm256_permutevar8x32_epi32(vTry, vPerm));
    vTry = _mm256_add_epi32(vTry, vStep);
    nKept +=
        static_cast<size_t>(__builtin_popcount(static_cast<unsigned>(nMask)));
  }
  return compactFrom(pfX1, pfX2, pfW, pnTry, nFirstTry, t, nKept, n);
}
#endif

size_t compactAccepted(float* pfX1, float* pfX2, float* pfW, uint32_t* pnTry,
                       uint32_t nFirstTry, size_t n) {
#ifdef KALMIR_HAVE_AVX2_COMPACT
  static const bool bAvx2 = __builtin_cpu_supports("avx2");
  if (bAvx2) return compactAcceptedAvx2(pfX1, pfX2, pfW, pnTry, nFirstTry, n);
#endif
  return compactFrom(pfX1, pfX2, pfW, pnTry, nFirstTry, 0, 0, n);
}

// Below this many attempts a round runs on the calling thread alone.
const size_t nParallelFrom = 4096;

}  // namespace

namespace {

// Attempts enough that nWanted pairs are all but certain to be among them:
// six standard deviations above the expected number.
size_t triesFor(size_t nWanted) {
  const double fWanted = static_cast<double>(nWanted);
  return static_cast<size_t>(fWanted / 0.785398 + 6.0 * std::sqrt(fWanted) +
                             64.0);
}

// Pairs scaled per piece of work in the second pass.
const size_t nPiece = 4096;

}  // namespace

NormalBlock::~NormalBlock() {
  // Words drawn ahead for a call that never came go back to the stream.
  if (bPrefetched_) setGenrandState(prefetchStart_);
}

namespace {

// Stores nCount consecutive deviates of a call, the first of them deviate
// k, at their places: in stream order, or case by case into lanes (deviate
// o of case c at ((c / nLanes) * nPerCase + o) * nLanes + c % nLanes).
void placeDeviates(const float* pfDeviates, size_t nCount, size_t k,
                   float* pfOut, size_t nPerCase, size_t nLanes) {
  if (nPerCase == 0) {
    std::memcpy(pfOut + k, pfDeviates, nCount * sizeof(float));
    return;
  }
  size_t c = k / nPerCase;
  size_t o = k % nPerCase;
  while (nCount > 0) {
    const size_t nRun = std::min(nPerCase - o, nCount);
    float* pfTo = pfOut + (c / nLanes * nPerCase + o) * nLanes + c % nLanes;
    for (size_t j = 0; j < nRun; ++j) pfTo[j * nLanes] = pfDeviates[j];
    pfDeviates += nRun;
    nCount -= nRun;
    o = 0;
    ++c;
  }
}

}  // namespace

void NormalBlock::draw(float* pfOut, size_t n, size_t nNext) {
  drawTo(pfOut, 0, 0, n, nNext);
}

void NormalBlock::drawLanes(float* pfOut, size_t nPerCase, size_t nLanes,
                            size_t n, size_t nNext) {
  drawTo(pfOut, nPerCase, nLanes, n, nNext);
}

void NormalBlock::drawTo(float* pfOut, size_t nPerCase, size_t nLanes, size_t n,
                         size_t nNext) {
  RnormCache cache = rnormCache();
  // A deviate left in the cache comes first; the pairs follow it.
  size_t nFirst = 0;
  if (n > 0 && cache.use_last) {
    placeDeviates(&cache.y2, 1, 0, pfOut, nPerCase, nLanes);
    nFirst = 1;
    --n;
    cache.use_last = 0;
  }
  ThreadTeam& team = analysisTeam();
  // Pairs wanted; the last one gives only its first deviate to pfOut when n
  // is odd, and its second to the cache.
  const size_t nPairsAll = (n + 1) / 2;
  size_t nPairsDone = 0;
  std::vector<size_t>& nAccepted = nAccepted_;
  nAccepted.resize(static_cast<size_t>(team.size()));
  std::vector<size_t> nFirstPair(nAccepted.size());
  float fTail = 0.0f;
  while (nPairsDone < nPairsAll) {
    // Enough attempts that the pairs wanted are all but certain to be among
    // them (six standard deviations above the expected number); the words
    // of the attempts after the last pair used are given back.
    const size_t nTries = triesFor(nPairsAll - nPairsDone);
    // Grown, never shrunk: later rounds and chunks reuse the storage.
    if (fW_.size() < nTries) {
      fX1_.resize(nTries);
      fX2_.resize(nTries);
      fW_.resize(nTries);
      nTry_.resize(nTries);
    }
    GenrandState start;
    if (bPrefetched_ && nPrefetchTries_ == nTries) {
      // The words the last call drew ahead, from where it left the stream.
      std::swap(nWords_, nWordsNext_);
      start = prefetchStart_;
    } else {
      if (bPrefetched_) setGenrandState(prefetchStart_);
      if (nWords_.size() < 2 * nTries) nWords_.resize(2 * nTries);
      start = genrandState();
      genrandBlock(nWords_.data(), 2 * nTries);
    }
    bPrefetched_ = false;
    const bool bParallel = nTries >= nParallelFrom && team.size() > 1;
    const size_t nMembers = bParallel ? nAccepted.size() : 1;
    auto forRanges = [&](const std::function<void(size_t, size_t, int)>& fn) {
      if (bParallel) {
        team.run(nTries, fn);
      } else {
        fn(0, nTries, 0);
      }
    };
    // Each range keeps its accepted attempts at its front, in order.
    forRanges([&](size_t nBegin, size_t nEnd, int nMember) {
      rnormAttempts(&nWords_[2 * nBegin], &fX1_[nBegin], &fX2_[nBegin],
                    &fW_[nBegin], nEnd - nBegin);
      nAccepted[static_cast<size_t>(nMember)] = compactAccepted(
          &fX1_[nBegin], &fX2_[nBegin], &fW_[nBegin], &nTry_[nBegin],
          static_cast<uint32_t>(nBegin), nEnd - nBegin);
    });
    // Where each range's pairs go in the stream; the ranges follow each
    // other in stream order. The attempt that gives the last pair wanted
    // ends what is used of the words.
    size_t nPairs = nPairsDone;
    size_t nWordsUsed = 2 * nTries;
    for (size_t m = 0; m < nMembers; ++m) {
      nFirstPair[m] = nPairs;
      if (nAccepted[m] >= nPairsAll - nPairs) {
        nAccepted[m] = nPairsAll - nPairs;
        if (nAccepted[m] > 0) {
          const size_t nBegin = ThreadTeam::rangeBegin(
              nTries, static_cast<int>(nMembers), static_cast<int>(m));
          nWordsUsed = 2 * (size_t{nTry_[nBegin + nAccepted[m] - 1]} + 1);
        }
      }
      nPairs += nAccepted[m];
    }
    if (nPairs == nPairsAll) {
      genrandGiveBack(start, nWords_.data(), 2 * nTries, nWordsUsed);
    }
    // The next call's words are drawn while the pairs are scaled: the
    // stream stands where this call ends once the words are given back.
    const bool bLastRound = nPairs == nPairsAll;
    // The next call takes its first deviate from the cache when this one
    // leaves one there.
    const size_t nNextPairs = n % 2 == 1 ? nNext / 2 : (nNext + 1) / 2;
    const size_t nNextTries =
        bLastRound && nNextPairs > 0 ? triesFor(nNextPairs) : 0;
    auto prefetch = [&] {
      if (nNextTries == 0) return;
      if (nWordsNext_.size() < 2 * nNextTries) {
        nWordsNext_.resize(2 * nNextTries);
      }
      prefetchStart_ = genrandState();
      genrandBlock(nWordsNext_.data(), 2 * nNextTries);
      nPrefetchTries_ = nNextTries;
      bPrefetched_ = true;
    };
    // Pieces of each range's accepted pairs, handed out as threads come
    // free; every pair is written to its own place.
    pieces_.clear();
    for (size_t m = 0; m < nMembers; ++m) {
      const size_t nBegin = ThreadTeam::rangeBegin(
          nTries, static_cast<int>(nMembers), static_cast<int>(m));
      for (size_t i = 0; i < nAccepted[m]; i += nPiece) {
        pieces_.push_back({nBegin + i, nFirstPair[m] + i,
                           std::min(nPiece, nAccepted[m] - i)});
      }
    }
    fPieceOut_.resize(static_cast<size_t>(team.size()));
    auto scale = [&](const Piece& piece, int nMember) {
      std::vector<float>& fY = fPieceOut_[static_cast<size_t>(nMember)];
      if (fY.size() < 3 * nPiece) fY.resize(3 * nPiece);
      // The factors go after room for the piece's deviates.
      float* pfFactor = fY.data() + 2 * nPiece;
      rnormFactors(&fW_[piece.nAt], pfFactor, piece.nCount);
      const float* pfX1 = &fX1_[piece.nAt];
      const float* pfX2 = &fX2_[piece.nAt];
      for (size_t i = 0; i < piece.nCount; ++i) {
        fY[2 * i] = pfX1[i] * pfFactor[i];
        fY[2 * i + 1] = pfX2[i] * pfFactor[i];
      }
      // The second deviate of the call's last pair, when n is odd, is the
      // one that goes to the cache.
      size_t nDeviates = 2 * piece.nCount;
      if (2 * (piece.nFirstPair + piece.nCount) > n) {
        --nDeviates;
        fTail = fY[nDeviates];
      }
      placeDeviates(fY.data(), nDeviates, nFirst + 2 * piece.nFirstPair, pfOut,
                    nPerCase, nLanes);
    };
    if (bParallel) {
      std::atomic<size_t> nNextPiece{0};
      team.run(
          static_cast<size_t>(team.size()), [&](size_t, size_t, int nMember) {
            if (nMember == 0) prefetch();
            for (size_t k; (k = nNextPiece.fetch_add(1)) < pieces_.size();) {
              scale(pieces_[k], nMember);
            }
          });
    } else {
      prefetch();
      for (const Piece& piece : pieces_) scale(piece, 0);
    }
    nPairsDone = nPairs;
  }
  if (n % 2 == 1) {
    cache.use_last = 1;
    cache.y2 = fTail;
  }
  setRnormCache(cache);
}
