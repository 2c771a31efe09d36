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
    if (c.error.empty()) fc.data = caseDataSet(c);
    fc.data.name = std::move(c.name);
    fc.study = std::move(c.study);
    fc.line = c.nLine;
    fc.error = std::move(c.error);
    fc.notes = std::move(c.notes);
    file.cases.push_back(std::move(fc));
  }
  return file;
}

}  // namespace kalmir
