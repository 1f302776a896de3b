#include "platform/vexa/regular_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

bool CheckRegularFile(const std::string& path, std::string* reason) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    *reason = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    *reason = "not a regular file";
    return false;
  }
  return true;
}
