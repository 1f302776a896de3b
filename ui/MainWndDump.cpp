// What the main window leaves for a crash report: the crash handler's
// information text at start-up and DUMP.ini while the program runs.
#include "app/IniFile.h"
#include "app/ProgramCrashReport.h"
#include "app/ProgramFolder.h"
#include "ui/MainWnd.h"

namespace {

std::string DumpIniPath() { return GetProgramFolder() + "/DUMP.ini"; }

}  // namespace

void CMainWnd::SetupCrashHandler() {
  const UserConfigValues config = TheUserConfig().Get();
  InstallProgramCrashHandler(config.userId, config.outResolution);
}

void CMainWnd::WriteDumpIni() {
  const UserConfigValues config = TheUserConfig().Get();
  IniWriteStrings(DumpIniPath(), "DUMP",
                  {{"Resolution", config.outResolution},
                   // An offline login does not save its account as USERID.
                   {"UserID", AccountInUse(config)},
                   {"ADUin", config.accountNumber},
                   {"DumpStatus", "NoPub"}},
                  0644);
}

void CMainWnd::SetDumpStatus(const char* status) { IniWriteString(DumpIniPath(), "DUMP", "DumpStatus", status); }
