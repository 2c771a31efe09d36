#ifndef KALMIR_PROGRESSLINE_H_
#define KALMIR_PROGRESSLINE_H_

// A line on the error stream that shows how far a long run has come: the
// dialogue's analysis, or the data files' cases. It is redrawn in place
// and wiped when the run ends, so that none of it stays on the screen or
// mixes with the results. It shows nothing unless the caller allows it
// (the error stream is a terminal) and nothing before the run has taken a
// while, so quick runs never flicker. Used from one thread.

#include <chrono>
#include <cstdio>
#include <string>

class ProgressLine {
 public:
  // bShow false keeps it silent. Nothing shows before delay has passed,
  // nor sooner than minGap after the last redraw.
  ProgressLine(FILE* err, bool bShow,
               std::chrono::milliseconds minGap = std::chrono::milliseconds(0),
               std::chrono::milliseconds delay = std::chrono::seconds(1));
  // Wipes the line, if it was shown.
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Whether it may show at all; callers may skip their listeners when not.
  bool shows() const { return bShow_; }
  // Seconds since it was made.
  double elapsed() const;
  // Puts text (one line, no line break) in place of what was shown, unless
  // it is too early or text is what is shown already.
  void show(const std::string& text);

  // A duration as a clock shows it: "m:ss", or "h:mm:ss" from an hour on.
  static std::string clock(double fSeconds);

 private:
  FILE* err_;
  bool bShow_;
  std::chrono::milliseconds minGap_;
  std::chrono::milliseconds delay_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
  std::string shown_;
  size_t nWidest_ = 0;  // the widest line shown, which the wipe covers
};

#endif  // KALMIR_PROGRESSLINE_H_
