#include "app/ProgramCrashReport.h"

#include <json/value.h>
#include <json/writer.h>

#include <cstdio>

#include "app/CrashHandler.h"
#include "app/ProgramFolder.h"

namespace {

std::string ExeVersionText() {
  uint16_t a = 0, b = 0, c = 0, d = 0;
  GetModuleVersion(&a, &b, &c, &d);
  char text[32];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", a, b, c, d);
  return text;
}

}  // namespace

CrashReportPaths CrashReportPathsIn(const std::string& programFolder) {
  const std::string besideProgram = DumpPathForProgram(ReadProgramPath());
  const size_t slash = besideProgram.rfind('/');
  CrashReportPaths paths;
  paths.dump = programFolder + "/" + (slash == std::string::npos ? besideProgram : besideProgram.substr(slash + 1));
  paths.uploader = programFolder + "/Crashwick";
  return paths;
}

std::string CrashInfoText(const CrashReportPaths& paths, const std::string& account,
                          const std::string& outResolution) {
  Json::Value info(Json::objectValue);
  info["UploadUrl"] = "";
  info["DumpFilePath"] = paths.dump;
  info["Account"] = account;
  info["ExeName"] = GetExeBaseName();
  info["ToolVersion"] = ExeVersionText();
  info["OutResolution"] = outResolution;
  return Json::StyledWriter().write(info);
}

bool InstallProgramCrashHandler(const std::string& account, const std::string& outResolution) {
  const CrashReportPaths paths = CrashReportPathsIn(GetProgramFolder());
  const std::string info = CrashInfoText(paths, account, outResolution);
  return InstallCrashHandler(paths.uploader.c_str(), info.c_str(), paths.dump.c_str());
}
