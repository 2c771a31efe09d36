#include "notes.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdio>
#include <string>

using kalmir::Note;
using kalmir::NoteCode;

namespace {

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

NoteCode bootstrapCode(const BootstrapExclusions& e) {
  return e.bRuleWaived ? NoteCode::bootstrap_rule_waived
                       : NoteCode::bootstrap_left_out;
}

}  // namespace

std::vector<Note> analysisNotes(const Analysis& a, int nNA, int nNB) {
  std::vector<Note> notes;
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
    const NoteCode code = !bFlatNull  ? NoteCode::short_phase
                          : !bShortPhase ? NoteCode::flat_null
                                         : NoteCode::short_phase_flat_null;
    notes.push_back({code, note});
  }
  if (a.simResults[kSimExpSD] == 0.0f) {
    notes.push_back(
        {NoteCode::flat_exp,
         "the simulated experimental-model means do not vary (the B phase "
         "lies exactly on its line), so the B line's standard errors and "
         "the SD of its means are 0, and d's pooled SD rests on the null "
         "model alone"});
  }
  if (a.esResults[kESpEmp] == 0.0f) {
    // 1 / cases in plain digits: "0.00001" for the full 100000.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.12f", 1.0 / a.size.nSimN);
    std::string bound = buf;
    bound.erase(bound.find_last_not_of('0') + 1);
    notes.push_back(
        {NoteCode::p_beyond_all,
         "no simulated null-model mean was as far out: p < " + bound});
  }
  const int nBoot = a.size.nBootSamples;
  const AnalysisNotes& n = a.notes;
  if (n.lineA.nLeftOut > 0 || n.lineA.bRuleWaived) {
    notes.push_back({bootstrapCode(n.lineA), bootstrapNote(n.lineA, 'A', nBoot)});
  }
  if (n.lineB.nLeftOut > 0 || n.lineB.bRuleWaived) {
    notes.push_back({bootstrapCode(n.lineB), bootstrapNote(n.lineB, 'B', nBoot)});
  }
  if (n.bLevelSwampsSpread) {
    notes.push_back({NoteCode::level_swamps_spread,
        "the data's level is so large next to their spread around the lines "
        "that single precision loses the spread, so d, r and p may be far "
        "off; subtract a constant near the data's level before analysing"});
  }
  if (n.bDDrift) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", n.fDDrift);
    notes.push_back(
        {NoteCode::single_precision_drift,
         std::string("single precision's rounding in the variances and means "
                     "behind d can move it by up to about ") +
             buf +
             " against the same figures formed in double precision; read d "
             "and r to fewer decimals, or subtract a constant near the "
             "data's level and rescale them before analysing"});
  }
  if (n.bSpreadUnderflows) {
    notes.push_back({NoteCode::spread_underflows,
        "the data's spread around the lines is so small (below 1e-18) that "
        "its squares fall out of single precision's range, so the errors, "
        "d, r and p may be far off; rescale the data (other units) before "
        "analysing"});
  }
  return notes;
}

std::vector<Note> indicesNotes(const EffectIndices& x) {
  std::vector<Note> notes;
  const char kLeftEmpty[] = " left empty rather than infinite";
  if (x.pooledGap == SmdGap::flatSD) {
    notes.push_back({NoteCode::smd_flat,
                     std::string("neither phase's values vary, so both "
                                 "standardized mean differences are") +
                         kLeftEmpty});
  } else if (x.baselineGap == SmdGap::flatSD) {
    notes.push_back({NoteCode::smd_baseline_flat,
                     std::string("the A phase's values do not vary, so the "
                                 "standardized mean difference with the "
                                 "baseline SD is") +
                         kLeftEmpty});
  }
  if (x.baselineGap == SmdGap::shortBaseline) {
    notes.push_back({NoteCode::smd_baseline_short,
        "an A phase of only 2 points gives its SD one degree of freedom, for "
        "which Hedges' small-sample correction is 0, so the standardized "
        "mean difference with the baseline SD is left empty"});
  }
  return notes;
}

std::string roundedValuesNote(const std::string& heldAs, int nRounded) {
  std::string note = heldAs;
  if (nRounded > 1) {
    note += " (and " + std::to_string(nRounded - 1) +
            (nRounded == 2 ? " more value is" : " more values are") +
            " rounded likewise)";
  }
  return note +
         "; a single-precision float keeps about 7 significant digits, and "
         "the analysis uses what it holds";
}

namespace {

// "a", "a and b", "a, b and c" (or "a, b or c").
std::string listed(const std::vector<std::string>& items,
                   const char* conjunction = " and ") {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? conjunction : ", ";
    text += items[i];
  }
  return text;
}

std::string shortestDecimal(double f) {
  char buf[32];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, f);
  return std::string(buf, r.ptr);
}

}  // namespace

std::string missingValuesNote(int nMissing,
                              const std::vector<std::string>& forms,
                              const std::vector<std::string>& where, bool bMt) {
  std::vector<std::string> shown;
  for (const std::string& form : forms) {
    shown.push_back(form.empty() ? "empty" : form);
  }
  // Places beyond the first few would only lengthen every row of the table.
  const size_t nShown = 5;
  std::vector<std::string> places(
      where.begin(), where.begin() + static_cast<std::ptrdiff_t>(
                                         std::min(where.size(), nShown)));
  if (where.size() > nShown) {
    places.push_back(std::to_string(where.size() - nShown) + " more");
  }
  std::string text = std::to_string(nMissing) + " missing " +
                     (nMissing == 1 ? "value" : "values") + " (" +
                     listed(shown, " or ") + ") left out";
  if (!places.empty()) {
    text += std::string(bMt                 ? ", at mt "
                        : where.size() == 1 ? ", at occasion "
                                            : ", at occasions ") +
            listed(places);
  }
  return text;
}

std::string unevenTimesNote(double fMinStep, double fMaxStep, bool bDays) {
  return "mt is not evenly spaced (steps of " + shortestDecimal(fMinStep) +
         " to " + shortestDecimal(fMaxStep) + (bDays ? " days" : "") +
         "); the analysis takes the measurements as equally spaced "
         "occasions";
}

std::string noCaseColumnNote(const std::vector<std::string>& candidates) {
  std::string note = "no case column, so every row is one case";
  if (candidates.empty()) return note;
  std::vector<std::string> quoted;
  for (const std::string& c : candidates) quoted.push_back("\"" + c + "\"");
  return note + "; " + listed(quoted) +
         (candidates.size() == 1 ? " looks" : " look") +
         " like case names (--columns case=" + candidates[0] +
         " reads a case per name)";
}

namespace {

std::string firstClause(const std::string& note) {
  return note.substr(0, note.find("; "));
}

}  // namespace

std::vector<std::string> figureCaveats(
    const std::vector<std::string>& inputNotes,
    const std::vector<Note>& notes) {
  std::vector<std::string> caveats;
  for (const std::string& note : inputNotes) {
    caveats.push_back(firstClause(note));
  }
  const std::string notMeaningful = ": d, r and p are not meaningful";
  for (const Note& note : notes) {
    switch (note.code) {
      case NoteCode::short_phase:
        caveats.push_back("a phase of only 2 points" + notMeaningful);
        break;
      case NoteCode::flat_null:
        caveats.push_back("the baseline lies exactly on its line" +
                          notMeaningful);
        break;
      case NoteCode::short_phase_flat_null:
        caveats.push_back(
            "a phase of only 2 points and a baseline exactly on its line" +
            notMeaningful);
        break;
      case NoteCode::flat_exp:
        caveats.push_back(
            "the B phase lies exactly on its line: its errors are 0 and d's "
            "pooled SD rests on the null model alone");
        break;
      case NoteCode::level_swamps_spread:
        caveats.push_back(
            "single precision loses the data's spread at their level: d, r "
            "and p may be far off");
        break;
      case NoteCode::spread_underflows:
        caveats.push_back(
            "the data's spread is below 1e-18: the errors, d, r and p may be "
            "far off");
        break;
      default:  // the note's first clause says it
        caveats.push_back(firstClause(note.text));
        break;
    }
  }
  return caveats;
}

std::string shortPhaseDesignNote(const std::string& phase, int n) {
  return "phase " + phase + " has " + std::to_string(n) +
         (n == 1 ? " point" : " points") +
         "; at least 3 are usual to establish its level and trend";
}

std::string fewChangesDesignNote(int nChanges) {
  return "the series has " + std::to_string(nChanges) +
         " phase changes; at least 3 demonstrations of an effect are "
         "usual (an ABAB design)";
}

std::string fewCasesDesignNote(int nStarts) {
  return "the study's interventions start at " + std::to_string(nStarts) +
         (nStarts == 1 ? " time" : " different times") +
         "; at least 3 staggered starts are usual to demonstrate an effect "
         "3 times";
}

std::string notStaggeredDesignNote() {
  return "some of the study's cases begin their intervention at the same "
         "time (mt), so their starts are not staggered";
}

std::string casesLeftOutDesignNote(int nLeftOut) {
  return "the average leaves out " + std::to_string(nLeftOut) +
         (nLeftOut == 1 ? " case" : " cases") +
         " of the study that could not be analysed";
}
