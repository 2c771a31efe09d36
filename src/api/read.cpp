// The public face of the readers in src/io: text in, data sets out.

#include <utility>

#include "casefile.h"
#include "kalmir/kalmir.h"
#include "valuelist.h"

namespace kalmir {

ValueList read_values(const std::string& text, const std::string& label) {
  return readValueList(text, label, kMaxPhasePoints);
}

DataFile read_data_file(const std::string& text, const std::string& name,
                        const ReadOptions& options) {
  CaseFileOptions o;
  o.cSeparator = options.separator;
  o.cDecimal = options.decimal;
  o.phaseA = options.label_a;
  o.phaseB = options.label_b;
  CaseFile read = readCaseText(text, name, o);
  DataFile file;
  file.error = std::move(read.error);
  file.line = read.nLine;
  for (Case& c : read.cases) {
    FileCase fc;
    fc.data.name = std::move(c.name);
    fc.line = c.nLine;
    fc.error = std::move(c.error);
    fc.notes = std::move(c.notes);
    if (fc.error.empty()) {
      // Floats widen to doubles exactly, so analyse holds the same values.
      const auto nA = static_cast<std::ptrdiff_t>(c.nNA);
      fc.data.phases = {{"A", {c.fY.begin(), c.fY.begin() + nA}},
                        {"B", {c.fY.begin() + nA, c.fY.end()}}};
    }
    file.cases.push_back(std::move(fc));
  }
  return file;
}

}  // namespace kalmir
