#include "progress.h"

#include <utility>

namespace {
// Per thread: only the thread that runs an analysis reports its progress.
thread_local std::function<bool(double)> listener;
thread_local double fTotalUnits = 0.0;
thread_local double fDoneUnits = 0.0;
thread_local bool bStopped = false;
}  // namespace

void setProgressListener(std::function<bool(double)> newListener) {
  listener = std::move(newListener);
}

void progressStart(double fTotal) {
  fTotalUnits = fTotal > 0.0 ? fTotal : 1.0;
  fDoneUnits = 0.0;
  bStopped = listener && !listener(0.0);
}

void progressAdd(double fUnits) {
  if (!listener || bStopped) return;
  fDoneUnits += fUnits;
  const double fFraction = fDoneUnits / fTotalUnits;
  if (!listener(fFraction < 1.0 ? fFraction : 1.0)) bStopped = true;
}

bool progressStopped() { return bStopped; }
