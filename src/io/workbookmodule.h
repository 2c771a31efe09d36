#ifndef KALMIR_WORKBOOKMODULE_H_
#define KALMIR_WORKBOOKMODULE_H_

// What the program and its workbook module say to each other. The module
// (kalmir-workbook.so: the workbook reader with libzip, expat and the
// libraries behind them) is loaded only when a data file turns out to be a
// zip archive, so that every other run starts without mapping them. The
// module may carry a C++ runtime of its own, so only plain C crosses here:
// the sheet comes back as one block of bytes from malloc, which the caller
// frees with free. The entry point's name carries the version of this
// interface; change both together.

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Reads the workbook of nBytes bytes at pBytes, its sheet named or numbered
// by pSheet (nSheet bytes; none: the first), as readWorkbook does
// (workbook.h). Returns the Worksheet as encoded by workbookblock.h, its
// length in *pnBlock, or null when no memory could be had.
typedef char* (*KalmirReadWorkbook)(const char* pBytes, size_t nBytes,
                                    const char* pSheet, size_t nSheet,
                                    size_t* pnBlock);
#define KALMIR_READ_WORKBOOK_SYMBOL "kalmir_read_workbook_1"

#ifdef __cplusplus
}
#endif

#endif  // KALMIR_WORKBOOKMODULE_H_
