#include "platform/wexmoor/WexmoorLoader.h"

#include <dlfcn.h>

#include "platform/base/module_path.h"

WexmoorLoadResult LoadWexmoor(const std::string& folder) {
  WexmoorLoadResult result;
  std::string dir = folder.empty() ? platform::OwnModuleFolder() : folder;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  result.path = dir + kWexmoorLibraryName;
  // An absolute path: never a same-named library from the search path.
  void* library = dir.empty() ? nullptr : dlopen(result.path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* reason = dlerror();
    result.error = WexmoorLoadError::kLibraryMissing;
    result.detail = reason ? reason : "no folder";
    return result;
  }
  // Deliberately never dlclose()d: devices made from it may outlive us.
  result.create = reinterpret_cast<CreateCaptureDeviceFn>(dlsym(library, kWexmoorFactoryName));
  if (!result.create) {
    const char* reason = dlerror();
    result.error = WexmoorLoadError::kFactoryMissing;
    result.detail = reason ? reason : "no such symbol";
  }
  return result;
}
