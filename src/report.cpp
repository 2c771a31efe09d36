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
                 const PhaseModel& model) {
  pText->append(label);
  appendf(pText, "\tint \t% .3f \t(%.3f)\n",
          static_cast<double>(model[kPhaseInt]),
          static_cast<double>(model[kPhaseIntSE]));
  appendf(pText, "\tslope \t% .3f \t(%.3f)\n",
          static_cast<double>(model[kPhaseSlope]),
          static_cast<double>(model[kPhaseSlopeSE]));
  appendf(pText, "\ts \t% .3f \t(%.3f)\n\n",
          static_cast<double>(model[kPhaseSD]),
          static_cast<double>(model[kPhaseSDSE]));
}

std::string bootstrapNote(const BootstrapExclusions& e, char cPhase,
                          int nBootSamples) {
  char buf[400];
  if (e.bRuleWaived) {
    std::snprintf(buf, sizeof buf,
                  "the bootstrap of the %c phase's line did not leave out "
                  "fits whose intercept lies beyond 1000 in magnitude: that "
                  "would have left out more than half of its %d fits",
                  cPhase, nBootSamples);
    return buf;
  }
  std::snprintf(buf, sizeof buf,
                "the %c phase's line bootstrap left out %d of %d fits whose "
                "intercept lay beyond 1000 in magnitude; its line's errors "
                "come from the rest",
                cPhase, e.nLeftOut, nBootSamples);
  return buf;
}

}  // namespace

const char* direction(const Analysis& a) {
  return a.esResults[kESd] >= 0.0f ? "increase" : "decrease";
}

std::string reportText(const Analysis& a) {
  std::string text = "\t\t est\t(SE)\n\n";
  appendPhase(&text, "Null: ", a.nullModel);
  appendPhase(&text, "Exp: ", a.expModel);
  appendf(&text, "Auto:\tr1 \t% .3f \t(%.3f)\n\n",
          static_cast<double>(a.autocorrModel[kAutoR1]),
          static_cast<double>(a.autocorrModel[kAutoR1SE]));
  text += "\nSIMULATING CASES...\n\n";
  appendf(&text, "Null Effect mean %.3f\t(%.3f)\n",
          static_cast<double>(a.simResults[kSimNullMean]),
          static_cast<double>(a.simResults[kSimNullSD]));
  appendf(&text, "Exp Effect mean  %.3f\t(%.3f)\n\n",
          static_cast<double>(a.simResults[kSimExpMean]),
          static_cast<double>(a.simResults[kSimExpSD]));
  text += "\nCALCULATING EFFECT SIZE...\n\n";
  appendf(&text, "D (unstd) \t% .3f\n", static_cast<double>(a.esResults[kESD]));
  appendf(&text, "d (std)   \t% .3f\t(%.3f)\n",
          static_cast<double>(a.esResults[kESd]),
          static_cast<double>(a.esResults[kESdSE]));
  appendf(&text, "r         \t% .3f\n", static_cast<double>(a.esResults[kESr]));
  appendf(&text, "R-squared \t% .3f\t",
          static_cast<double>(a.esResults[kESRsq]));
  // The sign of d decides; zero counts as an increase. Only an increase is
  // followed by a blank line.
  text += a.esResults[kESd] >= 0.0f ? "(increase)\n\n" : "(decrease)\n";
  appendf(&text, "p         \t% .3f\n\n\n",
          static_cast<double>(a.esResults[kESpEmp]));
  return text;
}

std::vector<std::string> analysisNotes(const Analysis& a, int nNA, int nNB) {
  std::vector<std::string> notes;
  // d is divided by a stand-in SD when the null means do not vary, and a
  // two-point phase gives the bootstrap nothing to vary: one sentence.
  const bool bShortPhase = nNA == 2 || nNB == 2;
  const bool bFlatNull = a.simResults[kSimNullSD] == 1e-6f;
  if (bShortPhase || bFlatNull) {
    std::string note;
    if (bShortPhase) {
      note +=
          "a phase of only 2 points leaves the bootstrap nothing to "
          "estimate its line's uncertainty from";
    }
    if (bShortPhase && bFlatNull) note += ", and ";
    if (bFlatNull) {
      note +=
          "the simulated null-model means do not vary (the baseline lies "
          "exactly on its line), so their SD of 0 entered d's pooled SD "
          "as a stand-in of 1e-6";
    }
    note += "; d, r and p are not meaningful for such data";
    notes.push_back(note);
  }
  const int nBoot = a.size.nBootSamples;
  const AnalysisNotes& n = a.notes;
  if (n.lineA.nLeftOut > 0 || n.lineA.bRuleWaived) {
    notes.push_back(bootstrapNote(n.lineA, 'A', nBoot));
  }
  if (n.lineB.nLeftOut > 0 || n.lineB.bRuleWaived) {
    notes.push_back(bootstrapNote(n.lineB, 'B', nBoot));
  }
  if (n.bLevelSwampsSpread) {
    notes.push_back(
        "the data's level is so large next to their spread around the lines "
        "that single precision loses the spread, so d, r and p may be far "
        "off; subtract a constant near the data's level before analysing");
  }
  if (n.bSpreadUnderflows) {
    notes.push_back(
        "the data's spread around the lines is so small (below 1e-18) that "
        "its squares fall out of single precision's range, so the errors, "
        "d, r and p may be far off; rescale the data (other units) before "
        "analysing");
  }
  return notes;
}
