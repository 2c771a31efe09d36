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
  // In a folder that someone else owns, or that anyone may write without
  // the sticky bit, another user could rename or replace the plots; the
  // names are predictable from the cases' names.
  if (info.st_uid != geteuid() && info.st_uid != 0) {
    return "cannot write plots to " + printable(dir) +
           ": it belongs to another user; use a folder of your own";
  }
  if ((info.st_mode & S_IWOTH) != 0 && (info.st_mode & S_ISVTX) == 0) {
    return "cannot write plots to " + printable(dir) +
           ": anyone may write to it and it lacks the sticky bit; use a "
           "folder of your own";
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
