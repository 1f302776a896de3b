#include "platform/base/module_path.h"

#include <dlfcn.h>
#include <climits>
#include <cstdlib>

namespace platform {

std::string OwnModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnModulePath), &info) == 0 || info.dli_fname == nullptr) return {};
  // dli_fname is what the loader was given, possibly relative to the start folder.
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved) != nullptr) return resolved;
  return info.dli_fname;
}

std::string OwnModuleFolder() {
  const std::string path = OwnModulePath();
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string OwnModuleFileName() {
  const std::string path = OwnModulePath();
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace platform
