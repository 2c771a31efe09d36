#ifndef KALMIR_PLOTFILE_H_
#define KALMIR_PLOTFILE_H_

// Files of a plot folder written so that nothing else is touched and no
// reader sees half a file: each is written to a temporary file made in
// its own directory (O_EXCL, so never through a link and never onto a
// file that is there) and renamed onto its name once complete. An existing
// link at the name is replaced, not followed; anything there that is not a
// regular file or a link (a directory, a device, a FIFO, a socket) is left
// alone and the write refused. Keeps nothing between calls; files of
// different names may be written from different threads at once.

#include <functional>
#include <string>

// Writes path: write gets the temporary file's descriptor and returns ""
// once it has written everything, or why it could not. False when path
// could not be written; *pError then says "cannot write PATH: why", and
// the temporary file is gone.
bool replaceFile(const std::string& path,
                 const std::function<std::string(int nFd)>& write,
                 std::string* pError);

// Writes all of text to nFd; "" or why not.
std::string writeText(int nFd, const std::string& text);

#endif  // KALMIR_PLOTFILE_H_
