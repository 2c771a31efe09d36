#ifndef KALMIR_DIALOGUE_H_
#define KALMIR_DIALOGUE_H_

#include <cstdio>
#include <functional>

#include "measurement.h"
#include "scsim.h"

// The console dialogue: banner, then for each data set the prompts for both
// phases, the analysis and the report, until input ends. On valid input the
// output stream carries exactly the documented dialogue; help on unusable
// input and notes on figures without meaning go to the error stream.

// Longest phase accepted. One fit keeps n(n-1)/2 pairwise slopes and each
// bootstrap refits 10000 resamples, so the work grows with the square of
// the phase length; at 500 + 500 an analysis still takes seconds.
const int kMaxPhasePoints = 500;
// Simulated cases per analysis.
const int kSimCases = 100000;

// The program always runs the defaults; tests and fuzzing ask for less.
struct DialogueLimits {
  int nMaxPhasePoints = kMaxPhasePoints;
  int nSimN = kSimCases;
  int nBootSamples = 10000;
  // Called after each report, with the analysis's number (1, 2, ...), its
  // data and its records; with bKeepMeans the simulated means are kept for
  // it. False from it ends the dialogue with kDialogueFailed (it has said
  // why on the error stream).
  std::function<bool(int nAnalysis, int nNA, int nNB, const float* pfY,
                     const Analysis& analysis)>
      afterReport;
  bool bKeepMeans = false;
};

// Exit statuses of the dialogue.
enum DialogueStatus {
  kDialogueDone = 0,        // input ended before a data set began
  kDialogueUnfinished = 1,  // input ended inside a data set (not analysed)
  kDialogueFailed = 2,      // output could not be written or input read,
                            // or the afterReport call failed
};

// Runs the dialogue until input ends, and returns its exit status. A data
// set begins with its first byte that is not blank; blank lines, blanks
// and CR bytes after the last data set end the session cleanly.
int runDialogue(FILE* in, FILE* out, FILE* err,
                const DialogueLimits& limits = DialogueLimits());

#endif  // KALMIR_DIALOGUE_H_
