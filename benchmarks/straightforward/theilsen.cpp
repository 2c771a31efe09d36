#include "theilsen.h"

#include <cmath>
#include <vector>

#include "median.h"
#include "mersenne.h"
#include "quicksort.h"
#include "variance.h"

namespace {

// Working storage of one fit, sized once for nN points so that the 10000
// fits of a bootstrap allocate nothing.
struct FitScratch {
  explicit FitScratch(int nN)
      : fSlopes(nN > 1 ? static_cast<size_t>(nN) * (nN - 1) / 2 : 0),
        fCopy(nN > 0 ? static_cast<size_t>(nN) : 0) {}
  std::vector<float> fSlopes;
  std::vector<float> fCopy;
};

float medianUsing(const float* pfX, int nN, FitScratch& scratch) {
  float* arr = scratch.fCopy.data();
  for (int i = 0; i < nN; ++i) arr[i] = pfX[i];
  quicksort(arr, nN);
  return medianOfSorted(arr, nN);
}

void fit(const float* pfX, const float* pfY, int nN, float* pfInt,
         float* pfSlope, FitScratch& scratch) {
  const int nPairs = nN > 1 ? nN * (nN - 1) / 2 : 0;
  float* fSlopes = scratch.fSlopes.data();
  int nCount = 0;
  int nInfCount = 0;
  for (int i = 0; i < nN - 1; ++i) {
    for (int j = i + 1; j < nN; ++j) {
      if (pfX[i] == pfX[j]) {
        fSlopes[nCount] = kTheilSenSentinel;
        ++nInfCount;
      } else {
        fSlopes[nCount] =
            static_cast<float>((static_cast<double>(pfY[j]) - pfY[i]) /
                               (static_cast<double>(pfX[j]) - pfX[i]));
      }
      ++nCount;
    }
  }
  if (nPairs - nInfCount == 0) {
    *pfSlope = kTheilSenSentinel;
    *pfInt = kTheilSenSentinel;
    return;
  }
  quicksort(fSlopes, nPairs);
  // The first nPairs - nInfCount sorted values are already in order, so
  // their median is read off directly.
  *pfSlope = medianOfSorted(fSlopes, nPairs - nInfCount);
  const float fMedY = medianUsing(pfY, nN, scratch);
  const float fMedX = medianUsing(pfX, nN, scratch);
  *pfInt = static_cast<float>(static_cast<double>(fMedY) -
                              static_cast<double>(*pfSlope) * fMedX);
}

}  // namespace

void theilSen(const float* pfX, const float* pfY, int nN, float* pfInt,
              float* pfSlope) {
  FitScratch scratch(nN);
  fit(pfX, pfY, nN, pfInt, pfSlope, scratch);
}

void theilSenStdErr(const float* pfX, const float* pfY, int nN, float* intSE,
                    float* slopeSE) {
  std::vector<float> fBootX(static_cast<size_t>(nN));
  std::vector<float> fBootY(static_cast<size_t>(nN));
  std::vector<float> fBootInts(kBootSamples);
  std::vector<float> fBootSlopes(kBootSamples);
  // Per resample: 0 kept, 1 intercept beyond the limit, 2 no pair of
  // distinct x (its sentinel intercept is beyond the limit as well).
  std::vector<char> nVerdict(kBootSamples);
  FitScratch scratch(nN);
  const uint32_t nMod = static_cast<uint32_t>(nN);
  int nInfCount = 0;
  int nDegenerate = 0;
  for (int b = 0; b < kBootSamples; ++b) {
    // w % n favours small indices slightly when n is not a power of two; the
    // resample order decides every later number, so it stays as it is.
    bool bAllSameX = true;
    for (int j = 0; j < nN; ++j) {
      const uint32_t k = genrand() % nMod;
      fBootX[j] = pfX[k];
      fBootY[j] = pfY[k];
      bAllSameX = bAllSameX && fBootX[j] == fBootX[0];
    }
    fit(fBootX.data(), fBootY.data(), nN, &fBootInts[b], &fBootSlopes[b],
        scratch);
    // |x| > 1000 is the same test as sqrt(x * x) > 1000 in double: the
    // square of a float is exact there, and so is its root.
    if (std::fabs(fBootInts[b]) > kBootInterceptLimit) {
      nVerdict[b] = bAllSameX ? 2 : 1;
      ++nInfCount;
      nDegenerate += bAllSameX;
    }
  }
  // The outlier rule stands unless it would keep fewer than two resamples
  // (data whose level lies far above 1000); then only the resamples without
  // a pair of distinct x stay out.
  const char nOutFrom = kBootSamples - nInfCount >= 2 ? 1 : 2;
  if (nOutFrom == 2) nInfCount = nDegenerate;
  for (int b = 0; b < kBootSamples; ++b) {
    if (nVerdict[b] >= nOutFrom) {
      fBootInts[b] = kTheilSenSentinel;
      fBootSlopes[b] = kTheilSenSentinel;
    }
  }
  const int nKept = kBootSamples - nInfCount;
  if (nKept < 2) {
    *intSE = 0.0f;
    *slopeSE = 0.0f;
    return;
  }
  quicksort(fBootInts.data(), kBootSamples);
  quicksort(fBootSlopes.data(), kBootSamples);
  *intSE = static_cast<float>(
      std::sqrt(static_cast<double>(variance(fBootInts.data(), nKept))));
  *slopeSE = static_cast<float>(
      std::sqrt(static_cast<double>(variance(fBootSlopes.data(), nKept))));
}
