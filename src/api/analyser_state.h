#ifndef KALMIR_ANALYSER_STATE_H_
#define KALMIR_ANALYSER_STATE_H_

#include "kalmir/kalmir.h"
#include "workbench.h"

// What a kalmir::Analyser keeps: the bench its analyses run on. Internal:
// the public header names the type only. Tests reach an Analyser's bench
// through it, to switch its vector code off.
struct kalmir::Analyser::State {
  Workbench bench;
  // The state of *pAnalyser, made anew when it has none (it was moved
  // from).
  static State& of(Analyser* pAnalyser) {
    if (!pAnalyser->state_) pAnalyser->state_.reset(new State);
    return *pAnalyser->state_;
  }
};

#endif  // KALMIR_ANALYSER_STATE_H_
