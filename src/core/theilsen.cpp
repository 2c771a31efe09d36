#include "theilsen.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "median.h"
#include "parallel.h"
#include "progress.h"
#include "quicksort.h"
#include "variance.h"
#include "workbench.h"
#include "workspace.h"

namespace {

float medianUsing(const float* pfX, int nN, FitScratch& scratch) {
  float* arr = scratch.fCopy.get(static_cast<size_t>(nN));
  for (int i = 0; i < nN; ++i) arr[i] = pfX[i];
  quicksort(arr, nN);
  return medianOfSorted(arr, nN);
}

void fit(const float* pfX, const float* pfY, int nN, float* pfInt,
         float* pfSlope, FitScratch& scratch) {
  // Only the pairs with distinct x have a slope, and only their slopes are
  // kept: a flag, not the sort position of a sentinel, leaves the others
  // out, so that a genuine slope above 999999 still counts.
  float* fSlopes = scratch.fSlopes.get(
      nN > 1 ? static_cast<size_t>(nN) * static_cast<size_t>(nN - 1) / 2 : 1);
  int nCount = 0;
  for (int i = 0; i < nN - 1; ++i) {
    for (int j = i + 1; j < nN; ++j) {
      if (pfX[i] == pfX[j]) continue;
      fSlopes[nCount++] =
          static_cast<float>((static_cast<double>(pfY[j]) - pfY[i]) /
                             (static_cast<double>(pfX[j]) - pfX[i]));
    }
  }
  if (nCount == 0) {
    *pfSlope = kTheilSenSentinel;
    *pfInt = kTheilSenSentinel;
    return;
  }
  quicksort(fSlopes, nCount);
  *pfSlope = medianOfSorted(fSlopes, nCount);
  const float fMedY = medianUsing(pfY, nN, scratch);
  const float fMedX = medianUsing(pfX, nN, scratch);
  *pfInt = static_cast<float>(static_cast<double>(fMedY) -
                              static_cast<double>(*pfSlope) * fMedX);
}

}  // namespace

void theilSen(const float* pfX, const float* pfY, int nN, float* pfInt,
              float* pfSlope, FitScratch& scratch) {
  fit(pfX, pfY, nN, pfInt, pfSlope, scratch);
}

void theilSen(const float* pfX, const float* pfY, int nN, float* pfInt,
              float* pfSlope) {
  FitScratch scratch;
  fit(pfX, pfY, nN, pfInt, pfSlope, scratch);
}

struct ResampleFit::Scratch {
  Workspace<uint32_t> nCount;    // draws of each point
  Workspace<uint32_t> nGroup;    // each point's group of equal x
  Workspace<uint32_t> nInGroup;  // draws of each group
  Workspace<uint32_t> nByY;      // the points by ascending y
  Workspace<uint32_t> nByX;      // the points by ascending x
  Workspace<float> fPairSlope;   // the pairs of distinct x by ascending slope
  Workspace<uint32_t> nPairA;    // their points
  Workspace<uint32_t> nPairB;
  Workspace<uint64_t> nSortKey;  // for ordering the pairs once
  Workspace<float> fSorted;      // the pairs moving to their sorted places
  Workspace<uint32_t> nSortedA;
  Workspace<uint32_t> nSortedB;
  size_t nPairs = 0;
  size_t nGroups = 0;
};

namespace {

// Orders the pairs' slopes as a sort of the floats would: by value, equal
// values in any order (which no median can tell apart).
inline uint32_t orderKey(float f) {
  uint32_t nBits;
  std::memcpy(&nBits, &f, sizeof nBits);
  return nBits ^ ((nBits >> 31) != 0 ? 0xffffffffu : 0x80000000u);
}

}  // namespace

ResampleFit::ResampleFit(const float* pfX, const float* pfY, int nN)
    : pfX_(pfX), pfY_(pfY), nN_(nN), pScratch_(new Scratch) {
  rebind(pfX, pfY, nN);
}

ResampleFit::~ResampleFit() { delete pScratch_; }

void ResampleFit::rebind(const float* pfX, const float* pfY, int nN) {
  // Whatever the resample, its slopes are the slopes of pairs of distinct
  // points of the phase, each counted c_a * c_b times: they are formed and
  // ordered once here, and each fit walks them.
  pfX_ = pfX;
  pfY_ = pfY;
  nN_ = nN;
  Scratch& s = *pScratch_;
  const size_t n = static_cast<size_t>(nN);
  s.nCount.get(n);
  uint32_t* nByY = s.nByY.get(n);
  uint32_t* nByX = s.nByX.get(n);
  for (uint32_t k = 0; k < n; ++k) nByY[k] = nByX[k] = k;
  std::sort(nByY, nByY + n,
            [&](uint32_t a, uint32_t b) { return pfY[a] < pfY[b]; });
  std::sort(nByX, nByX + n,
            [&](uint32_t a, uint32_t b) { return pfX[a] < pfX[b]; });
  uint32_t* nGroup = s.nGroup.get(n);
  s.nGroups = 0;
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && pfX[nByX[i]] != pfX[nByX[i - 1]]) ++s.nGroups;
    nGroup[nByX[i]] = static_cast<uint32_t>(s.nGroups);
  }
  s.nGroups += n > 0 ? 1 : 0;
  s.nInGroup.get(s.nGroups);
  const size_t nAll = n > 1 ? n * (n - 1) / 2 : 0;
  uint64_t* nKey = s.nSortKey.get(nAll);
  float* fSlopeOf = s.fPairSlope.get(nAll);
  uint32_t* nA = s.nPairA.get(nAll);
  uint32_t* nB = s.nPairB.get(nAll);
  // First in pair order, then sorted through keys that carry the pair's
  // number below the slope's order.
  size_t nP = 0;
  for (uint32_t a = 0; a < n; ++a) {
    for (uint32_t b = a + 1; b < n; ++b) {
      if (pfX[a] == pfX[b]) continue;
      // (y_b - y_a) / (x_b - x_a) with a < b, as theilSen forms it; the
      // other way round gives the same bits, negating both differences
      // being exact.
      fSlopeOf[nP] = static_cast<float>((static_cast<double>(pfY[b]) - pfY[a]) /
                                        (static_cast<double>(pfX[b]) - pfX[a]));
      nA[nP] = a;
      nB[nP] = b;
      ++nP;
    }
  }
  for (size_t i = 0; i < nP; ++i) {
    nKey[i] = static_cast<uint64_t>(orderKey(fSlopeOf[i])) << 32 | i;
  }
  std::sort(nKey, nKey + nP);
  float* pfS = s.fSorted.get(nP);
  uint32_t* pnA = s.nSortedA.get(nP);
  uint32_t* pnB = s.nSortedB.get(nP);
  for (size_t i = 0; i < nP; ++i) {
    const size_t j = static_cast<size_t>(nKey[i] & 0xffffffffu);
    pfS[i] = fSlopeOf[j];
    pnA[i] = nA[j];
    pnB[i] = nB[j];
  }
  std::memcpy(fSlopeOf, pfS, nP * sizeof(float));
  std::memcpy(nA, pnA, nP * sizeof(uint32_t));
  std::memcpy(nB, pnB, nP * sizeof(uint32_t));
  s.nPairs = nP;
}

namespace {

// The value at 0-based rank nRank of the multiset of values[order[i]], each
// counted count[order[i]] times, walking in ascending order; with pfNext,
// also the value at nRank + 1, which must exist.
inline float valueAtRank(const float* pfValues, const uint32_t* pnOrder,
                         const uint32_t* pnCount, uint64_t nRank,
                         float* pfNext) {
  uint64_t nBelow = 0;
  size_t i = 0;
  for (;; ++i) {
    const uint32_t c = pnCount[pnOrder[i]];
    if (nBelow + c > nRank) break;
    nBelow += c;
  }
  const float fAt = pfValues[pnOrder[i]];
  if (pfNext != nullptr) {
    if (nBelow + pnCount[pnOrder[i]] > nRank + 1) {
      *pfNext = fAt;
    } else {
      do {
        ++i;
      } while (pnCount[pnOrder[i]] == 0);
      *pfNext = pfValues[pnOrder[i]];
    }
  }
  return fAt;
}

float weightedMedian(const float* pfValues, const uint32_t* pnOrder,
                     const uint32_t* pnCount, uint64_t nTotal) {
  if (nTotal % 2 == 1) {
    return valueAtRank(pfValues, pnOrder, pnCount, (nTotal - 1) / 2, nullptr);
  }
  float fNext;
  const float fAt =
      valueAtRank(pfValues, pnOrder, pnCount, nTotal / 2 - 1, &fNext);
  return static_cast<float>((static_cast<double>(fAt) + fNext) / 2.0);
}

// The slope at rank nRank of the pairs, pair k counted
// count[a_k] * count[b_k] times; with pfNext also the one after it.
float slopeAtRank(const float* pfSlope, const uint32_t* pnA,
                  const uint32_t* pnB, const uint32_t* pnCount, uint64_t nRank,
                  float* pfNext) {
  uint64_t nBelow = 0;
  size_t k = 0;
  uint32_t w;
  for (;; ++k) {
    w = pnCount[pnA[k]] * pnCount[pnB[k]];
    if (nBelow + w > nRank) break;
    nBelow += w;
  }
  if (pfNext != nullptr) {
    if (nBelow + w > nRank + 1) {
      *pfNext = pfSlope[k];
    } else {
      size_t j = k + 1;
      while (pnCount[pnA[j]] * pnCount[pnB[j]] == 0) ++j;
      *pfNext = pfSlope[j];
    }
  }
  return pfSlope[k];
}

}  // namespace

bool ResampleFit::fit(const uint32_t* pnIndex, float* pfInt, float* pfSlope) {
  Scratch& s = *pScratch_;
  const size_t nN = static_cast<size_t>(nN_);
  uint32_t* nCount = s.nCount.data();
  uint32_t* nInGroup = s.nInGroup.data();
  const uint32_t* nGroup = s.nGroup.data();
  std::fill(nCount, nCount + nN, 0u);
  std::fill(nInGroup, nInGroup + s.nGroups, 0u);
  for (size_t j = 0; j < nN; ++j) {
    ++nCount[pnIndex[j]];
    ++nInGroup[nGroup[pnIndex[j]]];
  }
  // Of the nN^2 ordered pairs of draws, those within one group of equal x
  // have no slope; the others, halved, are the genuine pairs.
  uint64_t nSameX = 0;
  for (size_t g = 0; g < s.nGroups; ++g) {
    nSameX += static_cast<uint64_t>(nInGroup[g]) * nInGroup[g];
  }
  const uint64_t nGenuine = (static_cast<uint64_t>(nN) * nN - nSameX) / 2;
  if (nGenuine == 0) {
    *pfSlope = kTheilSenSentinel;
    *pfInt = kTheilSenSentinel;
    return false;
  }
  // The median of the genuine slopes alone, as in theilSen.
  const float* fS = s.fPairSlope.data();
  const uint32_t* nA = s.nPairA.data();
  const uint32_t* nB = s.nPairB.data();
  if (nGenuine % 2 == 1) {
    *pfSlope = slopeAtRank(fS, nA, nB, nCount, (nGenuine - 1) / 2, nullptr);
  } else {
    float fNext;
    const float fAt = slopeAtRank(fS, nA, nB, nCount, nGenuine / 2 - 1, &fNext);
    *pfSlope = static_cast<float>((static_cast<double>(fAt) + fNext) / 2.0);
  }
  // The medians of the resample's y and x: each point's value, weighted by
  // its draws.
  const float fMedY = weightedMedian(pfY_, s.nByY.data(), nCount, nN);
  const float fMedX = weightedMedian(pfX_, s.nByX.data(), nCount, nN);
  *pfInt = static_cast<float>(static_cast<double>(fMedY) -
                              static_cast<double>(*pfSlope) * fMedX);
  return true;
}

double theilSenUnits(int nN, int nBootSamples) {
  const double dN = nN;
  return nBootSamples * (dN * dN / 2.0 + 8.0 * dN);
}

void theilSenStdErr(Workbench& bench, const float* pfX, const float* pfY,
                    int nN, float* intSE, float* slopeSE, int nBootSamples,
                    BootstrapExclusions* pExclusions) {
  const size_t nPoints = static_cast<size_t>(nN);
  const size_t nBoot = static_cast<size_t>(nBootSamples);
  const size_t nBatch = bootstrapBatch(nN);
  LineBootstrapWork& work = bench.lineBootstraps;
  float* fBootInts = work.fBootInts.get(nBoot);
  float* fBootSlopes = work.fBootSlopes.get(nBoot);
  // Per resample: 0 kept, 1 intercept beyond the limit, 2 no pair of
  // distinct x (its sentinel intercept is beyond the limit as well).
  char* nVerdict = work.nVerdict.get(nBoot);
  ThreadTeam& team = bench.team();
  LineBootstrapWork::Member* members = membersFor(team, &work.members);
  GenrandState& stream = bench.stream.words;
  const SimdLevel simd = bench.simd();
  Progress& progress = bench.progress();
  const double fUnitsPerFit = theilSenUnits(nN, 1);
  const uint64_t nCall = ++work.nCalls;
  std::atomic<size_t> nFitsDone{0};
  size_t nFitsReported = 0;
  team.runInTurn((nBoot + nBatch - 1) / nBatch,
                 [&](size_t k, int nMember) {
                   const size_t nCount = std::min(nBatch, nBoot - k * nBatch);
                   drawBootstrapIndices(
                       stream, nN, nCount,
                       members[nMember].nIndex.get(nBatch * nPoints), simd);
                 },
                 [&](size_t k, int nMember) {
                   LineBootstrapWork::Member& member = members[nMember];
                   std::unique_ptr<ResampleFit>& fitter = member.fitter;
                   if (!fitter) {
                     fitter.reset(new ResampleFit(pfX, pfY, nN));
                   } else if (member.nBoundTo != nCall) {
                     fitter->rebind(pfX, pfY, nN);
                   }
                   member.nBoundTo = nCall;
                   const size_t nFirst = k * nBatch;
                   const size_t nEnd = std::min(nFirst + nBatch, nBoot);
                   const uint32_t* pnIndex = member.nIndex.data();
                   for (size_t b = nFirst; b < nEnd; ++b, pnIndex += nPoints) {
                     const bool bHasSlope =
                         fitter->fit(pnIndex, &fBootInts[b], &fBootSlopes[b]);
                     // |x| > 1000 is the same test as sqrt(x * x) > 1000 in
                     // double: the square of a float is exact there, and so is
                     // its root.
                     nVerdict[b] = std::fabs(fBootInts[b]) > kBootInterceptLimit
                                       ? (bHasSlope ? 1 : 2)
                                       : 0;
                   }
                   const size_t nDone =
                       nFitsDone.fetch_add(nEnd - nFirst) + nEnd - nFirst;
                   // The calling thread reports for the whole team, and
                   // stops it when asked.
                   if (nMember == 0) {
                     progress.add(static_cast<double>(nDone - nFitsReported) *
                                  fUnitsPerFit);
                     nFitsReported = nDone;
                     progress.stopWhenAsked();
                   }
                 });
  int nBeyond = 0;
  int nDegenerate = 0;
  for (size_t b = 0; b < nBoot; ++b) {
    nBeyond += nVerdict[b] == 1;
    nDegenerate += nVerdict[b] == 2;
  }
  // The outlier rule drops a few wild fits. Where it would leave out more
  // than half of the resamples it would drop the data themselves (a level
  // far from 0), so it stands aside, and only the resamples without a pair
  // of distinct x stay out.
  const bool bRuleApplies =
      nBootSamples - nBeyond - nDegenerate >= nBootSamples - nBootSamples / 2;
  const char nOutFrom = bRuleApplies ? 1 : 2;
  if (pExclusions != nullptr) {
    pExclusions->nLeftOut = bRuleApplies ? nBeyond : 0;
    pExclusions->bRuleWaived = !bRuleApplies;
  }
  // The kept estimates are gathered by their verdicts; their variances sum
  // in ascending order.
  size_t nKept = 0;
  for (size_t b = 0; b < nBoot; ++b) {
    if (nVerdict[b] >= nOutFrom) continue;
    fBootInts[nKept] = fBootInts[b];
    fBootSlopes[nKept] = fBootSlopes[b];
    ++nKept;
  }
  if (nKept < 2) {
    *intSE = 0.0f;
    *slopeSE = 0.0f;
    return;
  }
  // Only the ascending order matters to the variances that follow, and
  // equal floats are interchangeable in it, so any correct sort will do.
  const int nK = static_cast<int>(nKept);
  float* pfSortScratch = work.fSortScratch.get(nKept);
  radixSort(fBootInts, nK, pfSortScratch);
  radixSort(fBootSlopes, nK, pfSortScratch);
  double* pfKeptDrift =
      pExclusions != nullptr ? &pExclusions->fKeptDrift : nullptr;
  *intSE = static_cast<float>(
      std::sqrt(static_cast<double>(variance(fBootInts, nK, pfKeptDrift))));
  *slopeSE = static_cast<float>(
      std::sqrt(static_cast<double>(variance(fBootSlopes, nK, pfKeptDrift))));
}
