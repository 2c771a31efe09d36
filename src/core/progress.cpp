#include "progress.h"

#include <utility>

void Progress::setListener(std::function<bool(double)> listener) {
  listener_ = std::move(listener);
}

void Progress::start(double fTotal) {
  fTotalUnits_ = fTotal > 0.0 ? fTotal : 1.0;
  fDoneUnits_ = 0.0;
  bStopped_ = listener_ && !listener_(0.0);
}

void Progress::add(double fUnits) {
  if (!listener_ || bStopped_) return;
  fDoneUnits_ += fUnits;
  const double fFraction = fDoneUnits_ / fTotalUnits_;
  if (!listener_(fFraction < 1.0 ? fFraction : 1.0)) bStopped_ = true;
}

void Progress::stopWhenAsked() const {
  if (bStopped_) throw AnalysisStopped();
}
