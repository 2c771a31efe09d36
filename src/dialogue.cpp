#include "dialogue.h"

#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "progress.h"
#include "scsim.h"

namespace {

const char kBanner[] =
    "KALMIR: Simulation Analysis of Single-Case AB Phase Designs\n"
    "Version 1.0 (2018)\n"
    "https://kalmir.example.org\n";
const char kRights[] =
    "Copyright (c) 2018 the KALMIR developers. All rights reserved.\n";

enum class Read { kOk, kRejected, kEnd };

// Reads tokens as scanf's conversions meet them: white space (line breaks
// included) is skipped, then the run of non-blank characters is the token.
// The blank that ends it stays unread, as after "%d" or "%f".
class TokenReader {
 public:
  explicit TokenReader(FILE* in) : in_(in) {}

  // False at the end of input. A token longer than the buffer is read
  // whole and marked too long.
  bool next() {
    int c;
    do {
      c = std::fgetc(in_);
    } while (c != EOF && std::isspace(c));
    if (c == EOF) return false;
    nLength_ = 0;
    bTooLong_ = false;
    while (c != EOF && !std::isspace(c)) {
      if (nLength_ + 1 < sizeof(token_)) {
        token_[nLength_++] = static_cast<char>(c);
      } else {
        bTooLong_ = true;
      }
      c = std::fgetc(in_);
    }
    token_[nLength_] = '\0';
    if (c != EOF) std::ungetc(c, in_);
    return true;
  }

  // Discards what is left of the current input line, its line break too.
  void skipLine() {
    int c;
    do {
      c = std::fgetc(in_);
    } while (c != EOF && c != '\n');
  }

  const char* token() const { return bTooLong_ ? "" : token_; }

 private:
  FILE* in_;
  char token_[256];
  size_t nLength_ = 0;
  bool bTooLong_ = false;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A whole decimal number with an optional sign, from 2 to nMax.
bool parseCount(const char* s, int nMax, int* pnCount) {
  const bool bNegative = *s == '-';
  if (*s == '+' || *s == '-') ++s;
  if (!isDigit(*s)) return false;
  long nValue = 0;
  for (; *s != '\0'; ++s) {
    if (!isDigit(*s)) return false;
    if (nValue <= nMax) nValue = nValue * 10 + (*s - '0');
  }
  if (bNegative || nValue < 2 || nValue > nMax) return false;
  *pnCount = static_cast<int>(nValue);
  return true;
}

// A decimal number in point or exponent form ("4", "-2.5", ".5", "4.",
// "1.5e1"), finite and at most kMaxMagnitude in magnitude. No "nan", "inf",
// hexadecimal form or decimal comma.
bool parseMeasurement(const char* s, float* pfValue) {
  const char* p = s;
  if (*p == '+' || *p == '-') ++p;
  int nDigits = 0;
  while (isDigit(*p)) ++p, ++nDigits;
  if (*p == '.') {
    ++p;
    while (isDigit(*p)) ++p, ++nDigits;
  }
  if (nDigits == 0) return false;
  if (*p == 'e' || *p == 'E') {
    ++p;
    if (*p == '+' || *p == '-') ++p;
    if (!isDigit(*p)) return false;
    while (isDigit(*p)) ++p;
  }
  if (*p != '\0') return false;
  float fValue;
  // "%f" converts it, so the value is the one the conversion would store.
  if (std::sscanf(s, "%f", &fValue) != 1) return false;
  if (!std::isfinite(fValue) || std::fabs(fValue) > kMaxMagnitude) {
    return false;
  }
  *pfValue = fValue;
  return true;
}

// While an analysis runs longer than a second, a line on the error stream
// shows how far it has come, when that stream is a terminal; the line is
// wiped when the analysis ends. Standard output is untouched.
class ProgressLine {
 public:
  explicit ProgressLine(FILE* err)
      : err_(err), start_(std::chrono::steady_clock::now()) {
    if (!isatty(fileno(err_))) return;
    setProgressListener([this](double fFraction) { show(fFraction); });
  }
  ~ProgressLine() {
    setProgressListener(nullptr);
    if (bShown_) {
      std::fputs("\r                          \r", err_);
      std::fflush(err_);
    }
  }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

 private:
  void show(double fFraction) {
    const int nPercent = static_cast<int>(fFraction * 100.0);
    if (nPercent == nShown_) return;
    if (!bShown_ &&
        std::chrono::steady_clock::now() - start_ < std::chrono::seconds(1)) {
      return;
    }
    bShown_ = true;
    nShown_ = nPercent;
    std::fprintf(err_, "\rAnalysing... %3d%%", nPercent);
    std::fflush(err_);
  }

  FILE* err_;
  std::chrono::steady_clock::time_point start_;
  bool bShown_ = false;
  int nShown_ = -1;
};

class Dialogue {
 public:
  Dialogue(FILE* in, FILE* out, FILE* err, const DialogueLimits& limits)
      : reader_(in), in_(in), out_(out), err_(err), limits_(limits) {}

  int run() {
    std::fputs(kBanner, out_);
    std::fputc('\n', out_);
    std::fputs(kRights, out_);
    std::fputc('\n', out_);
    for (;;) {
      std::fputs("Press ENTER to input data...", out_);
      std::fflush(out_);
      if (std::fgetc(in_) == EOF) return 0;
      std::fputc('\n', out_);
      if (!readDataSet()) {
        std::fflush(out_);
        std::fputs(
            "Input ended inside a data set; that data set was not "
            "analysed.\n",
            err_);
        return 1;
      }
      analyseAndReport();
      std::fflush(out_);
      // Ordinarily the line break after the last B value, which the value's
      // read leaves unread.
      std::fgetc(in_);
    }
  }

 private:
  // Reads both phases into fY_. False when input ends first.
  bool readDataSet() {
    int nNA, nNB;
    if (!readCount("Enter the number of A phase (baseline) points: ",
                   "Enter the number of A phase (baseline) points: ", &nNA)) {
      return false;
    }
    fY_.resize(static_cast<size_t>(nNA));
    std::fputs("\n     Enter the A phase points one at a time...\n\n", out_);
    for (int i = 0; i < nNA; ++i) {
      if (!readMeasurement('A', i + 1, &fY_[i])) return false;
    }
    if (!readCount("\nEnter the number of B phase points: ",
                   "Enter the number of B phase points: ", &nNB)) {
      return false;
    }
    fY_.resize(static_cast<size_t>(nNA) + nNB);
    std::fputs("\n     Enter the B phase points one at a time...\n\n", out_);
    for (int i = 0; i < nNB; ++i) {
      if (!readMeasurement('B', nNA + i + 1, &fY_[nNA + i])) return false;
    }
    nNA_ = nNA;
    nNB_ = nNB;
    return true;
  }

  bool readCount(const char* prompt, const char* repeatPrompt, int* pnCount) {
    std::fputs(prompt, out_);
    for (;;) {
      std::fflush(out_);
      if (!reader_.next()) return false;
      if (parseCount(reader_.token(), limits_.nMaxPhasePoints, pnCount)) {
        return true;
      }
      reject();
      std::fprintf(err_, "Please enter a whole number from 2 to %d.\n",
                   limits_.nMaxPhasePoints);
      std::fputs(repeatPrompt, out_);
    }
  }

  bool readMeasurement(char cPhase, int nOccasion, float* pfValue) {
    for (;;) {
      std::fprintf(out_, "\t%c[%2d]: ", cPhase, nOccasion);
      std::fflush(out_);
      if (!reader_.next()) return false;
      if (parseMeasurement(reader_.token(), pfValue)) return true;
      reject();
      std::fputs(
          "Please enter a number such as 4 or 2.5 (a point, not a comma, "
          "before the decimals).\n",
          err_);
    }
  }

  // The user retypes from the rejected value on, so the rest of its line
  // goes; the help follows on the error stream.
  void reject() {
    reader_.skipLine();
    std::fflush(out_);
  }

  void analyseAndReport() {
    std::fputs("\nESTIMATING PARAMETERS...\n\n", out_);
    std::fflush(out_);
    {
      ProgressLine progress(err_);
      scsim(nNA_, nNB_, fY_.data(), &nullModel_, &expModel_, &autocorrModel_,
            &simResults_, &esResults_, limits_.nSimN);
    }
    printReport();
    noteMeaninglessFigures();
  }

  void printPhase(const char* label, const PhaseModel& model) {
    std::fputs(label, out_);
    std::fprintf(out_, "\tint \t% .3f \t(%.3f)\n",
                 static_cast<double>(model[kPhaseInt]),
                 static_cast<double>(model[kPhaseIntSE]));
    std::fprintf(out_, "\tslope \t% .3f \t(%.3f)\n",
                 static_cast<double>(model[kPhaseSlope]),
                 static_cast<double>(model[kPhaseSlopeSE]));
    std::fprintf(out_, "\ts \t% .3f \t(%.3f)\n\n",
                 static_cast<double>(model[kPhaseSD]),
                 static_cast<double>(model[kPhaseSDSE]));
  }

  void printReport() {
    std::fputs("\t\t est\t(SE)\n\n", out_);
    printPhase("Null: ", nullModel_);
    printPhase("Exp: ", expModel_);
    std::fprintf(out_, "Auto:\tr1 \t% .3f \t(%.3f)\n\n",
                 static_cast<double>(autocorrModel_[kAutoR1]),
                 static_cast<double>(autocorrModel_[kAutoR1SE]));
    std::fputs("\nSIMULATING CASES...\n\n", out_);
    std::fprintf(out_, "Null Effect mean %.3f\t(%.3f)\n",
                 static_cast<double>(simResults_[kSimNullMean]),
                 static_cast<double>(simResults_[kSimNullSD]));
    std::fprintf(out_, "Exp Effect mean  %.3f\t(%.3f)\n\n",
                 static_cast<double>(simResults_[kSimExpMean]),
                 static_cast<double>(simResults_[kSimExpSD]));
    std::fputs("\nCALCULATING EFFECT SIZE...\n\n", out_);
    std::fprintf(out_, "D (unstd) \t% .3f\n",
                 static_cast<double>(esResults_[kESD]));
    std::fprintf(out_, "d (std)   \t% .3f\t(%.3f)\n",
                 static_cast<double>(esResults_[kESd]),
                 static_cast<double>(esResults_[kESdSE]));
    std::fprintf(out_, "r         \t% .3f\n",
                 static_cast<double>(esResults_[kESr]));
    std::fprintf(out_, "R-squared \t% .3f\t",
                 static_cast<double>(esResults_[kESRsq]));
    // The sign of d decides; zero counts as an increase.
    std::fputs(esResults_[kESd] >= 0.0f ? "(increase)\n\n" : "(decrease)\n",
               out_);
    std::fprintf(out_, "p         \t% .3f\n\n\n",
                 static_cast<double>(esResults_[kESpEmp]));
  }

  // d is divided by a stand-in SD when the null means do not vary, and a
  // two-point phase gives the bootstrap nothing to vary: say so, once.
  void noteMeaninglessFigures() {
    const bool bShortPhase = nNA_ == 2 || nNB_ == 2;
    const bool bFlatNull = simResults_[kSimNullSD] == 1e-6f;
    if (!bShortPhase && !bFlatNull) return;
    std::fflush(out_);
    std::string note = "Note: ";
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
    note += "; d, r and p are not meaningful for such data.\n";
    std::fputs(note.c_str(), err_);
  }

  TokenReader reader_;
  FILE* in_;
  FILE* out_;
  FILE* err_;
  DialogueLimits limits_;
  std::vector<float> fY_;
  int nNA_ = 0;
  int nNB_ = 0;
  PhaseModel nullModel_{};
  PhaseModel expModel_{};
  AutocorrModel autocorrModel_{};
  SimResults simResults_{};
  ESResults esResults_{};
};

}  // namespace

int runDialogue(FILE* in, FILE* out, FILE* err, const DialogueLimits& limits) {
  return Dialogue(in, out, err, limits).run();
}
