#ifndef KALMIR_PROGRESS_H_
#define KALMIR_PROGRESS_H_

#include <exception>
#include <functional>

// Thrown by an analysis that its listener asked to stop.
struct AnalysisStopped : std::exception {
  const char* what() const noexcept override { return "analysis stopped"; }
};

// How far an analysis has come, for a display of long analyses, and the
// caller's word to stop it. The stages report work done in units of their
// own cost estimate, from the analysis's calling thread only; with no
// listener nothing is reported. The progress never influences a result: a
// stopped analysis has no result.
class Progress {
 public:
  // Called with the fraction done, 0 ... 1, on the analysis's calling
  // thread; false from it asks the analysis to stop, and it is not called
  // again until the next start. An empty listener stops the reports.
  void setListener(std::function<bool(double)> listener);

  // Starts an analysis of fTotal units of work.
  void start(double fTotal);
  // Adds fUnits of work done.
  void add(double fUnits);
  // Whether the listener has asked the running analysis to stop.
  bool stopped() const { return bStopped_; }
  // Throws AnalysisStopped when it has. The analysis looks between its
  // stages, and the stages after each share of their work that they
  // report, so that it stops within milliseconds.
  void stopWhenAsked() const;

 private:
  std::function<bool(double)> listener_;
  double fTotalUnits_ = 0.0;
  double fDoneUnits_ = 0.0;
  bool bStopped_ = false;
};

#endif  // KALMIR_PROGRESS_H_
