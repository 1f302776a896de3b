// The program's crash report as the main window sets it up at start-up: the
// dump file, the "DumpFilePath" the information text names and the uploader
// all lie in the program folder (the executable's folder, or the user's data
// folder when that is read-only), so the three always agree and the dump is
// written where the program can write.
#pragma once
#include <string>

struct CrashReportPaths {
  std::string dump;      // <folder>/<program name>.dmp
  std::string uploader;  // <folder>/Crashwick
};

CrashReportPaths CrashReportPathsIn(const std::string& programFolder);

// The information text handed to the uploader: jsoncpp's styled text of
// "UploadUrl" (empty), "DumpFilePath", "Account", "ExeName", "ToolVersion"
// and "OutResolution".
std::string CrashInfoText(const CrashReportPaths& paths, const std::string& account,
                          const std::string& outResolution);

// Installs the crash handler with the paths of GetProgramFolder(); false as
// InstallCrashHandler reports it.
bool InstallProgramCrashHandler(const std::string& account, const std::string& outResolution);
