// TEMPORARY: the few members of the program-wide configuration objects that
// the library proxy's program wiring reads, so its test links before the real
// configuration sources are in this tree. tests/app/CMakeLists.txt drops this
// file on its own once app/ builds UserConfig.cpp; delete it then.
#include "app/ProgramFolder.h"
#include "app/PublishParams.h"
#include "app/UserConfig.h"

namespace {
std::string& Folder() {
  static std::string folder = "/tmp";
  return folder;
}
}  // namespace

void SetProgramFolderForTesting(const std::string& folder) { Folder() = folder; }

PublishParamValues CPublishParams::Get() const {
  std::lock_guard<std::mutex> hold(lock_);
  return values_;
}
void CPublishParams::Set(const PublishParamValues& values) {
  std::lock_guard<std::mutex> hold(lock_);
  values_ = values;
}
// The test keeps no cached parameters, as for an account never logged in.
bool CPublishParams::LoadIni(const std::string&) { return false; }
CPublishParams& ThePublishParams() {
  static CPublishParams params;
  return params;
}
std::string UserIniPath(const std::string& account) { return Folder() + "/usr/" + account + ".ini"; }

CUserConfig::CUserConfig(const std::string&, int, int) {}
UserConfigValues CUserConfig::Get() const {
  std::lock_guard<std::mutex> hold(lock_);
  return values_;
}
void CUserConfig::Set(const UserConfigValues& values) {
  std::lock_guard<std::mutex> hold(lock_);
  values_ = values;
}
CUserConfig& TheUserConfig() {
  static CUserConfig config(Folder(), 1366, 768);
  return config;
}
