// Starting a publish run, switching the video source and the settings the
// proxy takes from the publish parameters and the user configuration.
#include <algorithm>
#include <climits>
#include <cstdint>

#include <json/value.h>

#include "app/ProxyJsonCommand.h"
#include "app/ScreenCaptureProxy.h"
#include "app/StringConvert.h"

namespace {

// The library reads a VBR quality of this much or more as a request for a
// variable bit rate on source switches; a publish start switches at 1.
constexpr int kSwitchVbrThreshold = 5;
constexpr int kStartVbrThreshold = 1;

// The key-frame interval of a publish start, in frames per frame rate.
constexpr int kStartKeyIntervalSeconds = 3;

// The noise suppressor's mode the program always asks for.
constexpr int kNoiseSuppressionMode = 3;

// The test account's room: publishing to it is refused.
bool IsTestAccount(const ProxyPublishSettings& settings) {
  return settings.application == "demo" && settings.stream == "108";
}

void SetSwitchBitrate(IRtmpPublishManager* manager, int bitrate, int quality) {
  if (quality < kSwitchVbrThreshold)
    manager->SetVideoBitrate(bitrate, 0);
  else
    manager->SetVideoBitrate(0, quality);
}

}  // namespace

PublishParamValues CScreenCaptureProxy::PublishParams() const {
  return m_wiring.publishParams ? m_wiring.publishParams() : PublishParamValues{};
}

UserConfigValues CScreenCaptureProxy::UserConfig() const {
  return m_wiring.userConfig ? m_wiring.userConfig() : UserConfigValues{};
}

void CScreenCaptureProxy::RefreshLoginParams() { ApplyLoginParams(PublishParams(), &m_settings); }

void CScreenCaptureProxy::LoadSettings() { ApplyPublishParams(PublishParams(), &m_settings); }

void CScreenCaptureProxy::SetOutputSize(int width, int height) {
  // A running broadcast keeps its size; the next start takes the new one.
  if (!m_connected) {
    m_settings.outputWidth = width;
    m_settings.outputHeight = height;
  }
  m_settings.pendingWidth = width;
  m_settings.pendingHeight = height;
}

int CScreenCaptureProxy::StartPublish() {
  if (IsTestAccount(m_settings)) return -1;
  RefreshLoginParams();
  m_settings.desktopKeyInterval =
      static_cast<int>(std::clamp<int64_t>(int64_t{m_settings.desktopFrameRate} * kStartKeyIntervalSeconds, INT_MIN,
                                           INT_MAX));
  if (!m_manager.load()) {
    CreateManager();
    RefreshDeviceLists();
  }
  IRtmpPublishManager* manager = m_manager;
  if (!manager) return -1;
  if (m_cameraIndex >= 0) manager->SetCam(m_cameraIndex);
  if (m_micIndex >= 0) manager->SetMic(m_micIndex);
  m_settings.outputWidth = m_settings.pendingWidth;
  m_settings.outputHeight = m_settings.pendingHeight;

  const UserConfigValues user = UserConfig();
  // The account that logged in this run, online or from its cache: USERID
  // names the last online login, which may be another account's.
  if (m_wiring.reloadAccountParams && !user.loginAccount.empty()) m_wiring.reloadAccountParams(user.loginAccount);
  ProxyReplyBuffer reply;
  Json::Value abr(Json::objectValue);
  abr["qMin"] = 0;
  SendJsonCommand(manager, &reply, "SetAbrQmin", abr);
  m_settings.volume = user.volume;
  manager->EnableNoiseSuppression(user.antiNoise);
  manager->SetNoiseSuppressionPara(user.volMagnify, kNoiseSuppressionMode);

  const ProxyPublishSettings& s = m_settings;
  manager->SetPublishAudioPara(s.sampleRate, s.channels, s.bitsPerSample, s.audioBitrate, s.volume, s.mute);
  const int bitrate = s.desktopQuality < kStartVbrThreshold ? s.desktopBitrate : 0;
  manager->SetPublishVideoPara(s.outputWidth, s.outputHeight, s.desktopFrameRate, bitrate, m_display,
                               s.desktopKeyInterval);
  manager->SetPublishUrl(("rtmp://" + s.publishHost).c_str(), s.application.c_str(), s.stream.c_str());
  manager->SetUserID(s.userId.c_str());
  manager->StartPublish();
  return 0;
}

int CScreenCaptureProxy::UseDesktopSource() {
  IRtmpPublishManager* manager = m_manager;
  if (!manager) return 0;
  if (m_connected) manager->changeToScreen(m_settings.desktopFrameRate, m_settings.desktopKeyInterval);
  SetSwitchBitrate(manager, m_settings.desktopBitrate, m_settings.desktopQuality);
  m_sourceKind = 1;
  return 1;
}

int CScreenCaptureProxy::UseCameraSource(int cameraIndex) {
  IRtmpPublishManager* manager = m_manager;
  if (!manager) return 0;
  if (m_connected)
    manager->changeToCamera(cameraIndex, m_settings.cameraFrameRate, m_settings.cameraKeyInterval);
  SetSwitchBitrate(manager, m_settings.cameraBitrate, m_settings.cameraQuality);
  m_sourceKind = 3;
  return 1;
}

int CScreenCaptureProxy::UseFileSource(const std::wstring& path) {
  IRtmpPublishManager* manager = m_manager;
  if (!manager) return 0;
  const std::string file = WideToMultiByte(path);
  if (m_connected) {
    {
      std::lock_guard<std::mutex> hold(m_openingLock);
      m_openingFile = file;
      m_opening = true;
      m_openRefused = false;
    }
    manager->changeToVexaFile(file.c_str(), m_settings.fileFrameRate, m_settings.fileKeyInterval);
    std::lock_guard<std::mutex> hold(m_openingLock);
    m_opening = false;
    // The file that plays stays the one named.
    if (m_openRefused) return 0;
  }
  m_mediaFile = file;
  SetSwitchBitrate(manager, m_settings.fileBitrate, m_settings.fileQuality);
  m_sourceKind = 2;
  return 1;
}
