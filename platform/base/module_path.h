// Where the code calling this lives: the full path of the shared library (or
// program) that contains the platform code. The log folder and the run-time
// loaded helper libraries are found beside it.
#pragma once
#include <string>

namespace platform {

// Full path of the containing module, or "" when it cannot be found.
std::string OwnModulePath();
// Folder of OwnModulePath() with a trailing '/', or "".
std::string OwnModuleFolder();
// File name part of OwnModulePath() (e.g. "libStrivon.so"), or "".
std::string OwnModuleFileName();

}  // namespace platform
