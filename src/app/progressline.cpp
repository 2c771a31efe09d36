#include "progressline.h"

ProgressLine::ProgressLine(FILE* err, bool bShow,
                           std::chrono::milliseconds minGap,
                           std::chrono::milliseconds delay)
    : err_(err),
      bShow_(bShow),
      minGap_(minGap),
      delay_(delay),
      start_(std::chrono::steady_clock::now()) {}

ProgressLine::~ProgressLine() {
  if (nWidest_ == 0) return;
  std::fprintf(err_, "\r%*s\r", static_cast<int>(nWidest_), "");
  std::fflush(err_);
}

double ProgressLine::elapsed() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                       start_)
      .count();
}

void ProgressLine::show(const std::string& text) {
  if (!bShow_ || text == shown_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - start_ < delay_) return;
  if (nWidest_ > 0 && now - last_ < minGap_) return;
  last_ = now;
  shown_ = text;
  // Blanks cover what is left of a longer line before it.
  std::string line = text;
  if (line.size() < nWidest_) line.append(nWidest_ - line.size(), ' ');
  std::fprintf(err_, "\r%s", line.c_str());
  std::fflush(err_);
  nWidest_ = line.size();
}

std::string ProgressLine::clock(double fSeconds) {
  const long n = static_cast<long>(fSeconds + 0.5);
  char buf[32];
  if (n >= 3600) {
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", n / 3600, n / 60 % 60,
                  n % 60);
  } else {
    std::snprintf(buf, sizeof buf, "%ld:%02ld", n / 60, n % 60);
  }
  return buf;
}
