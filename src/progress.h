#ifndef KALMIR_PROGRESS_H_
#define KALMIR_PROGRESS_H_

#include <functional>

// How far the running analysis has come, for a display of long analyses.
// The stages report work done in units of their own cost estimate, from
// the calling thread only; with no listener set nothing is reported. The
// progress never influences a result.

// Called with the fraction done, 0 ... 1, from the analysis thread. An
// empty listener stops the reports.
void setProgressListener(std::function<void(double)> listener);

// Starts an analysis of fTotal units of work.
void progressStart(double fTotal);
// Adds fUnits of work done.
void progressAdd(double fUnits);

#endif  // KALMIR_PROGRESS_H_
