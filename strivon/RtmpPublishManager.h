// RtmpPublishManager: the object behind IRtmpPublishManager, the one thing a
// host program drives. It keeps the publish parameters and target, the device
// lists and choices, answers the JSON command channel and reports upward
// through the host's notify object. It owns every component it creates
// through its factory table and frees them when released.
//
// A publish run is a worker thread (this object's CTVThread part) that runs
// every blocking step as a queued command (start, schedule, connect, stop)
// and pulls screen pictures, plus a send thread that hands captured sound and
// pictures to the encoder in time-stamp order. The run's pieces live in files
// of their own: RtmpPublishManagerRun (start, stop, worker, send loop),
// RtmpPublishManagerConnect (schedule, connect, encoder events),
// RtmpPublishManagerAudio (sound path) and RtmpPublishManagerVideo (sources).
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
#include <thread>
#include <vector>

#include "capture/IVideoCapture.h"
#include "capture/IVideoShowVMR.h"
#include "common/TVThread.h"
#include "encodemediathensendthroughrtmp/PcmRingBuffer.h"
#include "strivon/CommandQueue.h"
#include "encodemediathensendthroughrtmp/AcmConverter.h"
#include "platform/wexmoor/ICaptureNotfy.h"
#include "strivon/IHookPlayerNotify.h"
#include "strivon/LogoOverlay.h"
#include "strivon/NoiseSuppressor.h"
#include "strivon/RtmpRecord.h"
#include "strivon/ScreenPullSchedule.h"
#include "strivon/SendStatistics.h"
#include "strivon/SoundProcessing.h"
#include "strivon/MediaTimeline.h"

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

class RtmpPublishManager final : public IRtmpPublishManager,
                                 public IServerScheduleNotify,
                                 public IEncoderMediaThenSendThroughRtmpNotify,
                                 public IAudioCaptureNotify,
                                 public IVideoCaptureNotify,
                                 public IVexaCaptureNotify,
                                 public IADFilterNotify,
                                 public ICaptureNotfy,
                                 public IHookPlayerNotify,
                                 private CTVThread {
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
#if STRIVON_SDK_PICTURE_IN_PICTURE
  void changeToCameraIn(int camId, int framerate, int keyInterval, int screenMain) override;
#endif
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

  // IEncoderMediaThenSendThroughRtmpNotify (encoder and transport threads).
  void OnEncoderMediaThenSendThroughRtmpDead() override;
  void OnEncoderMediaThenSendThroughRtmpConnected() override;
  void OnEncoderMediaThenSendThroughRtmpPublishFaild() override;
  void OnEncoderMediaThenSendThroughRtmpStatus(MediaInfo* info) override;
  void OnEncoderMediaThenSendThroughRtmpStatistics(MediaInfo* info) override;
  void OnEncoderMediaThenSendThroughRtmpMediaData(const char* body, int size, double timestampMs, int kind) override;
  bool OnEncoderMediaThenSendThroughRtmpReport(const char* json) override;

  // IAudioCaptureNotify (microphone streaming thread).
  void OnAudioData(int captureId, const BYTE* pcm, int length, int64_t startMs, int64_t stopMs) override;
  void OnHDAudioCapNotify(std::string text, int kind) override;

  // IVideoCaptureNotify (camera streaming thread; the worker for the screen,
  // with kScreenCaptureId and the picture's slot time as stopMs).
  static constexpr int kScreenCaptureId = 1;
  bool OnVideoData(int captureId, BYTE* rgb, int len, int64_t startMs, int64_t stopMs) override;
  bool OnVideoRawData(int captureId, BYTE* rgb, int len, int64_t startMs, int64_t stopMs) override;
  bool OnHDVideoCapNotify(std::string text, int kind) override;

  // IVexaCaptureNotify (the file source's decode thread).
  void OnVexaCapturePlayComplete() override;
  void OnVexaCaptureSeekDone(int64_t positionMs) override;
  void OnVexaCaptureVideo(int id, BYTE* data, int byteCount, uint32_t timestampMs, int frameIndex) override;
  void OnVexaCaptureAudio(int id, BYTE* pcm, int byteCount, uint32_t timestampMs, int sampleFrames) override;
  void OnVexaCaptureStatus(const wchar_t* text) override;

  // IADFilterNotify.
  int OnADFilterMessage(const char* text) override;

  // ICaptureNotfy (the desktop-sound device's thread).
  void PrintText(const char* text) override;
  void OnCaptureAudio(const WAVEFORMATEX* format, BYTE* data, int* byteCount, uint32_t timestampMs) override;
  int OnGetAudioFormat(WAVEFORMATEX* format) override;
  void OnStop() override;

  // IHookPlayerNotify (a player hook's thread).
  void OnHookAudioData(const WAVEFORMATEX* format, BYTE* data, int byteCount) override;
  void OnHookStatus(std::string text) override;

  // Passed on to the host's OnReservedInt; nothing in the library calls it.
  void ForwardReservedInt(int value);

  // The JSON channel behind SendCmd. False for a malformed request (the
  // reply then carries code 1 and the reason).
  bool ParseCmd(const std::string& request, std::string* reply);

  // Encoder settings stored by the JSON channel. A B-frame count outside
  // 0..16 is refused (false) and the stored one stays.
  void SetVBRQuality(int quality);
  bool SetBframeCount(int count);
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
  // The chosen camera and its narrow name, logged under function; false,
  // with the "Cam ID wrong" status, when the choice names no camera.
  bool ChosenCamera(const char* function, DeviceSelection* cam, std::string* name);
  int StereoMixChoice() const { return m_stereoMix.load(); }
  bool ShowSpectrum() const { return m_showSpectrum.load(); }
  bool FollowCursor() const { return m_followCursor.load(); }
  bool FullScreen() const { return m_fullScreen.load(); }

 private:
  // Only release() destroys the manager.
  ~RtmpPublishManager() override;

  // The run (RtmpPublishManagerRun.cpp).
  void Run() override;  // the worker: ThreadProcMain
  void ThreadProcMain();
  void DispatchCmd(PublishCmd& cmd);
  void StartPublishAsyn();
  void StopPublishAsyn();
  void PullScreenFrame();
  void SendLoop();
  void SendVideoFrame(const PublishCmd& unit);
  void SendAudioUnit(const PublishCmd& unit);
  void ReleasePreview();
  // Undoes a StartPublish whose threads could not all be started.
  void AbandonStart();

  // Scheduling and connecting (RtmpPublishManagerConnect.cpp).
  void StartSchedule();
  void ConnectSvr();
  void OnConnectionLost(const std::string& text);
  void KeepSequenceHeader(const char* body, int size, int kind);
  // Puts next in place of the current encoder and hands the old one back,
  // to be released outside every lock (its release reports a close).
  IEncoderMediaThenSendThroughRtmp* SwapEncoder(IEncoderMediaThenSendThroughRtmp* next);
  void ReleaseSchedule();

  // Background sound and local recording (RtmpPublishManagerBackground.cpp).
  void StopBackgroundSound();
  void StartCapturePlayer();
  void StopCapturePlayer();
  void CloseRecording();
  // EnableRecordFile's part under the recording lock.
  void OpenOrCloseRecordFile(bool on);
  // Under m_recordLock: completes the file, reporting a failure.
  void CloseRecordFileLocked(const char* function);
  void StartRecordingTimeLine();
  void WriteRecording(const char* body, int size, double timestampMs, int kind);
  void WriteBackground(const WAVEFORMATEX* format, const BYTE* data, int byteCount);

  // Sound (RtmpPublishManagerAudio.cpp).
  void MixBackground(int16_t* block, size_t count);
  void CheckMute(const int16_t* pcm, unsigned bytes);

  // Sources (RtmpPublishManagerVideo.cpp).
  void StopSources();
  // Releases the microphone, camera, file and screen captures.
  void ReleaseSources();
  // The microphone capture for a device name (the factory's ok flag and
  // text as given); null when none could be made.
  IAudioCapture* MakeMicrophone(const std::string& name, int occurrence, int sameNameCount, bool* ok,
                                std::string* error);
  // Applies the stereo-mix choice to m_audioCapture, reads its format and
  // starts it; false when it does not start.
  bool SelectAndStartMicrophone();
  // The first recording input the system lists now ("" for none).
  std::string FirstMicrophoneNow();

  // Inputs that fail while live come back on their own
  // (RtmpPublishManagerRecovery.cpp): the worker, every pass.
  static constexpr uint32_t kReopenIntervalMs = 2000;
  void RecoverInputs();
  void ReopenMicrophone();
  void ReopenScreen();
  void ApplySourceRates(int framerate, int keyInterval);
  bool FitAndQueuePicture(const BYTE* rgb, int len, int srcWidth, int srcHeight, bool fromFile, uint32_t fileStamp);
  // The logo, then the queue: a picture of width x height in a buffer of
  // bufferBytes.
  bool QueuePicture(std::unique_ptr<uint8_t[]> picture, int width, int height, int bufferBytes, bool fromFile,
                    uint32_t timestamp);
#if STRIVON_SDK_PICTURE_IN_PICTURE
  // Screen frame plus the compositor's camera frame, one picture
  // (RtmpPublishManagerPictureInPicture.cpp).
  bool ComposeAndQueuePicture(const BYTE* rgb, int len, uint32_t timestamp);
#endif
  void OpenScreenCapture();
  // changeToVexaFile; false (reported) when the file cannot be played, and
  // then the current source stays.
  bool OpenFileSource(const std::string& filePath, int framerate, int keyInterval);

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
  std::atomic<int> m_autoBitrate{-1};  // "SetAutoCtrlBitrate": -1 never given, else 0 or 1
  std::atomic<bool> m_followCursor{false};
  std::atomic<bool> m_fullScreen{false};

  DeviceCatalog m_devices;
  IDeviceList* m_deviceList = nullptr;
  std::atomic<int> m_stereoMix{0};  // +1 stereo mix, -1 microphone, 0 not chosen

  // Components a publish run creates; each behind the lock that guards its
  // pointer, so host calls never reach an object another thread released.
  // The source lock also orders source switches against the run's start and
  // stop; no capture callback takes it, so captures may be stopped under it.
  std::recursive_mutex m_sourceLock;
  IAudioCapture* m_audioCapture = nullptr;
  IVideoCapture* m_videoCapture = nullptr;
  IVexaCapture* m_fileSource = nullptr;
  std::atomic<int> m_currentMode{1};  // 1 screen, 2 file, 3 camera (4 picture in picture)
  std::atomic<bool> m_fileRateLogPending{true};  // the next file picture logs the frame rate
  // Made with the manager when its factory table has one (the build with
  // picture in picture); its camera goes with the sources.
  IPictureCompositor* m_compositor = nullptr;
#if STRIVON_SDK_PICTURE_IN_PICTURE
  std::atomic<int> m_screenMain{1};  // 1 the screen fills the picture, 0 the camera does
#endif
  struct InitialSource {
    int kind = 1;
    int camId = 0;
    std::string path;
    int framerate = 0;
    int keyInterval = 0;
  } m_initialSource;
  std::atomic<int> m_captureChannels{2};
  // The capture lock: the screen capture object, one grab and its hand-over.
  std::mutex m_screenCaptureLock;
  IScreenCapture* m_screenCapture = nullptr;
  std::atomic<bool> m_screenMode{false};
  std::atomic<int> m_grabWidth{0};
  std::atomic<int> m_grabHeight{0};
  bool m_grabFailing = false;  // worker only
  bool m_screenLost = false;   // worker only: the display closed under the capture
  uint32_t m_screenRetryAt = 0;  // worker only
  // The microphone capture ended (sound server gone, device removed) and is
  // reopened every kReopenIntervalMs until sound comes again.
  std::atomic<bool> m_soundLost{false};
  // The run queued its scheduling (it goes live); false while its start
  // waits for a source that opens (the initial file could not be played).
  std::atomic<bool> m_runScheduled{false};
  std::atomic<bool> m_waitingForASource{false};
  // The first source that opens in a run waiting for one schedules it.
  void ScheduleIfWaitingForASource();
  std::atomic<uint32_t> m_soundRetryAt{0};
  bool m_soundReopenFailureLogged = false;  // worker only
  std::atomic<int> m_captureX{0}, m_captureY{0};
  std::mutex m_encoderLock;
  IEncoderMediaThenSendThroughRtmp* m_encoder = nullptr;
  std::mutex m_previewLock;
  IVideoShowVMR* m_preview = nullptr;
  IServerSchedule* m_schedule = nullptr;  // worker only

  // Run state.
  std::mutex m_runLock;  // StartPublish and StopPublish, one at a time
  std::atomic<bool> m_started{false};
  std::atomic<bool> m_publishing{false};
  std::atomic<bool> m_exit{false};
  std::atomic<bool> m_connected{false};
  std::atomic<bool> m_closed{false};
  std::thread m_sendThread;
  CommandQueue m_cmdQueue;
  MediaTimeline m_timeline;
  uint32_t m_lastPull = 0;            // worker only
  ScreenPullSchedule m_pullSchedule;  // worker only
  uint32_t m_lastPing = 0;            // worker only
  // Pictures too old to hand on since the last one that went (send thread).
  std::atomic<int> m_latePictures{0};

  // Connection (worker, plus the encoder's event threads for the headers).
  ConnectTarget m_connectTarget;
  std::string m_clientAddress;
  std::string m_publishedUrl;
  std::mutex m_headerLock;
  std::vector<char> m_audioHeader, m_videoHeader;
  std::mutex m_statisticsLock;
  SendStatistics m_statistics;
  static constexpr uint32_t kStaleStatisticsMs = 1500;
  std::atomic<uint32_t> m_lastStatisticsAt{0};

  // Sound path.
  std::atomic<int> m_publishVolume{80};
  std::atomic<bool> m_publishMute{false};
  std::atomic<int> m_backgroundVolume{80};
  std::atomic<bool> m_backgroundMute{false};
  std::atomic<bool> m_backgroundSound{false};
  std::atomic<bool> m_mixOn{true};
  std::mutex m_mixLock;  // the background ring's writes and resets, the limiter's gain
  PcmRingBuffer m_backgroundRing;
  Limiter m_limiter;
  std::mutex m_converterLock;  // one converter for desktop and player sound
  AcmConverter m_converter;
  std::vector<uint8_t> m_converted;
  std::mutex m_desktopLock;  // the desktop-sound device against commands 7/8 and StopPublish
  CreateCaptureDeviceFn m_createDesktopDevice = nullptr;
  ICaptureDevice* m_desktopDevice = nullptr;
  NoiseSuppressor m_noise;
  SilenceDetector m_silence;  // send thread only

  // Local recording.
  std::mutex m_recordLock;
  RtmpRecord m_record;
  bool m_recording = false;
  bool m_recordAudioHeaderPending = true;
  bool m_recordVideoHeaderPending = true;
  bool m_recordWaitsForKeyFrame = true;
  double m_recordOpensAtMs = 0;  // the stamp of the key frame the file opens with
  bool m_recordFailing = false;

  // Pictures.
  LogoOverlay m_logo;
};
