// CVideoCaptureRender, the camera sink: turns each RGB frame into the picture
// the owner publishes (upright and mirrored left-to-right, as the presenter
// sees himself), fits it to the output size, stamps frames that carry no
// times, throttles cameras that deliver faster than asked, draws the level
// bar and hands the frame to the owner's IVideoCaptureNotify on the
// streaming thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "capture/IVideoCapture.h"
#include "capture/VideoRenderRGB.h"

// {973DBDD9-4260-441F-A419-FDDE6DCB1BA4}
inline constexpr CLSID CLSID_VideoCaptureRender = {
    0x973DBDD9, 0x4260, 0x441F, {0xA4, 0x19, 0xFD, 0xDE, 0x6D, 0xCB, 0x1B, 0xA4}};

class CVideoCaptureRender : public CVideoRenderRGB {
 public:
  // The largest output picture: the work buffer holds one 1920 x 1080 frame.
  static constexpr int kWorkBytes = 1920 * 1080 * 3;

  CVideoCaptureRender(int captureId, IVideoCaptureNotify* notify, HRESULT* hr, int frameRate, int bitDepth);

  // False (and the size unchanged) for a size of 0 or less or one whose
  // frame does not fit the work buffer.
  bool SetOutputSize(int width, int height);
  void SetLevelRatio(const float* ratio);
  void EnableLevelBar(bool on) { m_levelBarOn = on; }

  HRESULT Run(REFERENCE_TIME start) override;
  HRESULT DoRenderSample(IMediaSample* sample) override;

 private:
  // Rotates bottom-up frames by 180 degrees and mirrors top-down ones.
  void MakeUpright(BYTE* frame, int width, int height, bool bottomUp);
  // True when the frame is to be dropped.
  bool Throttled(REFERENCE_TIME start);

  IVideoCaptureNotify* const m_notify;
  const int m_id;
  const int m_frameRate;
  std::atomic<int> m_outWidth{2048}, m_outHeight{2048};

  // Streaming thread only (and Run, before streaming starts).
  bool m_haveLastStart = false;
  REFERENCE_TIME m_lastStart = 0;
  bool m_windowStarted = false;
  uint32_t m_windowStart = 0;
  int m_frameCount = 0;
  bool m_throttleOn = false;
  bool m_firstSample = true;
  uint32_t m_firstTick = 0;
  std::vector<BYTE> m_work;

  std::atomic<float> m_levelRatio{0.0f};
  std::atomic<bool> m_levelBarOn{true};
};

// The sink with one reference taken, or null.
CVideoCaptureRender* CreateVideoCaptureRender(int captureId, IVideoCaptureNotify* notify, HRESULT* hr, int frameRate,
                                              int bitDepth);
