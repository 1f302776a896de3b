#include "app/UserConfig.h"

#include <unistd.h>
#include <utility>

#include "app/FileAccess.h"

std::string AccountInUse(const UserConfigValues& values) {
  return values.loginAccount.empty() ? values.userId : values.loginAccount;
}

std::vector<std::string> DefaultOutputSizes() {
  return {"320*240", "480*270", "480*360", "640*360", "640*480", "720*480",
          "720*540", "960*540", "960*720", "1280*720", "1280*960", "1920*1080"};
}

std::vector<std::string> CaptureSizesFor(int screenWidth, int screenHeight) {
  std::vector<std::string> sizes = {"320x240", "480x360", "640x360", "640x480", "960x540", "960x720"};
  if (screenWidth > 1280 && screenHeight > 720) {
    sizes.push_back("1280x720");
    // A square entry: both sides 1920, offered only on screens larger than that both ways.
    if (screenWidth > 1920 && screenHeight > 1920) sizes.push_back("1920x1920");
  }
  sizes.push_back("全屏");
  return sizes;
}

CUserConfig::CUserConfig(const std::string& programFolder, int screenWidth, int screenHeight) {
  values_.recordPath = programFolder + "/video";
  // A folder that cannot be created is not an error here: recording reports it later.
  MakeDirectories(values_.recordPath);
  values_.resolutionList = DefaultOutputSizes();
  values_.captureSizeList = CaptureSizesFor(screenWidth, screenHeight);
}

UserConfigValues CUserConfig::Get() const {
  std::lock_guard<std::mutex> hold(lock_);
  return values_;
}

void CUserConfig::Set(const UserConfigValues& values) {
  std::lock_guard<std::mutex> hold(lock_);
  values_ = values;
}

void CUserConfig::SetCredentials(const std::string& userId, const std::string& password, const std::string& roomId) {
  std::lock_guard<std::mutex> hold(lock_);
  values_.userId = userId;
  values_.userPwd = password;
  values_.roomId = roomId;
}

void CUserConfig::SetAccountNumber(const std::string& number) {
  std::lock_guard<std::mutex> hold(lock_);
  values_.accountNumber = number;
}

void CUserConfig::SetLoginAccount(const std::string& account) {
  std::lock_guard<std::mutex> hold(lock_);
  values_.loginAccount = account;
}

std::string CUserConfig::GetUserId() const {
  std::lock_guard<std::mutex> hold(lock_);
  return values_.userId;
}

std::string CUserConfig::GetUserPwd() const {
  std::lock_guard<std::mutex> hold(lock_);
  return values_.userPwd;
}

std::string CUserConfig::GetRecordPath() const {
  std::lock_guard<std::mutex> hold(lock_);
  return values_.recordPath;
}

std::string CUserConfig::GetOutResolution() const {
  std::lock_guard<std::mutex> hold(lock_);
  return values_.outResolution;
}

void CUserConfig::PruneFileList() {
  std::lock_guard<std::mutex> hold(lock_);
  PruneFileListLocked();
}

void CUserConfig::PruneFileListLocked() {
  std::vector<std::string> kept;
  for (std::string& path : values_.fileList)
    if (!path.empty() && ::access(path.c_str(), F_OK) == 0) kept.push_back(std::move(path));
  values_.fileList = std::move(kept);
}
