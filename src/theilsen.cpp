#include "theilsen.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

#include "median.h"
#include "parallel.h"
#include "progress.h"
#include "quicksort.h"
#include "select.h"
#include "variance.h"
#include "workspace.h"

namespace {

// Working storage of the fits, per thread, kept from one fit (and one
// analysis) to the next.
struct FitScratch {
  Workspace<float> fSlopes;
  Workspace<float> fCopy;
};
thread_local FitScratch fitScratchOfThread;

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
              float* pfSlope) {
  fit(pfX, pfY, nN, pfInt, pfSlope, fitScratchOfThread);
}

struct ResampleFit::Scratch {
  explicit Scratch(int nN)
      : nCount(static_cast<size_t>(nN)),
        nUnique(static_cast<size_t>(nN)),
        fV(static_cast<size_t>(nN) * static_cast<size_t>(nN) / 2 + 2),
        nW(fV.size()),
        select(fV.size()) {}
  std::vector<uint32_t> nCount;   // draws of each point
  std::vector<uint32_t> nUnique;  // the points drawn, in index order
  std::vector<float> fV;
  std::vector<uint32_t> nW;
  WeightedSelect select;
};

ResampleFit::ResampleFit(const float* pfX, const float* pfY, int nN)
    : pfX_(pfX), pfY_(pfY), nN_(nN), nRoom_(nN), pScratch_(new Scratch(nN)) {}

ResampleFit::~ResampleFit() { delete pScratch_; }

void ResampleFit::rebind(const float* pfX, const float* pfY, int nN) {
  pfX_ = pfX;
  pfY_ = pfY;
  if (nN > nRoom_) {
    delete pScratch_;
    pScratch_ = nullptr;
    pScratch_ = new Scratch(nN);
    nRoom_ = nN;
  }
  nN_ = nN;
}

bool ResampleFit::fit(const uint32_t* pnIndex, float* pfInt, float* pfSlope) {
  Scratch& s = *pScratch_;
  const size_t nN = static_cast<size_t>(nN_);
  std::fill(s.nCount.begin(), s.nCount.begin() + nN_, 0u);
  for (size_t j = 0; j < nN; ++j) ++s.nCount[pnIndex[j]];
  size_t nU = 0;
  for (size_t k = 0; k < nN; ++k) {
    if (s.nCount[k] != 0) s.nUnique[nU++] = static_cast<uint32_t>(k);
  }
  // The pairs of a resample are the pairs of its distinct points, each
  // counted c_a * c_b times, and the c(c - 1) / 2 pairs of each point with
  // its own copies, whose x are equal. (y_b - y_a) / (x_b - x_a) has the
  // same bits either way round: negating both differences is exact.
  const uint64_t nPairs = static_cast<uint64_t>(nN) * (nN - 1) / 2;
  uint64_t nInfCount = 0;
  size_t nV = 0;
  for (size_t ia = 0; ia < nU; ++ia) {
    const uint32_t a = s.nUnique[ia];
    const uint64_t nCa = s.nCount[a];
    nInfCount += nCa * (nCa - 1) / 2;
    const double dXa = pfX_[a];
    const double dYa = pfY_[a];
    for (size_t ib = ia + 1; ib < nU; ++ib) {
      const uint32_t b = s.nUnique[ib];
      const uint32_t nWeight = static_cast<uint32_t>(nCa) * s.nCount[b];
      if (pfX_[a] == pfX_[b]) {
        nInfCount += nWeight;
        continue;
      }
      s.fV[nV] = static_cast<float>((static_cast<double>(pfY_[b]) - dYa) /
                                    (static_cast<double>(pfX_[b]) - dXa));
      s.nW[nV] = nWeight;
      ++nV;
    }
  }
  const uint64_t nGenuine = nPairs - nInfCount;
  if (nGenuine == 0) {
    *pfSlope = kTheilSenSentinel;
    *pfInt = kTheilSenSentinel;
    return false;
  }
  // The median of the genuine slopes alone, as in theilSen.
  float fAt, fNext;
  if (nGenuine % 2 == 1) {
    s.select.ranks(s.fV.data(), s.nW.data(), nV, (nGenuine - 1) / 2, &fAt,
                   nullptr);
    *pfSlope = fAt;
  } else {
    s.select.ranks(s.fV.data(), s.nW.data(), nV, nGenuine / 2 - 1, &fAt,
                   &fNext);
    *pfSlope = static_cast<float>((static_cast<double>(fAt) + fNext) / 2.0);
  }
  // The medians of the resample's y and x: each distinct point's value,
  // weighted by its draws.
  auto medianOf = [&](const float* pfValues) {
    for (size_t i = 0; i < nU; ++i) {
      s.fV[i] = pfValues[s.nUnique[i]];
      s.nW[i] = s.nCount[s.nUnique[i]];
    }
    return s.select.median(s.fV.data(), s.nW.data(), nU, nN);
  };
  const float fMedY = medianOf(pfY_);
  const float fMedX = medianOf(pfX_);
  *pfInt = static_cast<float>(static_cast<double>(fMedY) -
                              static_cast<double>(*pfSlope) * fMedX);
  return true;
}

double theilSenUnits(int nN) {
  const double dN = nN;
  return kBootSamples * (dN * dN / 2.0 + 8.0 * dN);
}

namespace {
// Per thread: one batch's indices and a fitter; on the analysis thread also
// the resamples' estimates and verdicts, and the sort's scratch.
thread_local Workspace<uint32_t> nIndexOfThread;
thread_local std::unique_ptr<ResampleFit> fitterOfThread;
thread_local Workspace<float> fBootIntsOfThread;
thread_local Workspace<float> fBootSlopesOfThread;
thread_local Workspace<char> nVerdictOfThread;
thread_local Workspace<float> fSortScratchOfThread;
}  // namespace

void theilSenStdErr(const float* pfX, const float* pfY, int nN, float* intSE,
                    float* slopeSE, int nBootSamples,
                    BootstrapExclusions* pExclusions) {
  const size_t nPoints = static_cast<size_t>(nN);
  const size_t nBoot = static_cast<size_t>(nBootSamples);
  const size_t nBatch = bootstrapBatch(nN);
  float* fBootInts = fBootIntsOfThread.get(nBoot);
  float* fBootSlopes = fBootSlopesOfThread.get(nBoot);
  // Per resample: 0 kept, 1 intercept beyond the limit, 2 no pair of
  // distinct x (its sentinel intercept is beyond the limit as well).
  char* nVerdict = nVerdictOfThread.get(nBoot);
  ThreadTeam& team = analysisTeam();
  GenrandState& stream = genrandStream();
  const double fUnitsPerFit = theilSenUnits(nN) / kBootSamples;
  std::atomic<size_t> nFitsDone{0};
  size_t nFitsReported = 0;
  team.runInTurn((nBoot + nBatch - 1) / nBatch,
                 [&](size_t k, int) {
                   const size_t nCount = std::min(nBatch, nBoot - k * nBatch);
                   drawBootstrapIndices(stream, nN, nCount,
                                        nIndexOfThread.get(nBatch * nPoints));
                 },
                 [&](size_t k, int nMember) {
                   std::unique_ptr<ResampleFit>& fitter = fitterOfThread;
                   if (!fitter) {
                     fitter.reset(new ResampleFit(pfX, pfY, nN));
                   } else {
                     fitter->rebind(pfX, pfY, nN);
                   }
                   const size_t nFirst = k * nBatch;
                   const size_t nEnd = std::min(nFirst + nBatch, nBoot);
                   const uint32_t* pnIndex = nIndexOfThread.data();
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
                   // The calling thread reports for the whole team.
                   if (nMember == 0) {
                     progressAdd(static_cast<double>(nDone - nFitsReported) *
                                 fUnitsPerFit);
                     nFitsReported = nDone;
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
  float* pfSortScratch = fSortScratchOfThread.get(nKept);
  radixSort(fBootInts, nK, pfSortScratch);
  radixSort(fBootSlopes, nK, pfSortScratch);
  *intSE = static_cast<float>(
      std::sqrt(static_cast<double>(variance(fBootInts, nK))));
  *slopeSE = static_cast<float>(
      std::sqrt(static_cast<double>(variance(fBootSlopes, nK))));
}
