#include "report.h"

#include <cstdarg>
#include <cstdio>

namespace {

void appendf(std::string* pText, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

void appendf(std::string* pText, const char* format, ...) {
  char buf[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof buf) {
    pText->append(buf, static_cast<size_t>(n));
    return;
  }
  // Only figures of very large magnitude get this long.
  std::string big(static_cast<size_t>(n) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(&big[0], big.size(), format, args);
  va_end(args);
  big.resize(static_cast<size_t>(n));
  pText->append(big);
}

void appendPhase(std::string* pText, const char* label,
                 const kalmir::Line& line) {
  pText->append(label);
  appendf(pText, "\tint \t% .3f \t(%.3f)\n",
          static_cast<double>(line.intercept),
          static_cast<double>(line.intercept_se));
  appendf(pText, "\tslope \t% .3f \t(%.3f)\n",
          static_cast<double>(line.slope), static_cast<double>(line.slope_se));
  appendf(pText, "\ts \t% .3f \t(%.3f)\n\n", static_cast<double>(line.sd),
          static_cast<double>(line.sd_se));
}

}  // namespace

const char* directionText(kalmir::Direction direction) {
  return direction == kalmir::Direction::increase ? "increase" : "decrease";
}

std::string reportText(const kalmir::Result& a) {
  std::string text = "\t\t est\t(SE)\n\n";
  appendPhase(&text, "Null: ", a.null_model);
  appendPhase(&text, "Exp: ", a.exp_model);
  appendf(&text, "Auto:\tr1 \t% .3f \t(%.3f)\n\n", static_cast<double>(a.r1),
          static_cast<double>(a.r1_se));
  text += "\nSIMULATING CASES...\n\n";
  appendf(&text, "Null Effect mean %.3f\t(%.3f)\n",
          static_cast<double>(a.null_mean), static_cast<double>(a.null_sd));
  appendf(&text, "Exp Effect mean  %.3f\t(%.3f)\n\n",
          static_cast<double>(a.exp_mean), static_cast<double>(a.exp_sd));
  text += "\nCALCULATING EFFECT SIZE...\n\n";
  appendf(&text, "D (unstd) \t% .3f\n", static_cast<double>(a.d_unstd));
  appendf(&text, "d (std)   \t% .3f\t(%.3f)\n", static_cast<double>(a.d),
          static_cast<double>(a.d_se));
  appendf(&text, "r         \t% .3f\n", static_cast<double>(a.r));
  appendf(&text, "R-squared \t% .3f\t", static_cast<double>(a.r_squared));
  // Only an increase is followed by a blank line.
  text += a.direction == kalmir::Direction::increase ? "(increase)\n\n"
                                                     : "(decrease)\n";
  appendf(&text, "p         \t% .3f\n\n\n", static_cast<double>(a.p));
  return text;
}
