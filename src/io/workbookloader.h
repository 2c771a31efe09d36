#ifndef KALMIR_WORKBOOKLOADER_H_
#define KALMIR_WORKBOOKLOADER_H_

// Workbooks read through the workbook module (workbookmodule.h), which is
// loaded at the first zip archive a run meets, so that a run that reads
// none never maps the zip and XML libraries. Without the module (a build
// without libzip and expat, or a module that is missing) a workbook gets
// a sheet whose error says why it cannot be read.

#include <string>

#include "workbook.h"

// readWorkbook (workbook.h) of the module, with its default limits.
Worksheet loadWorkbook(const std::string& bytes, const std::string& sheet);

#endif  // KALMIR_WORKBOOKLOADER_H_
