// What the main window leaves for a crash report: the crash handler's
// information text at start-up and DUMP.ini while the program runs.
#include <json/value.h>
#include <json/writer.h>

#include <cstdio>

#include "app/CrashHandler.h"
#include "app/IniFile.h"
#include "app/ProgramFolder.h"
#include "app/ProgramIdentity.h"
#include "ui/MainWnd.h"

namespace {

std::string DumpIniPath() { return GetProgramFolder() + "/DUMP.ini"; }

std::string ExeVersionText() {
  uint16_t a = 0, b = 0, c = 0, d = 0;
  GetModuleVersion(&a, &b, &c, &d);
  char text[32];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", a, b, c, d);
  return text;
}

}  // namespace

void CMainWnd::SetupCrashHandler() {
  const UserConfigValues config = TheUserConfig().Get();
  const std::string folder = GetProgramFolder();
  const std::string exeName = GetExeBaseName();
  Json::Value info(Json::objectValue);
  info["UploadUrl"] = "";
  info["DumpFilePath"] = folder + "/" + exeName + ".dmp";
  info["Account"] = config.userId;
  info["ExeName"] = exeName;
  info["ToolVersion"] = ExeVersionText();
  info["OutResolution"] = config.outResolution;
  const std::string text = Json::StyledWriter().write(info);
  const std::string uploader = folder + "/Crashwick";
  InstallCrashHandler(uploader.c_str(), text.c_str());
}

void CMainWnd::WriteDumpIni() {
  const UserConfigValues config = TheUserConfig().Get();
  IniWriteStrings(DumpIniPath(), "DUMP",
                  {{"Resolution", config.outResolution},
                   {"UserID", config.userId},
                   {"ADUin", config.accountNumber},
                   {"DumpStatus", "NoPub"}},
                  0644);
}

void CMainWnd::SetDumpStatus(const char* status) { IniWriteString(DumpIniPath(), "DUMP", "DumpStatus", status); }
