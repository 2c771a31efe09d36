#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "cli.h"
#include "dialogue.h"

// Without arguments the typed dialogue, as it has always been; with any,
// the command line over data files.
int main(int argc, char** argv) {
  if (argc > 1) return runCommandLine(argc, argv, stdin, stdout, stderr);
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
