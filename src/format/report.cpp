#include "report.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <optional>
#include <utility>

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

// An estimate with its SE and 95% interval, or "empty" for none.
void appendEstimate(std::string* pText, const char* label, double est,
                    double se, double low, double high) {
  appendf(pText, "%s\t% .3f\t(%.3f)\t[% .3f, % .3f]\n", label, est, se, low,
          high);
}

void appendSmd(std::string* pText, const char* label,
               const std::optional<kalmir::Smd>& smd) {
  if (!smd) {
    appendf(pText, "%s\t empty\n", label);
    return;
  }
  appendEstimate(pText, label, smd->g, smd->se, smd->ci_low, smd->ci_high);
}

}  // namespace

const char* improvementText(kalmir::Improvement improvement) {
  return improvement == kalmir::Improvement::increase ? "increase"
                                                      : "decrease";
}

std::string indicesText(const kalmir::Result& a) {
  const kalmir::Indices& x = a.indices;
  std::string text = "OTHER EFFECT SIZES (improvement: ";
  text += improvementText(a.improvement);
  text += ")\n\n\t\t est\t(SE)\t95% CI\n";
  appendEstimate(&text, "NAP       ", x.nap, x.nap_se, x.nap_ci_low,
                 x.nap_ci_high);
  appendEstimate(&text, "Tau       ", x.tau, x.tau_se, x.tau_ci_low,
                 x.tau_ci_high);
  appendf(&text, "Tau-U     \t% .3f\t(Parker's form, no SE)\n", x.tau_u);
  appendEstimate(&text, "Tau-BC    ", x.tau_bc, x.tau_bc_se, x.tau_bc_ci_low,
                 x.tau_bc_ci_high);
  appendf(&text, "PND       \t% .3f\n", x.pnd);
  appendf(&text, "PEM       \t% .3f\n", x.pem);
  appendf(&text, "PAND      \t% .3f\n", x.pand);
  appendf(&text, "IRD       \t% .3f\n", x.ird);
  appendSmd(&text, "SMD A SD  ", x.smd_baseline);
  appendSmd(&text, "SMD pooled", x.smd_pooled);
  for (const kalmir::Note& note : x.notes) {
    text += "Note: " + note.text + ".\n";
  }
  return text + "\n\n";
}

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

const char* weightsText(kalmir::Weights weights) {
  return weights == kalmir::Weights::equal ? "equal" : "inverse-variance";
}

std::string summaryText(const kalmir::Summary& summary, const char* what,
                        kalmir::Weights weights) {
  std::string text;
  appendf(&text, "AVERAGE OF %d %s (weights: %s)\n\n\t\t est\t(SE)\n",
          summary.count, what, weightsText(weights));
  // The report's names of the figures the table calls by its columns.
  const std::pair<const char*, const char*> labels[] = {
      {"d_unstd", "D (unstd) "},    {"d", "d (std)   "},
      {"nap", "NAP       "},        {"tau", "Tau       "},
      {"tau_u", "Tau-U     "},      {"tau_bc", "Tau-BC    "},
      {"pnd", "PND       "},        {"pem", "PEM       "},
      {"pand", "PAND      "},       {"ird", "IRD       "},
      {"smd_baseline", "SMD A SD  "}, {"smd_pooled", "SMD pooled"}};
  for (const auto& label : labels) {
    const kalmir::Average* pAverage = nullptr;
    for (const kalmir::Average& a : summary.averages) {
      if (a.name == label.first) pAverage = &a;
    }
    if (pAverage == nullptr) {
      appendf(&text, "%s\t empty\n", label.second);
    } else if (std::isnan(pAverage->se)) {
      appendf(&text, "%s\t% .3f\n", label.second, pAverage->estimate);
    } else {
      appendf(&text, "%s\t% .3f\t(%.3f)\n", label.second, pAverage->estimate,
              pAverage->se);
    }
  }
  return text + "\n\n";
}
