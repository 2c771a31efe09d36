#include "plotdir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "text.h"

std::string preparePlotDir(const std::string& dir) {
  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    return "cannot make the plot directory " + printable(dir) + ": " +
           std::strerror(errno);
  }
  struct stat info;
  if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return "cannot write plots to " + printable(dir) + ": not a directory";
  }
  if (access(dir.c_str(), W_OK | X_OK) != 0) {
    return "cannot write plots to " + printable(dir) + ": " +
           std::strerror(errno);
  }
  return "";
}

std::string plotPath(const std::string& dir, const std::string& fileName,
                     PlotFormat format) {
  std::string path = dir;
  if (path.back() != '/') path += '/';
  return path + fileName + plotExtension(format);
}
