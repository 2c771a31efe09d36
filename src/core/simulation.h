#ifndef KALMIR_SIMULATION_H_
#define KALMIR_SIMULATION_H_

#include <vector>

#include "rnorm.h"
#include "simd.h"

// Simulated phases of a fitted model, each reduced to its mean. A phase
// draws its own intercept, slope, residual SD and autocorrelation (each
// perturbed by its standard error times a standard normal deviate), then
// adds AR(1) noise that is standardized after a 50-value burn-in and scaled
// by the drawn SD. One phase of n points takes exactly n + 54 deviates:
// z1 ... z4, then the n + 50 noise deviates in series order.

// Values of the AR(1) noise series dropped before the n that are kept.
const int kSimBurnIn = 50;
// Deviates one simulated phase of n points consumes.
inline int simDeviatesPerPhase(int n) { return n + kSimBurnIn + 4; }

// Working storage of one simulated phase of n points, sized once so that
// the cases of a simulation allocate nothing.
struct SimScratch {
  explicit SimScratch(int n);
  std::vector<float> e;     // n + 50: the AR(1) series with its burn-in
  std::vector<float> temp;  // n: the noise, then the simulated phase
};

// Writes n >= 2 values of standardized AR(1) noise with coefficient r1 to
// y; draws n + 50 deviates from the stream through rnorm.
void simAutocorr(RandomStream& stream, float r1, int n, float* y);

// Simulates one phase of n >= 2 points at the times t from a phase model
// (intercept, slope, SD, each with its SE) and an autocorrelation r1 with
// its SE, and returns the phase's mean. Draws n + 54 deviates from the
// stream through rnorm.
float simTimeSeriesMean(RandomStream& stream, int n, const float* t,
                        float intercept, float intSE, float slope,
                        float slopeSE, float SD, float SDSE, float r1,
                        float r1SE);
float simTimeSeriesMean(RandomStream& stream, int n, const float* t,
                        float intercept, float intSE, float slope,
                        float slopeSE, float SD, float SDSE, float r1,
                        float r1SE, SimScratch& scratch);

// The same phase computed from n + 54 deviates already drawn, in the order
// rnorm would have delivered them; gives the bits of the call above.
float simTimeSeriesMeanFrom(const float* pfZ, int n, const float* t,
                            float intercept, float intSE, float slope,
                            float slopeSE, float SD, float SDSE, float r1,
                            float r1SE, SimScratch& scratch);

// Phases simulated side by side, one per lane, so that the compiler can run
// the lanes' identical arithmetic in SIMD registers. The kernels below give
// the same bits at every SimdLevel the CPU has.
const int kSimLanes = 8;

// Lays out the deviates of nCases <= kSimLanes consecutive cases of
// nPerCase deviates each (case l's at pfCases[l * nPerCase ...]) lane by
// lane: deviate j of case l to pfLanes[j * kSimLanes + l]. Lanes from nCases
// on get case 0's deviates again, so that they compute something harmless.
// Moves eight deviates of eight cases at once through registers at
// SimdLevel::kAvx2 and above.
void simLanesFromCases(const float* pfCases, int nCases, int nPerCase,
                       float* pfLanes, SimdLevel simd);

// The same for deviates already laid out lane by lane: deviate j of lane l's
// phase at pfLanes[j * kSimLanes + l], j = 0 ... n + 53. Overwrites them.
void simPhaseMeansLanes(float* pfLanes, int nLanes, int n, const float* t,
                        const float* pfModel, float r1, float r1SE,
                        float* pfMeans, SimdLevel simd);
// Both phases of the same lanes of cases at once, the null phase's
// deviates first and the experimental phase's right after them, each as
// simPhaseMeansLanes would give them; the two noise recursions run side by
// side at SimdLevel::kAvx2 and above.
void simPhaseMeansLanePair(float* pfLanes, int nLanes, int n,
                           const float* tNull, const float* pfNullModel,
                           float* pfNullMeans, const float* tExp,
                           const float* pfExpModel, float* pfExpMeans, float r1,
                           float r1SE, SimdLevel simd);

#endif  // KALMIR_SIMULATION_H_
