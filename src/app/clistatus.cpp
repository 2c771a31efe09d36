#include "clistatus.h"

#include <cerrno>
#include <cstring>

int usageError(FILE* err, const std::string& what) {
  std::fprintf(err, "kalmir: %s; see kalmir --help\n", what.c_str());
  return kCliFailed;
}

int writeError(FILE* err, const std::string& where, int nError) {
  std::fprintf(err, "kalmir: cannot write %s: %s\n", where.c_str(),
               std::strerror(nError != 0 ? nError : EIO));
  return kCliFailed;
}
