// A publish manager that only records the calls it gets, as "name(args)"
// lines, and answers with fixed device lists. Thread-safe, so callbacks on
// other threads may call into it too.
#pragma once
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "strivon/IRtmpPublishManager.h"

class FakePublishManager : public IRtmpPublishManager {
 public:
  std::vector<std::string> Calls() const {
    std::lock_guard<std::mutex> hold(lock_);
    return calls_;
  }
  void ClearCalls() {
    std::lock_guard<std::mutex> hold(lock_);
    calls_.clear();
  }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const auto& call : Calls()) n += call.rfind(prefix, 0) == 0;
    return n;
  }
  bool captureFrameShown = false;

  bool SendCmd(const char* json, char** reply) override {
    commands.push_back(json);
    replyBufferFilledWithZero = true;
    for (unsigned i = 0; i < kSendCmdReplyBufferSize; ++i) replyBufferFilledWithZero &= (*reply)[i] == 0;
    return Note("SendCmd");
  }
  std::vector<std::string> commands;
  bool replyBufferFilledWithZero = false;

  void SetVideoSource(int a, int b, const char*, int c, int d) override { Note("SetVideoSource", a, b, c, d); }
  bool StartPublish() override { return Note("StartPublish"); }
  bool StopPublish() override { return Note("StopPublish"); }
  void changeToScreen(int a, int b) override { Note("changeToScreen", a, b); }
#if STRIVON_SDK_PICTURE_IN_PICTURE
  void changeToCameraIn(int id, int a, int b, int main) override { Note("changeToCameraIn", id, a, b, main); }
#endif
  void setCaptrueArea(bool f, int w, int h, int x, int y) override { Note("setCaptrueArea", f, w, h, x, y); }
  void ShowCaptureFrame(int show) override { Note("ShowCaptureFrame", show); }
  bool IsCaptureFrameShown() override { return captureFrameShown; }
  void ScreenCaptureAuxA() override { Note("ScreenCaptureAuxA"); }
  void ScreenCaptureAuxB() override { Note("ScreenCaptureAuxB"); }
  void SetCaptureWindow(HWND) override { Note("SetCaptureWindow"); }
  void changeToVexaFile(const char* path, int a, int b) override {
    Note("changeToVexaFile", path, a, b);
    // A file it cannot open is told, as the library tells it, during the call.
    if (notify && path && refuseFiles) notify->OnStatus(2, (std::string("cannot open ") + path + ": no picture in it").c_str());
  }
  // Set by a test: where changeToVexaFile reports, and whether it refuses.
  IRtmpPublishManagerNotify* notify = nullptr;
  bool refuseFiles = false;
  bool PlayFile() override { return Note("PlayFile"); }
  bool StopFile() override { return Note("StopFile"); }
  bool PauseFile() override { return Note("PauseFile"); }
  bool SeekFile(int, int) override { return Note("SeekFile"); }
  bool SetFilePara(int, int) override { return Note("SetFilePara"); }
  int64_t GetFilePosition() override { return -1; }
  void SetFileVolume(int) override { Note("SetFileVolume"); }
  void changeToCamera(int id, int a, int b) override { Note("changeToCamera", id, a, b); }
  void EnableNoiseSuppression(bool on) override { Note("EnableNoiseSuppression", on); }
  int SetNoiseSuppressionPara(int a, int b) override { return Note("SetNoiseSuppressionPara", a, b) - 1; }
  int SetAgcLevel(int) override { return 0; }
  void SetVideoBitrate(int bitrate, int quality) override { Note("SetVideoBitrate", bitrate, quality); }
  int SetLogo(const char*, int, int, int, int) override { return 0; }
  void release() override { Note("release"); }
  int GetCamList(const wchar_t*** names, unsigned* count) override {
    *names = cams_;
    *count = 1;
    return 0;
  }
  int GetMicList(const wchar_t*** names, unsigned* count) override {
    *names = mics_;
    *count = 2;
    return 0;
  }
  int SetCam(int index) override { return Note("SetCam", index) - 1; }
  int SetMic(int index) override { return Note("SetMic", index) - 1; }
  int SetStereoMix(bool) override { return 0; }
  void SetPublishAudioPara(int a, int b, int c, int d, int e, bool f) override {
    Note("SetPublishAudioPara", a, b, c, d, e, f);
  }
  int SetPublishVideoPara(int w, int h, int fps, int bitrate, HWND display, int key) override {
    return Note("SetPublishVideoPara", w, h, fps, bitrate, display, key) - 1;
  }
  void SetPublishUrl(const char* url, const char* app, const char* stream) override {
    Note("SetPublishUrl", url, app, stream);
  }
  void SetPublishVolume(int, bool) override {}
  void SetBackgroundVolume(int, bool) override {}
  bool GetInstalledPlayers(std::list<std::string>*) override { return true; }
  bool SelectPlayerName(const char*) override { return false; }
  void EnableHookPlayer(bool) override {}
  void SetHookVolume(int) override {}
  void SetHookFlag(bool) override {}
  void ClearHookBuffer() override {}
  void SetUserID(const char* id) override { Note("SetUserID", id); }
  void SetRecordFilePath(const char*) override {}
  void EnableRecordFile(bool) override {}
  bool EnablePreviewRender(bool) override { return true; }
  void SetSYNBufTime(int, int, int) override {}
  int GetAudioPlayDevList(const wchar_t***, unsigned*) override { return -1; }
  int SetAudioPlayDev(int) override { return -1; }
  bool IsNonZero(int value) override { return value != 0; }
  bool SetPublishUrlParts(const char*, const char*, const char*) override { return true; }
  bool ReservedFalse() override { return false; }
  void ReservedNoop(int, int) override {}

 private:
  template <typename... Args>
  bool Note(const char* name, const Args&... args) {
    std::ostringstream line;
    line << name << "(";
    [[maybe_unused]] const char* separator = "";
    ((line << separator << args, separator = ","), ...);
    line << ")";
    std::lock_guard<std::mutex> hold(lock_);
    calls_.push_back(line.str());
    return true;
  }

  mutable std::mutex lock_;
  std::vector<std::string> calls_;
  const wchar_t* mics_[2] = {L"Mic A", L"Mic B"};
  const wchar_t* cams_[1] = {L"Cam A"};
};
