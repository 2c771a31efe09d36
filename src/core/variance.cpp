#include "variance.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "mersenne.h"
#include "parallel.h"
#include "workbench.h"
#include "workspace.h"

float varianceSingle(const float* x, int n) {
  float sum = 0.0f;
  for (int i = 0; i < n; ++i) sum = sum + x[i];
  const float mean = static_cast<float>(static_cast<double>(sum) / n);
  sum = 0.0f;
  for (int i = 0; i < n; ++i) {
    const float z = x[i] - mean;
    // z * z is exact in double; the sum is rounded after every addition.
    sum = static_cast<float>(static_cast<double>(sum) +
                             static_cast<double>(z) * z);
  }
  return static_cast<float>(static_cast<double>(sum) / (n - 1));
}

float varianceDouble(const float* x, int n) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += x[i];
  const double mean = sum / n;
  double ss = 0.0;
  for (int i = 0; i < n; ++i) {
    const double z = x[i] - mean;
    ss += z * z;
  }
  return static_cast<float>(ss / (n - 1));
}

float varianceGuarded(float fSingle, float fDouble, double* pfKeptDrift) {
  if (fDouble == 0.0f) return fSingle == 0.0f ? fSingle : fDouble;
  const double sdSingle = std::sqrt(static_cast<double>(fSingle));
  const double sdDouble = std::sqrt(static_cast<double>(fDouble));
  const double drift = std::fabs(sdSingle - sdDouble);
  if (drift > 0.01 * sdDouble) return fDouble;
  if (pfKeptDrift != nullptr) {
    *pfKeptDrift = std::max(*pfKeptDrift, drift / sdDouble);
  }
  return fSingle;
}

float variance(const float* x, int n, double* pfKeptDrift) {
  return varianceGuarded(varianceSingle(x, n), varianceDouble(x, n),
                         pfKeptDrift);
}

void drawBootstrapIndices(GenrandState& stream, int n, size_t nResamples,
                          uint32_t* pnIndex, SimdLevel simd) {
  const size_t nWords = static_cast<size_t>(n) * nResamples;
  genrandBlock(stream, pnIndex, nWords, simd);
  // w % n favours small indices slightly when n is not a power of two; the
  // resample order decides every later number, so it stays as it is.
  const uint32_t nMod = static_cast<uint32_t>(n);
  for (size_t i = 0; i < nWords; ++i) pnIndex[i] %= nMod;
}

size_t bootstrapBatch(int n) {
  const size_t nPer = 4096 / static_cast<size_t>(n);
  return nPer > 0 ? nPer : 1;
}

float stdDevStdErr(Workbench& bench, const float* x, int n, int nBootSamples,
                   double* pfKeptDrift) {
  const size_t nPoints = static_cast<size_t>(n);
  const size_t nBoot = static_cast<size_t>(nBootSamples);
  const size_t nBatch = bootstrapBatch(n);
  SdBootstrapWork& work = bench.sdBootstraps;
  float* fBootSD = work.fBootSD.get(nBoot);
  ThreadTeam& team = bench.team();
  SdBootstrapWork::Member* members = membersFor(team, &work.members);
  GenrandState& stream = bench.stream.words;
  const SimdLevel simd = bench.simd();
  Progress& progress = bench.progress();
  const double fUnitsPerResample = stdDevStdErrUnits(n, 1);
  std::atomic<size_t> nDone{0};
  size_t nReported = 0;
  team.runInTurn((nBoot + nBatch - 1) / nBatch,
                 [&](size_t k, int nMember) {
                   const size_t nCount = std::min(nBatch, nBoot - k * nBatch);
                   drawBootstrapIndices(
                       stream, n, nCount,
                       members[nMember].nIndex.get(nBatch * nPoints), simd);
                 },
                 [&](size_t k, int nMember) {
                   const size_t nFirst = k * nBatch;
                   const size_t nEnd = std::min(nFirst + nBatch, nBoot);
                   const uint32_t* pnIndex = members[nMember].nIndex.data();
                   float* fBootX = members[nMember].fBootX.get(nPoints);
                   for (size_t b = nFirst; b < nEnd; ++b, pnIndex += nPoints) {
                     for (size_t j = 0; j < nPoints; ++j)
                       fBootX[j] = x[pnIndex[j]];
                     fBootSD[b] = static_cast<float>(
                         std::sqrt(static_cast<double>(variance(fBootX, n))));
                   }
                   const size_t nUpTo =
                       nDone.fetch_add(nEnd - nFirst) + nEnd - nFirst;
                   // The calling thread reports for the whole team, and stops
                   // it when asked.
                   if (nMember == 0) {
                     progress.add(static_cast<double>(nUpTo - nReported) *
                                  fUnitsPerResample);
                     nReported = nUpTo;
                     progress.stopWhenAsked();
                   }
                 });
  return static_cast<float>(
      std::sqrt(static_cast<double>(
          variance(fBootSD, nBootSamples, pfKeptDrift))));
}
