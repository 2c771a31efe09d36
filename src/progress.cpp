#include "progress.h"

#include <utility>

namespace {
// Per thread: only the thread that runs an analysis reports its progress.
thread_local std::function<void(double)> listener;
thread_local double fTotalUnits = 0.0;
thread_local double fDoneUnits = 0.0;
}  // namespace

void setProgressListener(std::function<void(double)> newListener) {
  listener = std::move(newListener);
}

void progressStart(double fTotal) {
  fTotalUnits = fTotal > 0.0 ? fTotal : 1.0;
  fDoneUnits = 0.0;
  if (listener) listener(0.0);
}

void progressAdd(double fUnits) {
  if (!listener) return;
  fDoneUnits += fUnits;
  const double fFraction = fDoneUnits / fTotalUnits;
  listener(fFraction < 1.0 ? fFraction : 1.0);
}
