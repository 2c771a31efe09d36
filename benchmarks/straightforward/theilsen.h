#ifndef KALMIR_THEILSEN_H_
#define KALMIR_THEILSEN_H_

// Robust line fits y = intercept + slope * x. The slope is the median of the
// slopes of all pairs of points, so one wild measurement cannot tip the line;
// the intercept is median(y) - slope * median(x). theilSen keeps nothing
// between calls and draws no random numbers; theilSenStdErr resamples
// through genrand(), so each call advances the stream by 10000 * nN words.

// Stands in for a slope where a pair of points has equal x, and for both
// coefficients of a fit or resample that is left out.
const float kTheilSenSentinel = 999999.0f;
// Resamples per bootstrap; also the length of its arrays of estimates.
const int kBootSamples = 10000;
// A resample whose intercept exceeds this in magnitude is left out.
const float kBootInterceptLimit = 1000.0f;

// Fits nN points. Writes *pfSlope first, then *pfInt. A fit without any pair
// of distinct x (fewer than two points, or all x equal) has no slope; it
// stores the sentinel as both slope and intercept, so that the bootstrap's
// outlier rule leaves such a resample out.
void theilSen(const float* pfX, const float* pfY, int nN, float* pfInt,
              float* pfSlope);

// Bootstrap standard errors of both coefficients from 10000 resamples of the
// nN >= 1 points (one word per resampled point, index = word mod nN).
// Writes *intSE, then *slopeSE.
void theilSenStdErr(const float* pfX, const float* pfY, int nN, float* intSE,
                    float* slopeSE);

#endif  // KALMIR_THEILSEN_H_
