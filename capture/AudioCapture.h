// CAudioCapture, the microphone capture behind CreateAudioCapture: a graph of
// the chosen recording input and CAudioRender, an event thread that reports
// graph aborts, the conversion of device PCM to the owner's format, and the
// switch between microphone and stereo mix (AudioCaptureLine.cpp).
// Called by the publish manager's threads; samples arrive on the device's
// streaming thread.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "capture/AudioRender.h"
#include "capture/IAudioCapture.h"
#include "capture/IDeviceList.h"
#include "capture/PcmConverter.h"
#include "capture/RecordingLine.h"
#include "common/GrowBuffer.h"
#include "common/TVThread.h"
#include "platform/dshow/interfaces.h"
#include "platform/voltrim/Voltrim.h"

class CAudioCapture : public IAudioCapture,
                      public IAudioRenderNotify,
                      public CTVThread,
                      public IDeviceListNotfiy,
                      public IVoltrimNotify {
 public:
  CAudioCapture(IAudioCaptureNotify* notify, int captureId, std::string* createError, int sampleRate,
                unsigned short bitsPerSample);
  ~CAudioCapture() override;

  // Creation steps 3 and 4: the device list, then the graph. Sets *ok.
  void Create(const std::wstring& deviceName, int nameIndex, int nameCount, bool* ok);

  bool Start() override;
  bool Stop() override;
  int GetId() override { return m_id; }
  void Release() override;
  bool GetFormat(WAVEFORMATEX* out) override;
  bool SelectStereoMix() override;
  bool SelectMicrophone() override;

  void OnAudioSample(IMediaSample* sample) override;
  void OnDeviceListNotify(int, int, HRESULT, const wchar_t*) override {}

 protected:
  void Run() override;

 private:
  // Builds the graph for a device; failure texts go to *error.
  bool BuildGraph(const std::wstring& name, int nameIndex, int nameCount, std::string* error);
  void ReleaseGraph();
  HRESULT FindDevice(const std::wstring& name, int nameIndex, int nameCount, bool* countMatches,
                     IBaseFilter** filter);
  void ApplyCaptureFormat(IBaseFilter* device);
  // The line selection: 0 when the input was handed to the volume control,
  // -1 otherwise.
  int SelectLine(RecordingLine line);
  // Stops graph and event thread whatever state a Start left behind.
  void StopForRebuild();
  void SetInputVolume();
  // Joins the event thread unless called from it (a report handler calling
  // Stop would otherwise wait for itself).
  void JoinEventThread();
  void RegisterInRot();
  void RevokeFromRot();

  // Appends to the own error text; returns a copy of the whole text.
  std::string AppendError(const char* text);
  void Report(const std::string& text, int kind);

  std::atomic<int> m_running{0};
  const int m_id;
  IAudioCaptureNotify* m_notify;
  std::string* m_createError;
  std::mutex m_errorLock;
  std::string m_error;

  std::recursive_mutex m_apiLock;  // Start, Stop, line selection, Release
  IGraphBuilder* m_graph = nullptr;
  ICaptureGraphBuilder2* m_builder = nullptr;
  IMediaControl* m_control = nullptr;
  IMediaEventEx* m_event = nullptr;
  CAudioRender* m_render = nullptr;

  WAVEFORMATEX m_target{};
  WAVEFORMATEX m_connected{};
  GrowBuffer m_convertBuffer;
  PcmConverter m_converter;
  IDeviceList* m_deviceList = nullptr;
  bool m_graphRunning = false;
  std::wstring m_deviceName;
  // The input the capture was made for: where a return to the microphone
  // goes, when it is one.
  std::wstring m_chosenName;
  int m_chosenIndex = 0, m_chosenCount = 0;
  int m_deviceIndex = 0;  // the name index and count of the current build
  int m_deviceCount = 0;
  bool m_graphBuilt = false;  // every step of the last build succeeded
  struct VolumeControlRelease {
    void operator()(IVolumeControl* v) const { v->Release(); }
  };
  std::unique_ptr<IVolumeControl, VolumeControlRelease> m_volume;  // made at the first selection
  std::atomic<bool> m_noTimeReported{false};
  DWORD m_rotCookie = 0;
};
