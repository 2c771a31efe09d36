#ifndef KALMIR_ATOMICFILE_H_
#define KALMIR_ATOMICFILE_H_

// The results file of -o: written beside its final name and renamed onto
// it once complete, so that a failed or interrupted run never leaves half
// a table there, and the old table stays until the new one is whole. A
// symbolic link is followed: the file it leads to is replaced, and the
// link stays a link. While the temporary file exists, a signal that ends
// the program (INT, TERM, HUP, QUIT, PIPE, XFSZ, USR1, USR2, ALRM,
// VTALRM, PROF) removes it first; the handlers that were there before
// come back when it is gone. One AtomicFile at a time per process: the
// handlers know one path. A name that leads to a pipe, a terminal or a
// character device (a FIFO, /dev/stdout, /dev/null) is written into as
// it stands, never replaced; a directory or a disk device is refused. A
// file that may be written in a directory that may not is written in
// place, with a note.

#include <signal.h>

#include <cstdio>
#include <string>

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile() { discard(); }
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file beside path, with the mode of the file it
  // will replace (or what a new file would get), or opens the pipe or
  // terminal that path leads to; false with *pError set when it cannot.
  // *pNote, when given, says why a file is written in place.
  bool open(const std::string& path, std::string* pError,
            std::string* pNote = nullptr);

  // Where to write, between open and commit.
  FILE* file() const { return file_; }

  // Flushes, syncs and puts the complete file in place; false with
  // *pError set when it could not be written (it is then removed).
  bool commit(std::string* pError);

  // Removes the temporary file, if any.
  void discard();

 private:
  bool openInPlace(const std::string& path, std::string* pError);
  void forget();

  static const int kEndSignalCount = 11;
  std::string path_;
  std::string temp_;
  FILE* file_ = nullptr;
  struct sigaction saved_[kEndSignalCount];
  bool bHandlers_ = false;
  bool bInPlace_ = false;  // written into a pipe or terminal, no temp file
};

#endif  // KALMIR_ATOMICFILE_H_
