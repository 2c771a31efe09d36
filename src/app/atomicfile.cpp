#include "atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "text.h"

namespace {

// The temporary file's path, for the signal handler, which may read no
// other state; empty when there is no temporary file.
char gTempPath[PATH_MAX];

extern "C" void removeTempAndDie(int nSignal) {
  unlink(gTempPath);
  signal(nSignal, SIG_DFL);
  raise(nSignal);
}

const int kEndSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,
                          SIGPIPE, SIGXFSZ, SIGUSR1, SIGUSR2,
                          SIGALRM, SIGVTALRM, SIGPROF};

void blockEndSignals(bool bBlock) {
  sigset_t set;
  sigemptyset(&set);
  for (int nSignal : kEndSignals) sigaddset(&set, nSignal);
  pthread_sigmask(bBlock ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

}  // namespace

static_assert(sizeof kEndSignals / sizeof kEndSignals[0] ==
                  static_cast<size_t>(11),
              "AtomicFile keeps a handler for each end signal");

bool AtomicFile::open(const std::string& named, std::string* pError,
                      std::string* pNote) {
  // A link leads to the file to replace; the link itself stays.
  std::string path = named;
  struct stat link;
  if (lstat(named.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    char resolved[PATH_MAX];
    if (realpath(named.c_str(), resolved) == nullptr) {
      const int nError = errno;
      *pError = "cannot write " + printable(named) + ": it is a symbolic " +
                "link that leads to no file (" + std::strerror(nError) + ")";
      return false;
    }
    path = resolved;
  }
  path_ = path;
  const size_t nSlash = path.rfind('/');
  // A short temporary name, so that any name the file system takes for
  // the table itself also fits.
  std::string temp =
      (nSlash == std::string::npos ? "" : path.substr(0, nSlash + 1)) +
      ".kalmir.XXXXXX";
  if (temp.size() >= sizeof gTempPath) {
    *pError = "cannot write " + printable(path) + ": the name is too long";
    return false;
  }
  struct stat target;
  const bool bExists = stat(path.c_str(), &target) == 0;
  if (bExists && S_ISDIR(target.st_mode)) {
    *pError = "cannot write " + printable(path) + ": it is a directory";
    return false;
  }
  if (bExists && S_ISBLK(target.st_mode)) {
    *pError = "cannot write " + printable(path) + ": it is a disk device";
    return false;
  }
  // A pipe or a terminal (/dev/stdout, /dev/null, a FIFO) is written into
  // where it is: a rename would put a plain file in its place.
  if (bExists && !S_ISREG(target.st_mode)) return openInPlace(path, pError);
  // Signals may not remove the file before its name is complete.
  blockEndSignals(true);
  std::strcpy(gTempPath, temp.c_str());
  const int fd = mkstemp(gTempPath);
  if (fd < 0) {
    const int nError = errno;
    gTempPath[0] = '\0';
    blockEndSignals(false);
    // A file that may be written where no new file may be made: written
    // in place, which a failed run leaves half done, and said so.
    if (bExists && (nError == EACCES || nError == EPERM || nError == EROFS) &&
        access(path.c_str(), W_OK) == 0 && openInPlace(path, pError)) {
      if (pNote != nullptr) {
        *pNote = "cannot make a temporary file beside " + printable(path) +
                 " (" + std::strerror(nError) +
                 "), so it is written in place";
      }
      return true;
    }
    *pError = "cannot write " + printable(path) + ": " + std::strerror(nError);
    return false;
  }
  temp_ = gTempPath;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = removeTempAndDie;
  for (int i = 0; i < kEndSignalCount; ++i) {
    sigaction(kEndSignals[i], nullptr, &saved_[i]);
    // A signal the caller ignores stays ignored.
    if (saved_[i].sa_handler != SIG_IGN) {
      sigaction(kEndSignals[i], &action, nullptr);
    }
  }
  bHandlers_ = true;
  blockEndSignals(false);
  // mkstemp makes the file private; give it the mode of the file it
  // replaces, or what a new file would get.
  mode_t mode;
  if (stat(path.c_str(), &target) == 0) {
    mode = target.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  fchmod(fd, mode);
  file_ = fdopen(fd, "w");
  if (file_ == nullptr) {
    const int nError = errno;
    ::close(fd);
    discard();
    *pError = "cannot write " + printable(path) + ": " + std::strerror(nError);
    return false;
  }
  return true;
}

bool AtomicFile::openInPlace(const std::string& path, std::string* pError) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd >= 0) file_ = fdopen(fd, "w");
  if (file_ == nullptr) {
    const int nError = errno;
    if (fd >= 0) ::close(fd);
    *pError = "cannot write " + printable(path) + ": " + std::strerror(nError);
    return false;
  }
  path_ = path;
  bInPlace_ = true;
  return true;
}

bool AtomicFile::commit(std::string* pError) {
  // errno may be 0 after a failed write; the failure still counts.
  auto failure = [] { return errno != 0 ? errno : EIO; };
  int nError = 0;
  errno = 0;
  if (std::fflush(file_) != 0 || std::ferror(file_)) nError = failure();
  if (nError == 0 && !bInPlace_ && fsync(fileno(file_)) != 0) {
    nError = failure();
  }
  if (std::fclose(file_) != 0 && nError == 0) nError = failure();
  file_ = nullptr;
  if (bInPlace_) {
    bInPlace_ = false;
    if (nError == 0) return true;
    *pError = "cannot write " + printable(path_) + ": " + std::strerror(nError);
    return false;
  }
  if (nError == 0 && std::rename(temp_.c_str(), path_.c_str()) != 0) {
    nError = errno;
  }
  if (nError != 0) {
    *pError = "cannot write " + printable(path_) + ": " +
              std::strerror(nError != 0 ? nError : EIO);
    discard();
    return false;
  }
  temp_.clear();
  forget();
  return true;
}

void AtomicFile::discard() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  bInPlace_ = false;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
  forget();
}

// No signal handler may remove the path any more; the handlers that were
// there before come back.
void AtomicFile::forget() {
  if (gTempPath[0] == '\0') return;
  blockEndSignals(true);
  gTempPath[0] = '\0';
  if (bHandlers_) {
    for (int i = 0; i < kEndSignalCount; ++i) {
      sigaction(kEndSignals[i], &saved_[i], nullptr);
    }
    bHandlers_ = false;
  }
  blockEndSignals(false);
}
