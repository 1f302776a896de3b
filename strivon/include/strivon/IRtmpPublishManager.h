// The API of libStrivon: the publish manager a host program creates with
// CreateRtmpPublishManager, configures, starts and stops. Every operation is
// called on the host's thread. The object is destroyed only by release(),
// which must not be called from inside an IRtmpPublishManagerNotify callback.
#pragma once
#include <cstdint>
#include <list>
#include <string>

#include "strivon/IRtmpPublishManagerNotify.h"
#include "strivon/SdkBuild.h"
#include "strivon/StatusWords.h"
#include "strivon/WindowHandle.h"

// Size of the reply buffer a host passes to SendCmd. At most
// kSendCmdReplyBufferSize - 1 bytes of reply text are written, always
// followed by a terminating zero.
inline constexpr unsigned kSendCmdReplyBufferSize = 1024;

class IRtmpPublishManager {
 public:
  // json: {"cmd": word, "params": object}. *reply must point to a buffer of
  // kSendCmdReplyBufferSize bytes, which receives {"code": 0|1, "data": ...}.
  // False only when an argument or *reply is null.
  virtual bool SendCmd(const char* json, char** reply) = 0;
  // kind: 1 screen, 2 media file, 3 camera.
  virtual void SetVideoSource(int kind, int camId, const char* filePath, int framerate, int keyInterval) = 0;
  virtual bool StartPublish() = 0;
  virtual bool StopPublish() = 0;
  virtual void changeToScreen(int framerate, int keyInterval) = 0;
#if STRIVON_SDK_PICTURE_IN_PICTURE
  // Picture in picture: the screen and camera camId on one picture, the
  // other one small in the bottom-right corner. screenMain above 0: the
  // screen fills the picture; 0: the camera does.
  virtual void changeToCameraIn(int camId, int framerate, int keyInterval, int screenMain) = 0;
#endif
  virtual void setCaptrueArea(bool bFullScreen, int width, int height, int x, int y) = 0;
  virtual void ShowCaptureFrame(int show) = 0;
  virtual bool IsCaptureFrameShown() = 0;
  virtual void ScreenCaptureAuxA() = 0;
  virtual void ScreenCaptureAuxB() = 0;
  virtual void SetCaptureWindow(HWND window) = 0;
  virtual void changeToVexaFile(const char* path, int framerate, int keyInterval) = 0;
  virtual bool PlayFile() = 0;
  virtual bool StopFile() = 0;
  virtual bool PauseFile() = 0;
  virtual bool SeekFile(int a, int b) = 0;
  virtual bool SetFilePara(int a, int b) = 0;
  // -1 without a media-file source.
  virtual int64_t GetFilePosition() = 0;
  virtual void SetFileVolume(int volume) = 0;
  virtual void changeToCamera(int camId, int framerate, int keyInterval) = 0;
  virtual void EnableNoiseSuppression(bool on) = 0;
  virtual int SetNoiseSuppressionPara(int level, int mode) = 0;
  virtual int SetAgcLevel(int level) = 0;
  // Reaches only an encoder of a running connection; otherwise ignored.
  virtual void SetVideoBitrate(int bitrate, int vbrQuality) = 0;
  // 0 when the logo is drawn from now on. A path that is not a regular file
  // (a FIFO, a device, a folder) is refused with -1, as is one with a quote.
  virtual int SetLogo(const char* path, int a, int b, int c, int d) = 0;
  virtual void release() = 0;
  // The name lists belong to the manager and live as long as it does; pass a
  // pointer whose target is null, get the array and its count, free nothing.
  // 0 on success; -1 for null arguments.
  virtual int GetCamList(const wchar_t*** names, unsigned* count) = 0;
  virtual int GetMicList(const wchar_t*** names, unsigned* count) = 0;
  // Select by position in the list; -1 for a position outside it.
  virtual int SetCam(int index) = 0;
  virtual int SetMic(int index) = 0;
  virtual int SetStereoMix(bool stereoMix) = 0;
  virtual void SetPublishAudioPara(int samplerate, int channels, int bitpersample, int bitrate, int volum,
                                   bool bMute) = 0;
  // Returns the picture's byte count width x height x 3 of the size kept.
  // While a run is started (StartPublish until StopPublish) the size stays
  // as the run opened it and a new one is refused (logged); the other
  // values are taken. Set the size before StartPublish.
  virtual int SetPublishVideoPara(int width, int height, int framerate, int bitrate, HWND display,
                                  int keyInterval) = 0;
  // url "rtmp://host[:port]" publishes directly; "host[:port]",
  // "http://", "httpRtmp://" and "httpRtmpUDP://" go through the scheduling
  // service. app may carry the publish key after "?".
  virtual void SetPublishUrl(const char* url, const char* app, const char* stream) = 0;
  virtual void SetPublishVolume(int volum, bool bMute) = 0;
  virtual void SetBackgroundVolume(int volum, bool bMute) = 0;
  virtual bool GetInstalledPlayers(std::list<std::string>* players) = 0;
  virtual bool SelectPlayerName(const char* name) = 0;
  virtual void EnableHookPlayer(bool on) = 0;
  virtual void SetHookVolume(int volume) = 0;
  virtual void SetHookFlag(bool flag) = 0;
  virtual void ClearHookBuffer() = 0;
  virtual void SetUserID(const char* id) = 0;
  virtual void SetRecordFilePath(const char* path) = 0;
  virtual void EnableRecordFile(bool on) = 0;
  virtual bool EnablePreviewRender(bool on) = 0;
  virtual void SetSYNBufTime(int dwDatalenOffset, int dwMaxTimestampleInqueue, int dwTimeCheckSynbuf) = 0;
  virtual int GetAudioPlayDevList(const wchar_t*** names, unsigned* count) = 0;
  virtual int SetAudioPlayDev(int index) = 0;
  virtual bool IsNonZero(int value) = 0;
  virtual bool SetPublishUrlParts(const char* proto, const char* hostApp, const char* stream) = 0;
  virtual bool ReservedFalse() = 0;
  virtual void ReservedNoop(int a, int b) = 0;

 protected:
  ~IRtmpPublishManager() = default;
};

// notify may be null (then nothing is reported) and must outlive the manager.
extern "C" __attribute__((visibility("default"))) IRtmpPublishManager* CreateRtmpPublishManager(
    IRtmpPublishManagerNotify* notify);
