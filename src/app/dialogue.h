#ifndef KALMIR_DIALOGUE_H_
#define KALMIR_DIALOGUE_H_

#include <cstdio>
#include <functional>

#include "kalmir/kalmir.h"

// The console dialogue: banner, then for each data set the prompts for both
// phases, the analysis and the report, until input ends. On valid input the
// output stream carries exactly the documented dialogue; help on unusable
// input and notes on figures without meaning go to the error stream.

// The program always runs the defaults; tests and fuzzing ask for less.
struct DialogueLimits {
  int nMaxPhasePoints = kalmir::kMaxPhasePoints;
  int nSimN = kalmir::kCases;
  int nBootSamples = kalmir::kResamples;
  int nThreads = 0;  // the analyses' threads; 0: one per core
  // The Analyser to run the analyses on, for a caller that runs many
  // dialogues and keeps its threads between them; null: the dialogue's own.
  kalmir::Analyser* pAnalyser = nullptr;
  // Called after each report, with the analysis's number (1, 2, ...) and
  // its result; with bKeepMeans the simulated means are kept for it. False from it ends the dialogue with kDialogueFailed (it has said
  // why on the error stream).
  std::function<bool(int nAnalysis, const kalmir::Result& result)> afterReport;
  bool bKeepMeans = false;
};

// Exit statuses of the dialogue.
enum DialogueStatus {
  kDialogueDone = 0,        // input ended before a data set began
  kDialogueUnfinished = 1,  // input ended inside a data set (not analysed)
  kDialogueFailed = 2,      // output could not be written or input read,
                            // or the afterReport call failed
  kDialogueDataFile = 2,    // standard input holds a data file: a header
                            // row, then a line that gives no count
};

// Runs the dialogue until input ends, and returns its exit status. A data
// set begins with its first byte that is not blank; blank lines, blanks
// and CR bytes after the last data set end the session cleanly.
int runDialogue(FILE* in, FILE* out, FILE* err,
                const DialogueLimits& limits = DialogueLimits());

#endif  // KALMIR_DIALOGUE_H_
