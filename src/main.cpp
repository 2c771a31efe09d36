#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "dialogue.h"

int main() {
  int nStatus;
  try {
    nStatus = runDialogue(stdin, stdout, stderr);
  } catch (const std::bad_alloc&) {
    std::fputs("kalmir: out of memory; the analysis could not be finished\n",
               stderr);
    return kDialogueFailed;
  }
  // What is still buffered must reach its destination too.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    if (nStatus != kDialogueFailed) {
      std::fprintf(stderr, "kalmir: cannot write standard output: %s\n",
                   std::strerror(errno));
    }
    return kDialogueFailed;
  }
  return nStatus;
}
