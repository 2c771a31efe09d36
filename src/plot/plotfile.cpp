#include "plotfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The process's umask, read once: reading it means setting it, which
// must not happen while other threads create files.
mode_t processUmask() {
  static const mode_t mask = [] {
    const mode_t m = umask(0);
    umask(m);
    return m;
  }();
  return mask;
}

}  // namespace

bool replaceFile(const std::string& path,
                 const std::function<std::string(int nFd)>& write,
                 std::string* pError) {
  auto fail = [&](const std::string& why) {
    *pError = "cannot write " + path + ": " + why;
    return false;
  };
  struct stat target;
  if (lstat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode) &&
      !S_ISLNK(target.st_mode)) {
    return fail(S_ISDIR(target.st_mode) ? "it is a directory"
                                        : "it is not a regular file");
  }
  const size_t nSlash = path.rfind('/');
  const std::string dir =
      nSlash == std::string::npos ? "" : path.substr(0, nSlash + 1);
  const std::string base =
      nSlash == std::string::npos ? path : path.substr(nSlash + 1);
  // The temporary name stays within a file name's 255 bytes.
  std::string temp = dir + "." + base.substr(0, 200) + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) return fail(std::strerror(errno));
  temp = name.data();
  // mkstemp makes the file private; a plot gets what a new file would.
  fchmod(fd, 0666 & ~processUmask());
  std::string why = write(fd);
  if (why.empty() && fsync(fd) != 0) why = std::strerror(errno);
  if (::close(fd) != 0 && why.empty()) why = std::strerror(errno);
  if (why.empty() && std::rename(temp.c_str(), path.c_str()) != 0) {
    why = std::strerror(errno);
  }
  if (why.empty()) return true;
  unlink(temp.c_str());
  return fail(why);
}

std::string writeText(int nFd, const std::string& text) {
  const char* p = text.data();
  size_t nLeft = text.size();
  while (nLeft > 0) {
    const ssize_t n = ::write(nFd, p, nLeft);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::strerror(n < 0 ? errno : EIO);
    p += n;
    nLeft -= static_cast<size_t>(n);
  }
  return "";
}
