#include "strivon/SdkVersion.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>

#include "platform/base/module_path.h"

std::string FileTimeVersionString(const std::string& path) {
  if (path.empty()) return {};
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return {};
  const time_t modified = status.st_mtime;
  struct tm local {};
  if (localtime_r(&modified, &local) == nullptr) return {};
  char text[32];
  const int length = snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                              local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  if (length != 14) return {};
  return text;
}

std::string GetSdkVersionString() { return FileTimeVersionString(platform::OwnModulePath()); }
