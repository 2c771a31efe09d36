#ifndef KALMIR_THEILSEN_H_
#define KALMIR_THEILSEN_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "workspace.h"

class Workbench;

// Robust line fits y = intercept + slope * x. The slope is the median of the
// slopes of all pairs of points, so one wild measurement cannot tip the line;
// the intercept is median(y) - slope * median(x). theilSen draws no random
// numbers; theilSenStdErr resamples from the stream of the Workbench it is
// given, so each call advances that stream by 10000 * nN words. What they
// keep between calls are working arrays, in the caller's FitScratch and
// Workbench.

// Stands in for a slope where a pair of points has equal x, and for both
// coefficients of a fit or resample that is left out.
const float kTheilSenSentinel = 999999.0f;
// Resamples per bootstrap in every analysis the program runs; tests and
// fuzzing may ask for fewer.
const int kBootSamples = 10000;
// A resample whose intercept exceeds this in magnitude is left out.
const float kBootInterceptLimit = 1000.0f;

// Fits nN points. Writes *pfSlope first, then *pfInt. The slope is the
// median of the slopes of the pairs with distinct x; pairs with equal x
// have none and are left out. A fit without any pair of distinct x (fewer
// than two points, or all x equal) stores the sentinel as both slope and
// intercept, and the bootstrap leaves such a resample out.
void theilSen(const float* pfX, const float* pfY, int nN, float* pfInt,
              float* pfSlope);
// Working arrays of theilSen, whose room the next fit reuses.
struct FitScratch {
  Workspace<float> fSlopes;
  Workspace<float> fCopy;
};
// The same fit in the caller's working arrays.
void theilSen(const float* pfX, const float* pfY, int nN, float* pfInt,
              float* pfSlope, FitScratch& scratch);

// What a line bootstrap left out besides the resamples without a pair of
// distinct x.
struct BootstrapExclusions {
  int nLeftOut = 0;  // resamples with a slope left out by the outlier rule
  bool bRuleWaived = false;  // the rule would have left out over half
  // The largest relative drift of a single-precision error kept (see
  // variance()).
  double fKeptDrift = 0.0;
};

// Bootstrap standard errors of both coefficients from nBootSamples >= 2
// resamples of the nN >= 1 points (one word per resampled point, index =
// word mod nN). Writes *intSE, then *slopeSE, and, when asked, what was
// left out. A resample without a pair of distinct x is always left out;
// one whose intercept lies beyond +-1000 is left out too, unless that rule
// would keep fewer than half of the resamples. Each error is the SD of
// exactly the kept estimates, summed in ascending order. Draws from the
// bench's stream, shares the fits out among its team, reports to its
// progress and throws AnalysisStopped when that asks to stop.
void theilSenStdErr(Workbench& bench, const float* pfX, const float* pfY,
                    int nN, float* intSE, float* slopeSE,
                    int nBootSamples = kBootSamples,
                    BootstrapExclusions* pExclusions = nullptr);

// The work of one theilSenStdErr call, in the units Progress counts.
double theilSenUnits(int nN, int nBootSamples = kBootSamples);

// Fits bootstrap resamples of one phase given as indices of its points, with
// the bits theilSen gives on the resampled arrays, but faster: a point drawn
// c times enters as one value of weight c, and the slopes of all pairs of
// points are formed and ordered once per phase, so that a fit only walks
// them up to its median. Keeps its scratch between fits.
class ResampleFit {
 public:
  ResampleFit(const float* pfX, const float* pfY, int nN);
  ~ResampleFit();
  // Fits the nN points pfX[pnIndex[j]], pfY[pnIndex[j]]. Returns false,
  // with the sentinel as both coefficients, when no two of them have
  // distinct x.
  bool fit(const uint32_t* pnIndex, float* pfInt, float* pfSlope);
  // Fits resamples of another phase from now on, keeping the scratch's
  // room.
  void rebind(const float* pfX, const float* pfY, int nN);

 private:
  struct Scratch;
  const float* pfX_;
  const float* pfY_;
  int nN_;
  Scratch* pScratch_;
};

// What theilSenStdErr keeps between calls: on the calling thread the
// resamples' estimates and verdicts and the sort's scratch, and for each
// member of the team one batch's indices and a fitter.
struct LineBootstrapWork {
  Workspace<float> fBootInts;
  Workspace<float> fBootSlopes;
  Workspace<char> nVerdict;
  Workspace<float> fSortScratch;
  struct alignas(64) Member {
    Workspace<uint32_t> nIndex;
    std::unique_ptr<ResampleFit> fitter;
    // The call the fitter was last bound to: every call has a number of
    // its own, so that a fitter is bound once per call, not per batch, and
    // never keeps a phase whose arrays merely lie where an earlier one's
    // did.
    uint64_t nBoundTo = 0;
  };
  std::vector<Member> members;
  uint64_t nCalls = 0;
};

#endif  // KALMIR_THEILSEN_H_
