// Finds libWexmoor.so in a folder (by default the folder of the module that
// contains this code, i.e. beside libStrivon.so), loads it and resolves
// CreateCaptureDevice. The library stays loaded for the life of the process,
// since devices made from it may still exist when the loader is gone.
// Called by the publish manager's background-sound start.
#pragma once
#include <string>

#include "platform/wexmoor/ICaptureNotfy.h"

enum class WexmoorLoadError { kNone, kLibraryMissing, kFactoryMissing };

struct WexmoorLoadResult {
  CreateCaptureDeviceFn create = nullptr;  // set when error == kNone
  WexmoorLoadError error = WexmoorLoadError::kNone;
  std::string path;    // the file that was tried
  std::string detail;  // dlerror() text on failure
};

// folder "" means the folder of the module holding this code. A trailing
// '/' is optional.
WexmoorLoadResult LoadWexmoor(const std::string& folder = "");
