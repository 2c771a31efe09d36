#include "dialogue.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "measurement.h"
#include "notes.h"
#include "progressline.h"
#include "text.h"

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
// The blank that ends it stays unread, as after "%d" or "%f". Every byte
// of the input goes through it, so that a line looked at ahead of time
// (peekLine) is still read as it would have been.
class TokenReader {
 public:
  // The longest token kept; no count or measurement is longer.
  static constexpr size_t kMaxToken = 255;

  explicit TokenReader(FILE* in) : in_(in) {}

  int get() {
    if (nPos_ < pending_.size()) {
      return static_cast<unsigned char>(pending_[nPos_++]);
    }
    pending_.clear();
    nPos_ = 0;
    return std::fgetc(in_);
  }
  // Puts back the byte that get() returned last.
  void unget(int c) {
    if (c == EOF) return;
    if (nPos_ > 0) {
      pending_[--nPos_] = static_cast<char>(c);
    } else {
      pending_.insert(pending_.begin(), static_cast<char>(c));
    }
  }

  // The rest of the current line, without its line break, at most nMax
  // bytes of it, left unread.
  std::string peekLine(size_t nMax) {
    size_t nEnd = pending_.find('\n', nPos_);
    while (nEnd == std::string::npos && pending_.size() - nPos_ < nMax) {
      const int c = std::fgetc(in_);
      if (c == EOF) break;
      pending_.push_back(static_cast<char>(c));
      if (c == '\n') nEnd = pending_.size() - 1;
    }
    if (nEnd == std::string::npos) nEnd = pending_.size();
    return pending_.substr(nPos_, std::min(nEnd - nPos_, nMax));
  }

  // False at the end of input. A token longer than the buffer is read
  // whole and marked too long.
  bool next() {
    int c;
    do {
      c = get();
    } while (c != EOF && std::isspace(c));
    if (c == EOF) return false;
    bSawText_ = true;
    nLength_ = 0;
    bTooLong_ = false;
    while (c != EOF && !std::isspace(c)) {
      if (nLength_ + 1 < sizeof(token_)) {
        token_[nLength_++] = static_cast<char>(c);
      } else {
        bTooLong_ = true;
      }
      c = get();
    }
    token_[nLength_] = '\0';
    unget(c);
    return true;
  }

  // Discards what is left of the current input line, its line break too.
  void skipLine() {
    int c;
    do {
      c = get();
    } while (c != EOF && c != '\n');
  }

  // The token's bytes; NUL bytes are kept, so that they make it malformed
  // instead of cutting it short. A token too long for the buffer is empty.
  const char* token() const { return token_; }
  size_t length() const { return bTooLong_ ? 0 : nLength_; }
  bool tooLong() const { return bTooLong_; }

  // Whether a token has begun since the last call of startDataSet().
  bool sawText() const { return bSawText_; }
  void startDataSet(bool bSawText) { bSawText_ = bSawText; }

 private:
  FILE* in_;
  std::string pending_;  // bytes read ahead, from nPos_ on still unread
  size_t nPos_ = 0;
  char token_[kMaxToken + 1];
  size_t nLength_ = 0;
  bool bTooLong_ = false;
  bool bSawText_ = false;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A whole decimal number of nLength bytes with an optional sign, from 2 to
// nMax. Any other byte, a NUL included, makes it malformed.
bool parseCount(const char* s, size_t nLength, int nMax, int* pnCount) {
  const char* const pEnd = s + nLength;
  const bool bNegative = s < pEnd && *s == '-';
  if (s < pEnd && (*s == '+' || *s == '-')) ++s;
  if (s == pEnd || !isDigit(*s)) return false;
  long nValue = 0;
  for (; s < pEnd; ++s) {
    if (!isDigit(*s)) return false;
    if (nValue <= nMax) nValue = nValue * 10 + (*s - '0');
  }
  if (bNegative || nValue < 2 || nValue > nMax) return false;
  *pnCount = static_cast<int>(nValue);
  return true;
}

// Why a token that parseCount refused is no count, as the rest of a
// sentence that begins with the token quoted.
const char* countProblem(const char* s, size_t nLength) {
  const char* const pEnd = s + nLength;
  const bool bNegative = s < pEnd && *s == '-';
  if (s < pEnd && (*s == '+' || *s == '-')) ++s;
  if (s == pEnd || !std::all_of(s, pEnd, isDigit)) {
    return "is not a whole number";
  }
  long nValue = 0;
  for (; s < pEnd && nValue < 2; ++s) nValue = nValue * 10 + (*s - '0');
  // A whole number that parseCount refused is below 2 or above the limit.
  return bNegative || nValue < 2 ? "is too few points for a phase"
                                 : "is more points than a phase may have";
}

// A token as a message quotes it.
std::string quoted(const char* s, size_t nLength) {
  return "\"" + printable(std::string(s, nLength)) + "\"";
}

// Whether a line looks like the header row of a data file: separated
// fields, one of them a column name that data files use.
bool looksLikeHeaderRow(const std::string& line) {
  if (line.find_first_of(",;\t") == std::string::npos) return false;
  static const char* const kNames[] = {
      "case",    "phase",     "values",      "value",   "mt",
      "time",    "id",        "participant", "subject", "score",
      "session", "condition", "outcome"};
  std::string word;
  for (size_t i = 0; i <= line.size(); ++i) {
    const char c = i < line.size() ? line[i] : ' ';
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      word += static_cast<char>(c | 0x20);
      continue;
    }
    for (const char* name : kNames) {
      if (word == name) return true;
    }
    word.clear();
  }
  return false;
}

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
      if (!flush()) return kDialogueFailed;
      const int c = reader_.get();
      if (c == EOF) return endOfInput();
      std::fputc('\n', out_);
      // A data set begins with its first byte that is not blank; what
      // ends before one ends the session cleanly.
      reader_.startDataSet(!std::isspace(c));
      noteLineAtEnter(c);
      if (!readDataSet()) {
        if (!flush()) return kDialogueFailed;
        if (bDataFile_) return kDialogueDataFile;
        if (std::ferror(in_)) return endOfInput();
        if (!reader_.sawText()) return kDialogueDone;
        std::fputs(
            "Input ended inside a data set; that data set was not "
            "analysed.\n",
            err_);
        return kDialogueUnfinished;
      }
      if (!analyseAndReport()) return kDialogueFailed;
      if (!flush()) return kDialogueFailed;
      // Ordinarily the line break after the last B value, which the value's
      // read leaves unread.
      reader_.get();
    }
  }

 private:
  // Flushes standard output; false, after a line on the error stream, when
  // it could not be written (a full disk, a closed pipe or descriptor).
  bool flush() {
    if (bWriteFailed_) return false;
    if (std::fflush(out_) == 0 && !std::ferror(out_)) return true;
    bWriteFailed_ = true;
    const int nError = errno;
    std::fprintf(err_, "kalmir: cannot write standard output: %s\n",
                 std::strerror(nError));
    return false;
  }

  // The status at the end of input between data sets: a clean end, unless
  // the input could not be read.
  int endOfInput() {
    if (!std::ferror(in_)) return kDialogueDone;
    const int nError = errno;
    std::fprintf(err_, "kalmir: cannot read standard input: %s\n",
                 std::strerror(nError));
    return kDialogueFailed;
  }

  // Only one byte is read at "Press ENTER to input data...", and the rest
  // of its line answers the prompts that follow; so when that byte is not
  // blank, something typed there was not read as data, and a note says so.
  // A line that looks like a data file's header row gets a note on how to
  // analyse a data file instead.
  void noteLineAtEnter(int c) {
    bHeaderAtEnter_ = false;
    nCountsRejected_ = 0;
    if (std::isspace(c)) return;
    // A header row is short; the look ahead is bounded for a line without
    // an end.
    const size_t nMaxLook = 4096;
    std::string rest = reader_.peekLine(nMaxLook);
    if (!rest.empty() && rest.back() == '\r') rest.pop_back();
    const std::string line = static_cast<char>(c) + rest;
    std::fflush(out_);
    if (looksLikeHeaderRow(line)) {
      bHeaderAtEnter_ = true;
      std::fprintf(err_,
                   "Note: %s, typed at \"Press ENTER to input data...\", "
                   "looks like the header row of a data file; this dialogue "
                   "reads counts and values as typed. To analyse a data "
                   "file, run: kalmir FILE\n",
                   quoted(line.data(), line.size()).c_str());
      return;
    }
    const size_t nBegin = rest.find_first_not_of(" \t\r");
    std::string what = "Note: the " + quoted(line.data(), 1) +
                       " typed at \"Press ENTER to input data...\" was not "
                       "read as data (press only ENTER there)";
    if (nBegin != std::string::npos) {
      what += "; the rest of its line, " +
              quoted(rest.data() + nBegin, rest.size() - nBegin) +
              ", answers the next prompt";
    }
    std::fprintf(err_, "%s.\n", what.c_str());
  }

  // Reads both phases into fY_. False when input ends first.
  bool readDataSet() {
    int nNA, nNB;
    inexact_.clear();
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
      if (!flush() || !reader_.next()) return false;
      if (parseCount(reader_.token(), reader_.length(), limits_.nMaxPhasePoints,
                     pnCount)) {
        bHeaderAtEnter_ = false;
        return true;
      }
      // After a header row, a second line that gives no count: the input
      // is a data file, and every line of it would be refused in turn.
      if (bHeaderAtEnter_ && nCountsRejected_++ > 0) {
        std::fflush(out_);
        std::fputs(
            "kalmir: standard input holds a data file, not counts and values "
            "as typed, so the dialogue stops here. To analyse the file, "
            "run: kalmir FILE (or kalmir - < FILE)\n",
            err_);
        bDataFile_ = true;
        return false;
      }
      reject();
      std::fprintf(err_, "%s %s. Please enter a whole number from 2 to %d.\n",
                   rejectedToken().c_str(),
                   countProblem(reader_.token(), reader_.length()),
                   limits_.nMaxPhasePoints);
      std::fputs(repeatPrompt, out_);
    }
  }

  bool readMeasurement(char cPhase, int nOccasion, float* pfValue) {
    for (;;) {
      std::fprintf(out_, "\t%c[%2d]: ", cPhase, nOccasion);
      if (!flush() || !reader_.next()) return false;
      if (parseMeasurement(reader_.token(), reader_.length(), pfValue)) {
        const std::string typed(reader_.token(), reader_.length());
        if (!heldToDigitsTyped(typed.c_str(), *pfValue)) {
          char label[32];
          std::snprintf(label, sizeof label, "%c[%2d]", cPhase, nOccasion);
          inexact_.push_back(std::string(label) + " " +
                             heldAsNote(typed, *pfValue));
        }
        return true;
      }
      const std::string problem =
          reader_.tooLong()
              ? "is not a number"
              : measurementProblem(reader_.token(), reader_.length());
      reject();
      std::fprintf(err_,
                   "%s %s. Please enter a number such as 4 or 2.5 (a point, "
                   "not a comma, before the decimals).\n",
                   rejectedToken().c_str(), problem.c_str());
    }
  }

  // The token just refused, quoted, for the help line.
  std::string rejectedToken() const {
    if (reader_.tooLong()) {
      return "A token of more than " + std::to_string(TokenReader::kMaxToken) +
             " characters";
    }
    return quoted(reader_.token(), reader_.length());
  }

  // The user retypes from the rejected value on, so the rest of its line
  // goes; the help follows on the error stream.
  void reject() {
    reader_.skipLine();
    std::fflush(out_);
  }

  // False when the caller's afterReport failed.
  bool analyseAndReport() {
    std::fputs("\nESTIMATING PARAMETERS...\n\n", out_);
    std::fflush(out_);
    kalmir::DataSet data;
    data.phases = {{"A", {fY_.begin(), fY_.begin() + nNA_}},
                   {"B", {fY_.begin() + nNA_, fY_.end()}}};
    kalmir::Options options;
    options.resamples = limits_.nBootSamples;
    options.cases = limits_.nSimN;
    options.keep_means = limits_.bKeepMeans;
    options.threads = limits_.nThreads;
    {
      // While the analysis runs longer than a second, how far it has come,
      // when the error stream is a terminal; standard output is untouched.
      ProgressLine progress(err_, isatty(fileno(err_)) != 0);
      if (progress.shows()) {
        options.progress = [&progress](double fFraction) {
          char text[32];
          std::snprintf(text, sizeof text, "Analysing... %3d%%",
                        static_cast<int>(fFraction * 100.0));
          progress.show(text);
          return true;
        };
      }
      kalmir::Analyser& analyser =
          limits_.pAnalyser != nullptr ? *limits_.pAnalyser : analyser_;
      result_ = analyser.analyse(data, options);
    }
    std::fputs(kalmir::report_text(result_).c_str(), out_);
    std::fflush(out_);
    noteInexactValues();
    for (const kalmir::Note& note : result_.notes) {
      std::fprintf(err_, "Note: %s.\n", note.text.c_str());
    }
    ++nAnalyses_;
    if (!limits_.afterReport) return true;
    std::fflush(out_);
    return limits_.afterReport(nAnalyses_, result_);
  }

  // Typed values that a float holds only rounded: the first, and how many
  // more.
  void noteInexactValues() {
    if (inexact_.empty()) return;
    const std::string note =
        "Note: " +
        roundedValuesNote(inexact_.front(), static_cast<int>(inexact_.size())) +
        ".\n";
    std::fputs(note.c_str(), err_);
  }

  TokenReader reader_;
  FILE* in_;
  FILE* out_;
  FILE* err_;
  DialogueLimits limits_;
  std::vector<float> fY_;
  std::vector<std::string> inexact_;
  int nNA_ = 0;
  int nNB_ = 0;
  // The session's data sets run one after the other on one Analyser, which
  // keeps its threads and arrays for the next.
  kalmir::Analyser analyser_;
  kalmir::Result result_;
  int nAnalyses_ = 0;
  bool bWriteFailed_ = false;
  bool bHeaderAtEnter_ = false;  // a header row typed at "Press ENTER"
  int nCountsRejected_ = 0;      // since then
  bool bDataFile_ = false;       // standard input is a data file
};

}  // namespace

int runDialogue(FILE* in, FILE* out, FILE* err, const DialogueLimits& limits) {
  return Dialogue(in, out, err, limits).run();
}
