// RtmpPublishManager: the object behind IRtmpPublishManager, the one thing a
// host program drives. It keeps the publish parameters and target, the device
// lists and choices, answers the JSON command channel and reports upward
// through the host's notify object. It owns every component it creates
// through its factory table and frees them when released.
//
// Created by CreateRtmpPublishManager (exports.cpp) with the real factories,
// or by tests through CreateRtmpPublishManagerWith with doubles.
#pragma once
#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <string>

#include "strivon/DeviceCatalog.h"
#include "strivon/IRtmpPublishManager.h"
#include "strivon/ManagerFactories.h"
#include "strivon/ManagerNotifier.h"
#include "strivon/PublishParams.h"
#include "strivon/PublishUrl.h"

namespace Json {
class Value;
}

// Null only when the manager could not be made (memory exhausted or a
// factory failing by exception).
IRtmpPublishManager* CreateRtmpPublishManagerWith(IRtmpPublishManagerNotify* notify, ManagerFactories factories);

class RtmpPublishManager final : public IRtmpPublishManager, public IServerScheduleNotify {
 public:
  RtmpPublishManager(IRtmpPublishManagerNotify* notify, ManagerFactories factories);
  RtmpPublishManager(const RtmpPublishManager&) = delete;
  RtmpPublishManager& operator=(const RtmpPublishManager&) = delete;

  // IRtmpPublishManager, in its slot order.
  bool SendCmd(const char* json, char** reply) override;
  void SetVideoSource(int kind, int camId, const char* filePath, int framerate, int keyInterval) override;
  bool StartPublish() override;
  bool StopPublish() override;
  void changeToScreen(int framerate, int keyInterval) override;
  void setCaptrueArea(bool bFullScreen, int width, int height, int x, int y) override;
  void ShowCaptureFrame(int show) override;
  bool IsCaptureFrameShown() override;
  void ScreenCaptureAuxA() override;
  void ScreenCaptureAuxB() override;
  void SetCaptureWindow(HWND window) override;
  void changeToVexaFile(const char* path, int framerate, int keyInterval) override;
  bool PlayFile() override;
  bool StopFile() override;
  bool PauseFile() override;
  bool SeekFile(int a, int b) override;
  bool SetFilePara(int a, int b) override;
  int64_t GetFilePosition() override;
  void SetFileVolume(int volume) override;
  void changeToCamera(int camId, int framerate, int keyInterval) override;
  void EnableNoiseSuppression(bool on) override;
  int SetNoiseSuppressionPara(int level, int mode) override;
  int SetAgcLevel(int level) override;
  void SetVideoBitrate(int bitrate, int vbrQuality) override;
  int SetLogo(const char* path, int a, int b, int c, int d) override;
  void release() override;
  int GetCamList(const wchar_t*** names, unsigned* count) override;
  int GetMicList(const wchar_t*** names, unsigned* count) override;
  int SetCam(int index) override;
  int SetMic(int index) override;
  int SetStereoMix(bool stereoMix) override;
  void SetPublishAudioPara(int samplerate, int channels, int bitpersample, int bitrate, int volum,
                           bool bMute) override;
  int SetPublishVideoPara(int width, int height, int framerate, int bitrate, HWND display,
                          int keyInterval) override;
  void SetPublishUrl(const char* url, const char* app, const char* stream) override;
  void SetPublishVolume(int volum, bool bMute) override;
  void SetBackgroundVolume(int volum, bool bMute) override;
  bool GetInstalledPlayers(std::list<std::string>* players) override;
  bool SelectPlayerName(const char* name) override;
  void EnableHookPlayer(bool on) override;
  void SetHookVolume(int volume) override;
  void SetHookFlag(bool flag) override;
  void ClearHookBuffer() override;
  void SetUserID(const char* id) override;
  void SetRecordFilePath(const char* path) override;
  void EnableRecordFile(bool on) override;
  bool EnablePreviewRender(bool on) override;
  void SetSYNBufTime(int dwDatalenOffset, int dwMaxTimestampleInqueue, int dwTimeCheckSynbuf) override;
  int GetAudioPlayDevList(const wchar_t*** names, unsigned* count) override;
  int SetAudioPlayDev(int index) override;
  bool IsNonZero(int value) override;
  bool SetPublishUrlParts(const char* proto, const char* hostApp, const char* stream) override;
  bool ReservedFalse() override;
  void ReservedNoop(int a, int b) override;

  // IServerScheduleNotify: scheduling runs synchronously, so an
  // asynchronous answer is only dropped.
  void OnSchedule(ScheduleResult result, bool ok) override;

  // The JSON channel behind SendCmd. False for a malformed request (the
  // reply then carries code 1 and the reason).
  bool ParseCmd(const std::string& request, std::string* reply);

  // Encoder settings stored by the JSON channel.
  void SetVBRQuality(int quality);
  void SetBframeCount(int count);
  void Set_rf_constant(float rf_constant, float rf_constant_max);

  // Puts encoder (may be null) in place of the current one, which is
  // released; used by the connect step, which makes one per attempt.
  void ReplaceEncoder(IEncoderMediaThenSendThroughRtmp* encoder);

  // A device name as the captures take it (UTF-8); "" when it has no text.
  static std::string WideToAnsiString(const std::wstring& name);

  // Snapshots for the publish run (and tests).
  AudioParams Audio() const;
  VideoParams Video() const;
  EncoderSettings Encoder() const;
  PublishTarget Target() const;
  std::string UserId() const;
  std::string RecordFilePath() const;
  DeviceSelection Selected(DeviceKind kind) const { return m_devices.Selected(kind); }
  int StereoMixChoice() const { return m_stereoMix.load(); }
  bool ShowSpectrum() const { return m_showSpectrum.load(); }
  bool FollowCursor() const { return m_followCursor.load(); }
  bool FullScreen() const { return m_fullScreen.load(); }

 private:
  // Only release() destroys the manager.
  ~RtmpPublishManager();

  using CommandHandler = bool (RtmpPublishManager::*)(const Json::Value& params, Json::Value* data,
                                                      std::string* reason);
  void BuildCommandTable();
  void LoadDeviceLists();
  int ListDevices(DeviceKind kind, const char* leakNotice, const wchar_t*** names, unsigned* count);

  bool CmdGetSdkVersion(const Json::Value& params, Json::Value* data, std::string* reason);
  bool CmdSetShowSpectrum(const Json::Value& params, Json::Value* data, std::string* reason);
  bool CmdSetAutoCtrlBitrate(const Json::Value& params, Json::Value* data, std::string* reason);
  bool CmdGetPlayerList(const Json::Value& params, Json::Value* data, std::string* reason);
  bool CmdScreenCaptureSettings(const Json::Value& params, Json::Value* data, std::string* reason);
  bool CmdSetCaptureArea(const Json::Value& params, Json::Value* data, std::string* reason);
  bool CmdSetVBRQuality(const Json::Value& params, Json::Value* data, std::string* reason);
  bool CmdSetBframeCount(const Json::Value& params, Json::Value* data, std::string* reason);
  bool CmdSetAbrQmin(const Json::Value& params, Json::Value* data, std::string* reason);
  bool CmdSetRfConstant(const Json::Value& params, Json::Value* data, std::string* reason);
  bool CmdChangeToVexaFile(const Json::Value& params, Json::Value* data, std::string* reason);

  const ManagerNotifier m_notifier;
  const ManagerFactories m_factories;
  std::map<std::string, CommandHandler> m_commands;

  // Parameters: written by the host thread, read by the run's threads.
  mutable std::mutex m_paramsLock;
  AudioParams m_audio;
  VideoParams m_video;
  EncoderSettings m_encoderSettings;
  PublishTarget m_target;
  std::string m_userId;
  std::string m_recordPath;
  // Kept by SetPublishUrlParts; nothing reads them.
  std::string m_urlPartsProto, m_urlPartsHostApp, m_urlPartsKey, m_urlPartsStream;

  std::atomic<bool> m_showSpectrum{true};
  std::atomic<bool> m_followCursor{false};
  std::atomic<bool> m_fullScreen{false};

  DeviceCatalog m_devices;
  IDeviceList* m_deviceList = nullptr;
  std::atomic<int> m_stereoMix{0};  // +1 stereo mix, -1 microphone, 0 not chosen

  // Components a publish run creates; each behind the lock that guards its
  // pointer, so host calls never reach an object another thread released.
  std::mutex m_audioCaptureLock;
  IAudioCapture* m_audioCapture = nullptr;
  std::mutex m_screenCaptureLock;
  IScreenCapture* m_screenCapture = nullptr;
  std::mutex m_encoderLock;
  IEncoderMediaThenSendThroughRtmp* m_encoder = nullptr;
};
