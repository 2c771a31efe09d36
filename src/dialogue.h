#ifndef KALMIR_DIALOGUE_H_
#define KALMIR_DIALOGUE_H_

#include <cstdio>

// The console dialogue: banner, then for each data set the prompts for both
// phases, the analysis and the report, until input ends. On valid input the
// output stream carries exactly the documented dialogue; help on unusable
// input and notes on figures without meaning go to the error stream.

// Longest phase accepted. One fit keeps n(n-1)/2 pairwise slopes and each
// bootstrap refits 10000 resamples, so the work grows with the square of
// the phase length; at 500 + 500 an analysis still takes seconds.
const int kMaxPhasePoints = 500;
// Largest magnitude accepted for a measurement: beyond it the
// single-precision sums of the analysis could overflow.
const float kMaxMagnitude = 1e9f;
// Simulated cases per analysis.
const int kSimCases = 100000;

struct DialogueLimits {
  int nMaxPhasePoints = kMaxPhasePoints;
  int nSimN = kSimCases;
};

// Runs the dialogue until input ends. Returns the exit status: 0 when input
// ends between data sets, 1 when it ends inside one (which is not analysed).
int runDialogue(FILE* in, FILE* out, FILE* err,
                const DialogueLimits& limits = DialogueLimits());

#endif  // KALMIR_DIALOGUE_H_
