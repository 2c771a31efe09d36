#ifndef KALMIR_PROGRAMDIR_H_
#define KALMIR_PROGRAMDIR_H_

// Where the running program is, for the modules it loads from beside
// itself (the drawing module, the workbook module).

#include <string>

// The directory of the running program with a closing '/', or "" when it
// cannot be found.
std::string programDirectory();

#endif  // KALMIR_PROGRAMDIR_H_
