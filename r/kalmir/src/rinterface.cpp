// The R package's way into the analysis: one AB series from R vectors
// through kalmir::analyse, and the results table's row, the report and the
// simulated means back as R values. Everything goes through the public
// header; what R data may hold (missing values, phases, order) is sorted
// out in R before it gets here. Nothing is kept between calls.

#include <Rcpp.h>

#include <chrono>
#include <new>
#include <string>
#include <vector>

#include "kalmir/kalmir.h"

namespace {

void checkInterrupt(void*) { R_CheckUserInterrupt(); }

// Whether the user has asked R to stop (Ctrl-C, or Esc in a GUI).
// R_CheckUserInterrupt jumps straight out to R's top level, past the
// analysis's C++ frames; R_ToplevelExec catches the jump, so the analysis
// is told to stop instead and unwinds as C++ code does.
bool interruptPending() {
  return R_ToplevelExec(checkInterrupt, nullptr) == FALSE;
}

// Asking R costs a context switch of its own; a few times a second is
// enough to stop within a moment.
const auto kInterruptCheckEvery = std::chrono::milliseconds(50);

SEXP utf8(const std::string& s) {
  return Rcpp::CharacterVector::create(Rcpp::String(s, CE_UTF8));
}

// A field as an R value of its kind; an empty field is NA, which takes the
// type of the column's other rows when the rows are bound together.
SEXP fieldValue(const kalmir::Field& f) {
  switch (f.kind) {
    case kalmir::FieldKind::text:
      return utf8(f.text);
    case kalmir::FieldKind::integer:
      return Rcpp::IntegerVector::create(static_cast<int>(f.number));
    case kalmir::FieldKind::figure:  // the float, exactly, as a double
    case kalmir::FieldKind::number:
      return Rcpp::NumericVector::create(f.number);
    case kalmir::FieldKind::empty:
      break;
  }
  return Rcpp::LogicalVector::create(NA_LOGICAL);
}

Rcpp::List rowList(const std::vector<kalmir::Field>& row) {
  Rcpp::List values(row.size());
  Rcpp::CharacterVector names(row.size());
  for (size_t i = 0; i < row.size(); ++i) {
    values[i] = fieldValue(row[i]);
    names[i] = Rcpp::String(row[i].name, CE_UTF8);
  }
  values.attr("names") = names;
  return values;
}

Rcpp::NumericVector doubles(const std::vector<float>& fValues) {
  return Rcpp::NumericVector(fValues.begin(), fValues.end());
}

Rcpp::NumericVector lineOf(const kalmir::Line& line) {
  return Rcpp::NumericVector::create(Rcpp::Named("intercept") = line.intercept,
                                     Rcpp::Named("slope") = line.slope);
}

}  // namespace

// The results table's columns, in order.
// [[Rcpp::export(.table_columns)]]
Rcpp::CharacterVector tableColumns() {
  const std::vector<std::string> names = kalmir::table_columns();
  Rcpp::CharacterVector columns(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    columns[i] = Rcpp::String(names[i], CE_UTF8);
  }
  return columns;
}

// The row of a case that could not be analysed, with the reason.
// [[Rcpp::export(.table_error_row)]]
Rcpp::List tableErrorRow(std::string name, std::string reason) {
  return rowList(kalmir::table_error_row(name, reason));
}

// [[Rcpp::export(.library_version)]]
std::string libraryVersion() { return kalmir::version(); }

// The notes on a case's input, worded as the command line words them: the
// missing values left out (forms, places and whether places are mt) and
// mt that is not evenly spaced (times of the kept measurements, in order).
// [[Rcpp::export(.input_notes)]]
Rcpp::CharacterVector inputNotes(int nMissing, std::vector<std::string> forms,
                                 std::vector<std::string> places, bool atMt,
                                 std::vector<double> times) {
  Rcpp::CharacterVector notes;
  const std::string spacing = kalmir::uneven_times_note(times);
  if (!spacing.empty()) notes.push_back(Rcpp::String(spacing, CE_UTF8));
  const std::string missing =
      kalmir::missing_values_note(nMissing, forms, places, atMt);
  if (!missing.empty()) notes.push_back(Rcpp::String(missing, CE_UTF8));
  return notes;
}

// Analyses one AB series; strings come in UTF-8. improvesDownward: lower
// values count as better for the effect-size indices. Returns the case's table
// row, report, notes, values, lines and simulated means, or, for data or
// options the library does not take, list(error = its message, code).
// A pending interrupt stops the analysis and is passed on to R. stopAt >= 0
// is for tests: the progress callback then stops the analysis as an
// interrupt would, once that share of it is done.
// [[Rcpp::export(.analyse_ab)]]
Rcpp::List analyseAB(std::string name, std::string labelA, std::string labelB,
                     std::vector<double> a, std::vector<double> b,
                     std::vector<std::string> inputNotes, bool improvesDownward,
                     int resamples, int cases, int threads, double stopAt) {
  kalmir::DataSet data{name, {{labelA, a}, {labelB, b}}};
  kalmir::Options options;
  options.resamples = resamples;
  options.cases = cases;
  options.threads = threads;
  options.keep_means = true;
  options.improvement = improvesDownward ? kalmir::Improvement::decrease
                                         : kalmir::Improvement::increase;
  bool bInterrupted = false;
  auto lastCheck = std::chrono::steady_clock::now();
  options.progress = [&](double done) {
    if (stopAt >= 0.0 && done >= stopAt) {
      bInterrupted = true;
      return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - lastCheck < kInterruptCheckEvery) return true;
    lastCheck = now;
    bInterrupted = interruptPending();
    return !bInterrupted;
  };
  kalmir::Result result;
  try {
    result = kalmir::analyse(data, options);
  } catch (const kalmir::Error& e) {
    if (e.code() == kalmir::ErrorCode::cancelled && bInterrupted) {
      throw Rcpp::internal::InterruptedException();
    }
    const char* code = e.code() == kalmir::ErrorCode::bad_data ? "bad_data"
                       : e.code() == kalmir::ErrorCode::bad_options
                           ? "bad_options"
                           : "cancelled";
    return Rcpp::List::create(Rcpp::Named("error") = utf8(e.what()),
                              Rcpp::Named("code") = code);
  } catch (const std::bad_alloc&) {
    Rcpp::stop("not enough memory for the analysis");
  }
  Rcpp::CharacterVector notes(inputNotes.size() + result.notes.size());
  R_xlen_t nNote = 0;
  for (const std::string& note : inputNotes) {
    notes[nNote++] = Rcpp::String(note, CE_UTF8);
  }
  for (const kalmir::Note& note : result.notes) {
    notes[nNote++] = Rcpp::String(note.text, CE_UTF8);
  }
  return Rcpp::List::create(
      Rcpp::Named("row") = rowList(kalmir::table_row(result, inputNotes)),
      Rcpp::Named("report") = utf8(kalmir::report_text(result)),
      Rcpp::Named("notes") = notes,
      Rcpp::Named("values") = doubles(result.values),
      Rcpp::Named("n_a") = result.n_a, Rcpp::Named("n_b") = result.n_b,
      Rcpp::Named("null_line") = lineOf(result.null_model),
      Rcpp::Named("exp_line") = lineOf(result.exp_model),
      Rcpp::Named("null_means") = doubles(result.null_means),
      Rcpp::Named("exp_means") = doubles(result.exp_means));
}
