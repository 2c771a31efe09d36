#ifndef KALMIR_VARIANCE_H_
#define KALMIR_VARIANCE_H_

#include <cstdint>
#include <vector>

#include "mersenne.h"
#include "workspace.h"

class Workbench;

// The sample variance that the whole analysis uses, and the bootstrap
// standard error of a standard deviation. variance keeps nothing and draws
// nothing; stdDevStdErr resamples from the stream of the Workbench it is
// given, 10000 * n words a call, and keeps its working arrays there.

// Sample variance (divisor n - 1) of n >= 2 values, with single-precision
// running sums in index order. Where those sums have drifted (values large
// next to their spread), so that the root of the result differs from the
// root of the double-precision variance by more than 1% of the latter, the
// double-precision variance is returned instead.
// With pfKeptDrift, a single-precision result that is kept raises
// *pfKeptDrift to the relative difference of its square root from the
// double-precision one, when that is larger (the drift that stays under
// the 1%, for the note on precision).
float variance(const float* x, int n, double* pfKeptDrift = nullptr);

// The same computation with single-precision running sums only.
float varianceSingle(const float* x, int n);
// Sum, mean and sum of squared deviations in double; rounded to float once.
float varianceDouble(const float* x, int n);
// Chooses between the two results as variance() does.
float varianceGuarded(float fSingle, float fDouble,
                      double* pfKeptDrift = nullptr);

// Resamples of the standard-deviation bootstrap in the program's analyses.
const int kSdBootSamples = 10000;

// The point indices of nResamples consecutive resamples of a bootstrap
// over n points, from the next n * nResamples words of stream: resample b
// takes its n words in turn, index = word mod n. Drawing a batch of them in
// stream order lets the batch's resamples run on any thread.
void drawBootstrapIndices(GenrandState& stream, int n, size_t nResamples,
                          uint32_t* pnIndex, SimdLevel simd);
// Resamples per batch for a bootstrap over n points: about 16 KB of
// indices, so that the threads take many batches in turn.
size_t bootstrapBatch(int n);

// Bootstrap standard error of the standard deviation of n >= 1 values:
// the standard deviation of the standard deviations of nBootSamples >= 2
// resamples. Shares the resamples out among the bench's team, reports to
// its progress and throws AnalysisStopped when that asks to stop.
// pfKeptDrift as for variance(), for the final standard deviation.
float stdDevStdErr(Workbench& bench, const float* x, int n,
                   int nBootSamples = kSdBootSamples,
                   double* pfKeptDrift = nullptr);
// The work of one stdDevStdErr call, in the units Progress counts (those
// of theilSenUnits): a resampled point costs about as much as 8 pairs of a
// line fit.
inline double stdDevStdErrUnits(int n, int nBootSamples = kSdBootSamples) {
  return 8.0 * n * nBootSamples;
}

// What stdDevStdErr keeps between calls: on the calling thread the
// resamples' standard deviations, and for each member of the team one
// batch's indices and one resample.
struct SdBootstrapWork {
  Workspace<float> fBootSD;
  struct alignas(64) Member {
    Workspace<uint32_t> nIndex;
    Workspace<float> fBootX;
  };
  std::vector<Member> members;
};

#endif  // KALMIR_VARIANCE_H_
