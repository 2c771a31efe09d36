#ifndef KALMIR_CLISTATUS_H_
#define KALMIR_CLISTATUS_H_

// The exit statuses of the command line, and the two messages after which
// it ends with kCliFailed. Every unit of the command line says these the
// same way.

#include <cstdio>
#include <string>

enum CliStatus {
  kCliAllAnalysed = 0,  // every case was analysed
  kCliSomeFailed = 1,   // some cases could not be analysed; the rest were
  kCliFailed = 2,       // a bad option, an unreadable file, a failed write
};

// "kalmir: WHAT; see kalmir --help" on err; returns kCliFailed.
int usageError(FILE* err, const std::string& what);

// "kalmir: cannot write WHERE: REASON" on err, the reason from nError (EIO
// when it is 0); returns kCliFailed.
int writeError(FILE* err, const std::string& where, int nError);

#endif  // KALMIR_CLISTATUS_H_
