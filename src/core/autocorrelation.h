#ifndef KALMIR_AUTOCORRELATION_H_
#define KALMIR_AUTOCORRELATION_H_

// Lag-1 autocorrelation of a series and its standard error. Pure: keeps
// nothing and draws nothing.

// Lag-1 autocorrelation of the n >= 1 values of x plus the correction p / n.
// A series whose squared deviations sum to exactly 0 gives 0, without the
// correction. The result is not clamped to -1 ... 1.
float autocorr(const float* x, int n, int p);

// Standard error of the lag-1 autocorrelation of nN >= 2 values:
// (n - 2) / (n sqrt(n - 1)). r1 is not used; the error depends on nN alone.
float autocorrStdErr(float r1, int nN);

#endif  // KALMIR_AUTOCORRELATION_H_
