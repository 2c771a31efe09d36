// What the page's worker calls: the library's public face, with data and
// results as JavaScript values. The analysis runs on the worker's one
// thread; its progress goes to a JavaScript function.

#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <new>
#include <string>
#include <vector>

#include "kalmir/kalmir.h"

namespace {

using emscripten::val;

val stringArray(const std::vector<std::string>& texts) {
  val array = val::array();
  for (const std::string& text : texts) array.call<void>("push", text);
  return array;
}

val lineOf(const kalmir::Line& line) {
  val o = val::object();
  o.set("intercept", line.intercept);
  o.set("intercept_se", line.intercept_se);
  o.set("slope", line.slope);
  o.set("slope_se", line.slope_se);
  o.set("sd", line.sd);
  o.set("sd_se", line.sd_se);
  return o;
}

const char* kindName(kalmir::FieldKind kind) {
  switch (kind) {
    case kalmir::FieldKind::text:
      return "text";
    case kalmir::FieldKind::integer:
      return "integer";
    case kalmir::FieldKind::figure:
      return "figure";
    case kalmir::FieldKind::number:
      return "number";
    case kalmir::FieldKind::empty:
      break;
  }
  return "empty";
}

// A row of the results table, its cells and the same row as CSV and JSON.
val rowOf(const std::vector<kalmir::Field>& row) {
  val cells = val::array();
  for (const kalmir::Field& field : row) {
    val cell = val::object();
    cell.set("name", field.name);
    cell.set("kind", std::string(kindName(field.kind)));
    cell.set("number", field.number);
    cell.set("text", field.text);
    cells.call<void>("push", cell);
  }
  val o = val::object();
  o.set("cells", cells);
  o.set("csv", kalmir::csv_line(row));
  o.set("json", kalmir::json_object(row));
  return o;
}

val floatsOf(const std::vector<float>& f) {
  // A copy: the memory view goes stale when the module's memory grows.
  return val::global("Float32Array")
      .new_(emscripten::typed_memory_view(f.size(), f.data()))
      .call<val>("slice");
}

val resultOf(const kalmir::Result& r,
             const std::vector<std::string>& inputNotes) {
  val o = val::object();
  o.set("name", r.name);
  o.set("label_a", r.label_a);
  o.set("label_b", r.label_b);
  o.set("values", floatsOf(r.values));
  o.set("n_a", r.n_a);
  o.set("n_b", r.n_b);
  o.set("null_model", lineOf(r.null_model));
  o.set("exp_model", lineOf(r.exp_model));
  o.set("r1", r.r1);
  o.set("r1_se", r.r1_se);
  o.set("null_mean", r.null_mean);
  o.set("null_sd", r.null_sd);
  o.set("exp_mean", r.exp_mean);
  o.set("exp_sd", r.exp_sd);
  o.set("d_unstd", r.d_unstd);
  o.set("d", r.d);
  o.set("d_se", r.d_se);
  o.set("r", r.r);
  o.set("r_squared", r.r_squared);
  o.set("p", r.p);
  o.set("increase", r.direction == kalmir::Direction::increase);
  std::vector<std::string> notes = inputNotes;
  for (const kalmir::Note& note : r.notes) notes.push_back(note.text);
  o.set("notes", stringArray(notes));
  o.set("report", kalmir::report_text(r));
  o.set("null_means", floatsOf(r.null_means));
  o.set("exp_means", floatsOf(r.exp_means));
  o.set("row", rowOf(kalmir::table_row(r, inputNotes)));
  return o;
}

kalmir::Options optionsFor(val progress) {
  kalmir::Options options;
  // WebAssembly here runs without threads: the worker's thread does all.
  options.threads = 1;
  options.keep_means = true;
  options.progress = [progress](double done) {
    return progress(done).as<bool>();
  };
  return options;
}

const char* codeName(kalmir::ErrorCode code) {
  switch (code) {
    case kalmir::ErrorCode::bad_data:
      return "bad_data";
    case kalmir::ErrorCode::bad_options:
      return "bad_options";
    case kalmir::ErrorCode::cancelled:
      break;
  }
  return "cancelled";
}

val failure(const std::string& code, const std::string& message) {
  val o = val::object();
  o.set("error", message);
  o.set("code", code);
  return o;
}

// Typed or pasted phases: {a: {error}, b: {error}} for text that is not a
// phase's values, {error, code} when the analysis cannot take the data or
// was stopped, or {result}.
val analyseText(std::string name, std::string textA, std::string textB,
                val progress) {
  const kalmir::ValueList a = kalmir::read_values(textA, "A");
  const kalmir::ValueList b = kalmir::read_values(textB, "B");
  if (!a.error.empty() || !b.error.empty()) {
    val o = val::object();
    o.set("fields", true);
    o.set("a", a.error);
    o.set("b", b.error);
    return o;
  }
  std::vector<std::string> inputNotes = a.notes;
  inputNotes.insert(inputNotes.end(), b.notes.begin(), b.notes.end());
  try {
    const kalmir::DataSet data{name, {{"A", a.values}, {"B", b.values}}};
    val o = val::object();
    o.set("result",
          resultOf(kalmir::analyse(data, optionsFor(progress)), inputNotes));
    o.set("decimal_comma", a.decimal_comma || b.decimal_comma);
    return o;
  } catch (const kalmir::Error& e) {
    return failure(codeName(e.code()), e.what());
  } catch (const std::bad_alloc&) {
    return failure("memory", "out of memory");
  }
}

// How many values each field holds, for the line under it, or the
// field's error.
val countValues(std::string text, std::string label) {
  const kalmir::ValueList list = kalmir::read_values(text, label);
  val o = val::object();
  o.set("count", static_cast<int>(list.values.size()));
  o.set("error", list.error);
  o.set("decimal_comma", list.decimal_comma);
  return o;
}

// A data file: {error} when it cannot be read; otherwise {cases}, each
// with the data to analyse or its message as the command line words it.
val readFile(std::string text, std::string name) {
  const kalmir::DataFile file = kalmir::read_data_file(text, name);
  val o = val::object();
  if (!file.error.empty()) {
    o.set("error", file.line > 0 ? name + ":" + std::to_string(file.line) +
                                       ": " + file.error
                                 : name + ": " + file.error);
    return o;
  }
  val cases = val::array();
  for (const kalmir::FileCase& file_case : file.cases) {
    // The page analyses AB cases; a longer series is named as such rather
    // than cut to its first two phases.
    kalmir::FileCase c = file_case;
    if (c.error.empty() && c.data.phases.size() > 2) {
      c.error = "a reversal series of " + std::to_string(c.data.phases.size()) +
                " phases; this page analyses AB cases, the command line "
                "(kalmir FILE) every phase change of a series";
    }
    val one = val::object();
    one.set("name", c.data.name);
    if (c.error.empty()) {
      val a = val::array(), b = val::array();
      for (double x : c.data.phases[0].values) a.call<void>("push", x);
      for (double x : c.data.phases[1].values) b.call<void>("push", x);
      one.set("a", a);
      one.set("b", b);
      one.set("notes", stringArray(c.notes));
    } else {
      const std::string where = name + ":" + std::to_string(c.line);
      // As the command line's message and its table's row put it.
      one.set("message", where + ": case \"" + c.data.name + "\": " + c.error);
      one.set("reason", where + ": " + c.error);
      one.set("row", rowOf(kalmir::table_error_row(c.data.name,
                                                   where + ": " + c.error)));
    }
    cases.call<void>("push", one);
  }
  o.set("cases", cases);
  return o;
}

// One case of a data file, as read by readFile.
val analyseCase(std::string name, val a, val b, val notes, val progress) {
  try {
    const kalmir::DataSet data{name,
                               {{"A", emscripten::vecFromJSArray<double>(a)},
                                {"B", emscripten::vecFromJSArray<double>(b)}}};
    val o = val::object();
    o.set("result", resultOf(kalmir::analyse(data, optionsFor(progress)),
                             emscripten::vecFromJSArray<std::string>(notes)));
    return o;
  } catch (const kalmir::Error& e) {
    return failure(codeName(e.code()), e.what());
  } catch (const std::bad_alloc&) {
    return failure("memory", "out of memory");
  }
}

val tableColumns() { return stringArray(kalmir::table_columns()); }

std::string csvHeader() { return kalmir::csv_header(); }

std::string version() { return kalmir::version(); }

}  // namespace

EMSCRIPTEN_BINDINGS(kalmir) {
  emscripten::function("analyseText", &analyseText);
  emscripten::function("countValues", &countValues);
  emscripten::function("readFile", &readFile);
  emscripten::function("analyseCase", &analyseCase);
  emscripten::function("tableColumns", &tableColumns);
  emscripten::function("csvHeader", &csvHeader);
  emscripten::function("version", &version);
}
