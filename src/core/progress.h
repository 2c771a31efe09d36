#ifndef KALMIR_PROGRESS_H_
#define KALMIR_PROGRESS_H_

#include <functional>

// How far the running analysis has come, for a display of long analyses,
// and the caller's word to stop it. The stages report work done in units
// of their own cost estimate, from the calling thread only; with no
// listener set nothing is reported. The progress never influences a
// result: a stopped analysis has no result.

// Called with the fraction done, 0 ... 1, from the analysis thread; false
// from it asks the analysis to stop. An empty listener stops the reports.
void setProgressListener(std::function<bool(double)> listener);

// Starts an analysis of fTotal units of work.
void progressStart(double fTotal);
// Adds fUnits of work done.
void progressAdd(double fUnits);
// Whether the listener has asked the running analysis to stop. The
// analysis entry looks between its stages (the longest takes a few tenths
// of a second at 500 + 500 points) and gives up.
bool progressStopped();

#endif  // KALMIR_PROGRESS_H_
