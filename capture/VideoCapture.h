// CVideoCapture, the camera capture behind CreateVideoCapture: one graph of
// the chosen camera, the own YUV converter, the system colour converter and
// the sink CVideoCaptureRender, which hands each frame to the owner on the
// streaming thread. The publish manager makes one per switch to the camera
// (on its host's thread) and may release it on its worker thread.
#pragma once
#include <mutex>
#include <string>

#include "capture/DShowApplication.h"
#include "capture/IVideoCapture.h"
#include "capture/PeakMeter.h"
#include "platform/dshow/wave_format.h"

class CVideoCaptureRender;

class CVideoCapture : public IVideoCapture, public CDShowApplication {
 public:
  CVideoCapture(IVideoCaptureNotify* notify, int captureId);
  ~CVideoCapture() override;

  // Construction steps 1 to 8; the failed step's text goes to *err.
  bool Create(const std::wstring& deviceName, int nameIndex, int nameCount, int width, int height, int frameRate,
              std::string* err);

  bool Start() override;
  bool Stop() override;
  int GetId() override { return m_id; }
  void SetAudioLevel(const short* pcm, int byteCount) override;
  void EnableLevelBar(const bool* on) override;
  void Release() override;

 protected:
  void OnComplete() override {}
  void OnError(int level, int code, const wchar_t* text) override;

 private:
  const int m_id;
  std::mutex m_apiLock;  // Start, Stop, levels
  IBaseFilter* m_captureFilter = nullptr;
  IBaseFilter* m_ownConverter = nullptr;
  IBaseFilter* m_systemConverter = nullptr;
  CVideoCaptureRender* m_sink = nullptr;
  BITMAPINFOHEADER m_format{};
  float m_levelRatio = 0;
  PeakMeter m_meter{1500};
};

// The camera capture, or null with *ok false and the reason in *err.
IVideoCapture* CreateVideoCapture(IVideoCaptureNotify* notify, int id, const char* deviceName, int nameIndex,
                                  int nameCount, int* width, int* height, int* frameRate, bool* ok, std::string* err);
