#ifndef KALMIR_KALMIR_H_
#define KALMIR_KALMIR_H_

// KALMIR's analysis of a single-case series: a baseline phase A followed by
// an intervention phase B. Each phase gets a robust Theil-Sen line with
// bootstrap standard errors; the lag-1 autocorrelation of the residuals is
// estimated; 100000 cases are simulated under the null model (the baseline
// trend carried on) and under the experimental model (the B phase's own
// line); and the two sets of simulated B-phase means give the effect sizes
// and an empirical p value.
//
// This is the only header a program needs. Every analysis reseeds its own
// random stream, so the same data give the same Result bit for bit, on any
// number of threads, however many analyses run at once in other threads.
// The library keeps nothing of its own: an Analyser holds the stream, the
// working arrays and the threads, and analyse() makes one for its call.
//
//   kalmir::DataSet data{"Ann", {{"A", {3, 5, 4, 6, 5, 7, 6, 8, 7, 9}},
//                                {"B", {10, 9, 12, 11, 13, 12, 15, 14}}}};
//   kalmir::Result r = kalmir::analyse(data);  // throws kalmir::Error
//   std::printf("d = %.3f (SE %.3f), p = %.3f\n", r.d, r.d_se, r.p);

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kalmir {

#define KALMIR_VERSION_MAJOR 1
#define KALMIR_VERSION_MINOR 0
#define KALMIR_VERSION_STRING "1.0"

// "1.0": the version of the library the program runs with.
const char* version();

// Limits and sizes of an analysis.
// Shortest phase: a line needs two points.
constexpr int kMinPhasePoints = 2;
// Longest phase. One fit keeps n(n-1)/2 pairwise slopes and each bootstrap
// refits 10000 resamples, so the work grows with the square of the phase
// length; at 500 + 500 an analysis still takes about a second.
constexpr int kMaxPhasePoints = 500;
// Largest magnitude of a value: beyond it the single-precision sums of the
// analysis could overflow.
constexpr double kMaxMagnitude = 1e9;
// Resamples of every bootstrap, and simulated cases, in a full analysis.
constexpr int kResamples = 10000;
constexpr int kCases = 100000;
// The seed every analysis starts its random stream from.
constexpr std::uint32_t kSeed = 7487;

// One phase: its label ("A", "B", "Baseline", ...) and its values in time
// order, one per equally spaced measurement occasion.
struct Phase {
  std::string label;
  std::vector<double> values;
  // The measurement times (sessions, days), when known: one per value,
  // increasing. The analysis keeps its equally spaced occasions; the
  // times only place the phases in time (a study's staggered starts).
  // (Its initializer lets {label, values} leave it out without a warning.)
  std::vector<double> times = {};
};

// A series to analyse: its name (a case, a participant) and its phases in
// time order. analyse takes exactly two: the baseline, then the
// intervention.
struct DataSet {
  std::string name;
  std::vector<Phase> phases;
};

// Which way the measurements improve, for the effect sizes of
// Result::indices: with decrease, lower values count as better.
enum class Improvement { increase, decrease };

struct Options {
  // Resamples of each bootstrap and simulated cases, each >= 2. Smaller
  // sizes are for quick tests; reports use the defaults.
  int resamples = kResamples;
  int cases = kCases;
  // Threads for the analysis's stages, counting the calling thread: 0
  // means one per core. The result does not depend on it.
  int threads = 0;
  // Keep the simulated means in Result::null_means and exp_means.
  bool keep_means = false;
  // The direction of improvement for Result::indices; KALMIR's own figures
  // do not depend on it.
  Improvement improvement = Improvement::increase;
  // Called now and then on the calling thread with the share done
  // (0 ... 1), many times a second while the analysis runs. Returning
  // false stops the analysis soon after, inside whichever stage it is in:
  // analyse then throws kalmir::Error with code ErrorCode::cancelled, and
  // the callback is not called again for it.
  std::function<bool(double done)> progress;
};

// One phase's fitted line on its own time axis 1 ... n, with bootstrap
// standard errors, and the SD of the phase's values around it.
struct Line {
  float intercept = 0, intercept_se = 0;
  float slope = 0, slope_se = 0;
  float sd = 0, sd_se = 0;
};

enum class Direction { increase, decrease };

// What a figure rests on that the figures alone cannot show.
enum class NoteCode {
  value_rounded,        // a value a float cannot hold to its digits
  short_phase,          // a phase of 2 points: the bootstrap has nothing to vary
  flat_null,            // the null-model means do not vary (SD stand-in 1e-6)
  short_phase_flat_null,  // both of the above, in one sentence
  bootstrap_left_out,   // a line bootstrap left out fits beyond +-1000
  bootstrap_rule_waived,  // ... or would have left out more than half
  level_swamps_spread,  // single precision loses the spread at this level
  spread_underflows,    // the spread's squares underflow
  single_precision_drift,  // rounding in the sums moves d by over 0.005
  flat_exp,             // the experimental-model means do not vary
  p_beyond_all,         // p is 0: no simulated null mean was as far out
  design_short_phase,   // a phase of fewer than 3 points
  design_few_changes,   // a reversal series with fewer than 3 phase changes
  design_few_cases,     // a study with fewer than 3 cases
  design_not_staggered,  // a study's interventions start at the same time
  // On Result::indices:
  smd_baseline_flat,    // the A phase does not vary: no baseline-SD SMD
  smd_baseline_short,   // a 2-point A phase: no baseline-SD SMD
  smd_flat,             // neither phase varies: no SMD at all
};

struct Note {
  NoteCode code;
  std::string text;  // one sentence, no leading "Note: ", no closing period
};

// A within-case standardized mean difference (Hedges' g) with its standard
// error and 95% interval, g -+ 1.959964 se.
struct Smd {
  double g = 0, se = 0, ci_low = 0, ci_high = 0;
};

// The effect sizes single-case reviewers ask for beside KALMIR's own, in
// double precision from the values as the analysis held them, with lower
// values first negated for Improvement::decrease (so every index reads
// "higher is better" and the SMDs change sign). They treat the
// measurements as independent; only Tau-U and tau_bc remove a trend (the A
// phase's). Every 95% interval uses z = 1.959964.
struct Indices {
  // Non-overlap of all pairs: the share of (A, B) pairs with B above A,
  // ties one half. SE by Sen's variance estimator with NAP held within
  // [1/(2mn), 1 - 1/(2mn)]; interval by Newcombe's score method 5.
  double nap = 0, nap_se = 0, nap_ci_low = 0, nap_ci_high = 0;
  // Tau = 2 nap - 1, with twice NAP's SE and its interval's ends mapped.
  double tau = 0, tau_se = 0, tau_ci_low = 0, tau_ci_high = 0;
  // Tau-U in Parker's form, (S_AB - S_AA) / (m n); can exceed 1; no SE.
  double tau_u = 0;
  // Baseline-corrected Tau: Tau of the residuals from the A phase's
  // Theil-Sen line (on occasions 1 ... m, carried on into B), which is
  // baseline_intercept + baseline_slope * t.
  double tau_bc = 0, tau_bc_se = 0, tau_bc_ci_low = 0, tau_bc_ci_high = 0;
  double baseline_intercept = 0, baseline_slope = 0;
  // Shares: B above the A maximum (ties not counted); B above the A median
  // (ties one half); all points left after removing the fewest so that the
  // phases do not overlap. ird is the robust improvement rate difference
  // ((m + n)^2 pand - m^2 - n^2) / (2 m n).
  double pnd = 0, pem = 0, pand = 0, ird = 0;
  // With the A phase's SD, and with the pooled SD; empty where that SD is
  // 0 (or the A phase has only 2 points, for the baseline SD), with a note.
  std::optional<Smd> smd_baseline, smd_pooled;
  // Why an SMD is empty; not part of Result::notes, which the dialogue
  // prints.
  std::vector<Note> notes;
};

struct Result {
  std::string name;          // the data set's name
  std::string label_a = "A";  // the phases' labels
  std::string label_b = "B";
  // The values as the analysis held them (floats), A phase first.
  std::vector<float> values;
  int n_a = 0, n_b = 0;
  int resamples = kResamples, cases = kCases;  // the size it ran at

  // The A phase's line on the axis 1 ... n_a (the null model carries it on
  // into the B phase) and the B phase's on its own axis 1 ... n_b.
  Line null_model, exp_model;
  // Lag-1 autocorrelation of the standardized residuals plus 4/n, and its
  // standard error.
  float r1 = 0, r1_se = 0;

  // Mean and SD of the simulated B-phase means of each model. A null SD of
  // exactly 0 is held as 1e-6.
  float null_mean = 0, null_sd = 0, exp_mean = 0, exp_sd = 0;

  // Effect sizes: D (exp_mean - null_mean), d (D over the pooled SD of the
  // simulated means) with its SE, r converted from d, R-squared, and the
  // empirical two-sided p of the observed B-phase mean among the null
  // model's means.
  float d_unstd = 0, d = 0, d_se = 0, r = 0, r_squared = 0, p = 0;
  Direction direction = Direction::increase;  // increase when d >= 0

  std::vector<Note> notes;

  // The other effect sizes, and the direction they count as improvement.
  Improvement improvement = Improvement::increase;
  Indices indices;

  // The simulated means in case order, with Options::keep_means.
  std::vector<float> null_means, exp_means;
};

enum class ErrorCode {
  bad_data,     // a data set the analysis cannot take
  bad_options,  // Options out of range
  cancelled,  // the progress callback returned false
};

class Error : public std::exception {
 public:
  Error(ErrorCode code, std::string message)
      : code_(code), message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  ErrorCode code() const { return code_; }

 private:
  ErrorCode code_;
  std::string message_;
};

// Runs analyses one at a time, keeping what they work with between them:
// the random stream, the working arrays and the threads of
// Options::threads, so that a program analysing many data sets (one
// Analyser per thread of its own) allocates and starts nothing after the
// first. Two Analysers share nothing and may analyse at the same time on
// two threads; one Analyser must not be used by two threads at once. Each
// analysis starts afresh: the result is the same as from a new Analyser,
// also after an analysis that was stopped or failed.
class Analyser {
 public:
  Analyser();
  ~Analyser();
  Analyser(Analyser&& other) noexcept;
  Analyser& operator=(Analyser&& other) noexcept;
  Analyser(const Analyser&) = delete;
  Analyser& operator=(const Analyser&) = delete;

  // Analyses an AB data set: exactly two phases, each of kMinPhasePoints to
  // kMaxPhasePoints finite values of at most kMaxMagnitude. Each value is
  // rounded to float (a note names values that lose digits typed as
  // decimals). Throws kalmir::Error with the reason otherwise, or when
  // options.progress stops it; std::bad_alloc when memory runs out.
  Result analyse(const DataSet& data, const Options& options = {});

  struct State;  // what it keeps; internal

 private:
  std::unique_ptr<State> state_;
};

// The same analysis with an Analyser of its own, for a single call.
Result analyse(const DataSet& data, const Options& options = {});

// The report of an analysis as the console dialogue prints it, from the
// column heading to the p line and the blank lines after it.
std::string report_text(const Result& result);

// The results table, one row per data set, as the command line writes it
// in CSV and JSON.
enum class FieldKind {
  text,     // text
  integer,  // a count, in number
  figure,   // a float of the analysis, exactly, in number
  number,   // a double, in number
  empty,    // no value (a data set that was not analysed)
};
struct Field {
  std::string name;  // the column
  FieldKind kind = FieldKind::empty;
  double number = 0;
  std::string text;  // the text of a text field; of a number as written
};

// Where a row stands in a design (the columns after "case"): the study
// it belongs to, what it is, and which phase change it is.
struct RowPlace {
  std::string study;  // empty: none
  // "contrast": one phase change; "case": the average of a case's A->B
  // contrasts, or a case that could not be analysed; "study": the average
  // over a study's cases, or a study that could not be averaged.
  std::string row = "contrast";
  std::string contrast = "A1-B1";  // empty on the other rows
};

// The columns, in order.
std::vector<std::string> table_columns();
// The row of an analysed data set; input_notes (on values left out or
// rounded by whoever read the data) go before the result's own notes.
std::vector<Field> table_row(const Result& result,
                             const std::vector<std::string>& input_notes = {},
                             const RowPlace& place = {});
// The row of a data set that could not be analysed, with the reason.
std::vector<Field> table_error_row(const std::string& name,
                                   const std::string& reason,
                                   const RowPlace& place = {"", "case", ""});
// A row as a CSV line (with its line end), and the CSV header line; as a
// JSON object (the columns as keys, in order; empty fields as null).
std::string csv_header();
std::string csv_line(const std::vector<Field>& row);
std::string json_object(const std::vector<Field>& row);

// Designs beyond AB: reversal series (A1 B1 A2 B2 ...) and studies of
// several cases (multiple-baseline designs).

// The longest reversal series: phases in one data set.
constexpr int kMaxPhases = 10;

enum class Weights {
  equal,             // every contrast or case alike
  inverse_variance,  // 1 / SE^2 of the figure averaged
};

// One phase change of a series, analysed as an AB data set with the
// earlier phase as the baseline carried on.
struct Contrast {
  std::string label;  // "A1-B1", "B1-A2", ...
  bool a_to_b = true;  // from a baseline to an intervention phase
  Result result;
};

// An average of figures over contrasts or cases: Est = sum(w ES) / sum(w)
// and, for a figure with a standard error, SE = sqrt(sum(w^2 SE^2)) / sum(w).
struct Average {
  // The figure, named as its table column: "d_unstd", "d", "nap", "tau",
  // "tau_u", "tau_bc", "pnd", "pem", "pand", "ird", "smd_baseline",
  // "smd_pooled" (an SMD only where every contrast or case has one).
  std::string name;
  double estimate = 0;
  double se = 0;     // NaN for a figure without a standard error
};

// What a series or a study comes to.
struct Summary {
  int count = 0;  // the A->B contrasts (a case) or the cases (a study)
  std::vector<Average> averages;
};

struct Series {
  std::string name;
  std::vector<Contrast> contrasts;  // in time order
  // The average of the A->B contrasts, when there are two or more.
  bool has_summary = false;
  Summary summary;
  std::vector<Note> notes;  // on the design
};

// Analyses every phase change of a series of 2 to kMaxPhases phases whose
// labels alternate between two roles (the first phase's label is the
// baseline's; repeated labels such as A B A B and numbered ones such as
// A1 B1 A2 B2 both work). Throws kalmir::Error for phases that do not
// alternate and as analyse does for a phase it cannot take.
Series analyse_series(const DataSet& data, const Options& options = {},
                      Weights weights = Weights::equal);

// The phase changes of a series as AB data sets, for a program that runs
// their analyses itself (on threads of its own) and puts the results
// together with summarise_series; analyse_series is the two in one.
struct ContrastData {
  std::string label;    // "A1-B1", "B1-A2", ...
  bool a_to_b = true;   // from a baseline to an intervention phase
  DataSet data;         // the two phases, under the series' name
};
// Throws kalmir::Error as analyse_series does for phases that do not
// alternate or are too many or too few.
std::vector<ContrastData> series_contrasts(const DataSet& data);
// The series from the analyses of its contrasts, in series_contrasts'
// order: exactly what analyse_series gives for the same options.
Series summarise_series(const DataSet& data, std::vector<Result> results,
                        Weights weights = Weights::equal);

struct Study {
  std::string name;
  std::vector<Series> cases;
  Summary summary;  // each case entering with its A->B average
  std::vector<Note> notes;  // on the design
};

// Analyses a study of two or more cases, each a series. Throws
// kalmir::Error for fewer than two cases, and as analyse_series does.
Study analyse_study(const std::string& name, const std::vector<DataSet>& cases,
                    const Options& options = {},
                    Weights weights = Weights::equal);
// A study from its cases' series, in the cases' order, as analyse_series
// or summarise_series made them: exactly what analyse_study gives.
Study summarise_study(const std::string& name,
                      const std::vector<DataSet>& cases,
                      std::vector<Series> series,
                      Weights weights = Weights::equal);
// The row of a case's or a study's Summary: each average under its
// figure's column (d_unstd, d, d_se, the indices and their SEs; an SMD's
// interval is g -+ 1.959964 se), the direction of the average d and the
// improvement the indices count; the columns of a single analysis (the
// lines, the simulated means, r, p, the other intervals) empty. name goes
// in the case column (empty for a study's row).
std::vector<Field> table_summary_row(const std::string& name,
                                     const Summary& summary,
                                     Improvement improvement,
                                     const RowPlace& place,
                                     const std::vector<std::string>& notes = {});

// Reading data as people write it, for front ends that take text (a web
// page, a binding): the same rules and messages as the command line's.

// One phase's values typed or pasted as text: numbers such as 4, -2.5 or
// 1.5e1, separated by blanks, line ends, semicolons or commas. A comma is
// a decimal mark where it cannot be a separator: where the values are
// already apart by blanks, line ends or semicolons, and none of them holds
// two commas ("3,5 4,25" is 3.5 and 4.25; "3,5,4" and "3, 5" are three and
// two values).
struct ValueList {
  // The values in order, each the float the dialogue holds for the text
  // (as a double); empty when error is set.
  std::vector<double> values;
  // What is wrong, as a sentence without a closing period ("value 3 of the
  // A phase, \"4..5\", is not a number ..."); empty when all is well.
  std::string error;
  // Notes on values a float holds only rounded, as the dialogue words them.
  std::vector<std::string> notes;
  bool decimal_comma = false;  // commas were read as decimal marks
};
// label names the phase in messages ("A"); between kMinPhasePoints and
// kMaxPhasePoints values are needed.
ValueList read_values(const std::string& text, const std::string& label);

// A data file in long form (columns case, phase, values and optionally mt
// and study; one row per measurement), read by the command line's reader
// with its rules and messages.
struct ReadOptions {
  char separator = 0;  // ',', ';' or '\t'; 0: found from the header
  char decimal = 0;    // '.' or ','; 0: a point, or either mark with ';'
  std::string label_a = "A";  // the phase labels, compared without case
  std::string label_b = "B";
};
struct FileCase {
  // The case's name and its phases "A" and "B" (an AB case, ready for
  // analyse) or "A", "B", "A", "B", ... (a reversal series, for
  // analyse_series); the phases are empty when error is set.
  DataSet data;
  // The study the case belongs to (a "study" column), for analyse_study;
  // empty: none.
  std::string study;
  int line = 0;  // the line of its first row, or of its error
  // Empty when the case can be analysed; otherwise what is wrong without
  // the file, line or name ("no B phase (...)").
  std::string error;
  // Notes on the input (missing or rounded values), for table_row.
  std::vector<std::string> notes;
};
struct DataFile {
  std::vector<FileCase> cases;  // in the order of each case's first row
  // Empty when the file could be read; otherwise why not, at line (0 when
  // no line is to blame), and there are no cases.
  std::string error;
  int line = 0;
};
// name is how messages and, without a case column, the case call the file.
DataFile read_data_file(const std::string& text, const std::string& name,
                        const ReadOptions& options = {});

}  // namespace kalmir

#endif  // KALMIR_KALMIR_H_
