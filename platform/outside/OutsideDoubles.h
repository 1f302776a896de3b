// Test doubles for the four outside libraries, installed into the factory
// table (OutsideFactories.h) by one OutsideDoubles object for as long as it
// lives. Tests of the publish manager use them to drive the manager without
// a display, media files or a sound server, and to see what it asked for.
// The doubles keep every object they hand out (Release only marks it), so a
// test can look at it afterwards; OutsideDoubles frees them all.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/outside/OutsideFactories.h"

// A screen whose pixels are a function of the grab number and the screen
// position, so a test can tell which grab and which area it got.
class FakeScreenCapture final : public IScreenCapture {
 public:
  FakeScreenCapture(int screenWidth, int screenHeight);

  // The B,G,R of screen pixel (x, y) in grab number frame (0 = first).
  static void ExpectedPixel(uint32_t frame, int x, int y, BYTE bgr[3]);

  void Release() override;
  void SetFollowCursor(bool follow) override;
  bool SetBitDepth(int bitsPerPixel) override;
  bool SetCaptureRect(const RECT* rect) override;
  bool GrabFrame(BITMAPINFOHEADER** info, BYTE** pixels, int* byteCount) override;
  void ShowCaptureFrame(int show) override;
  bool IsCaptureFrameShown() override;
  void RaiseCaptureFrame() override;
  void ClearCaptureWindow() override;
  void SetCaptureWindow(HWND window) override;
  bool DisplayLost() override { return displayLost; }
  std::atomic<bool> displayLost{false};

  struct Calls {
    int grabs = 0;
    int raises = 0;
    int clearWindow = 0;
    bool followCursor = false;
    bool frameShown = false;
    bool released = false;
    int bitDepth = 24;
    RECT rect{};
    HWND window = 0;
  };
  Calls calls();

 private:
  std::mutex m_lock;
  int m_screenWidth;
  int m_screenHeight;
  Calls m_calls;
  BITMAPINFOHEADER m_info{};
  std::vector<BYTE> m_pixels;
};

// A file source that delivers only what the test pumps into it, on the
// test's thread. Pumping after Release is refused, as the real source
// sends nothing after Release.
class FakeVexaCapture final : public IVexaCapture {
 public:
  FakeVexaCapture(IVexaCaptureNotify* sink, std::string path, int width, int height, int framerate,
                  int sampleRate, int channels);

  bool Play() override;
  bool Stop() override;
  bool Pause() override;
  bool Seek(int positionMs, int mode) override;
  bool SetPara(int para, int value) override;
  int64_t GetPosition() override;
  void SetVolume(int volumePercent) override;
  void Release() override;
  bool HasPicture() override { return hasPicture; }
  // What HasPicture answers (a file of sound alone: false).
  std::atomic<bool> hasPicture{true};

  // A picture of the output size, every pixel (b, g, r).
  bool PumpPicture(uint32_t timestampMs, BYTE b, BYTE g, BYTE r);
  // sampleFrames frames of the publish format, every sample = value.
  bool PumpSound(uint32_t timestampMs, int sampleFrames, int16_t value);
  bool PumpPlayComplete();
  bool PumpStatus(const wchar_t* text);
  void SetPosition(int64_t positionMs) { m_position = positionMs; }

  struct Calls {
    int plays = 0, stops = 0, pauses = 0;
    std::vector<std::pair<int, int>> seeks;
    std::vector<std::pair<int, int>> paras;
    int volume = 100;
    bool released = false;
  };
  Calls calls();
  const std::string& path() const { return m_path; }
  int width() const { return m_width; }
  int height() const { return m_height; }
  int framerate() const { return m_framerate; }
  int sampleRate() const { return m_sampleRate; }
  int channels() const { return m_channels; }

 private:
  IVexaCaptureNotify* m_sink;
  std::string m_path;
  int m_width, m_height, m_framerate, m_sampleRate, m_channels;
  std::mutex m_lock;
  Calls m_calls;
  std::atomic<int64_t> m_position{0};
  int m_frameIndex = 0;
};

// A logo filter that hands every pushed picture back with its first pixel
// set to (1, 2, 3), so a test sees the picture went through it.
class FakeADFilter final : public IADFilter {
 public:
  explicit FakeADFilter(int initResult) : m_initResult(initResult) {}
  int Init(const char* filterText, int width, int height, int bytesPerPixel) override;
  int Push(BYTE* rgb, int byteCount) override;
  int Pull(BYTE* rgb, int* byteCount) override;
  void Release() override;

  struct Calls {
    std::string text;
    int width = 0, height = 0;
    int pushes = 0, pulls = 0;
    bool released = false;
  };
  Calls calls();

 private:
  int m_initResult;
  std::mutex m_lock;
  Calls m_calls;
  std::vector<BYTE> m_held;
  bool m_holding = false;
};

// Noise suppression that records every call and scales the samples by a
// factor (1 leaves them alone).
class RecordingHushgain {
 public:
  struct InitCall {
    int handle, sampleRate, bitsPerSample, level, mode, agcLevel, channels;
  };
  int nextHandle = 7;     // what createHushgain hands out (0 = failure)
  int initResult = 0;     // what HushgainInit answers
  double gain = 1.0;

  std::vector<InitCall> inits();
  std::vector<int> processedLengths();
  std::vector<int> destroyed();

  int Create();
  int Init(int handle, int rate, int bits, int level, int mode, int agc, int channels);
  int Process(int handle, short* samples, int byteLength);
  int Destroy(int handle);

 private:
  std::mutex m_lock;
  std::vector<InitCall> m_inits;
  std::vector<int> m_lengths;
  std::vector<int> m_destroyed;
};

enum class WexmoorDouble {
  kToneLibrary,     // a libWexmoor.so whose device plays a 1 kHz tone (48 kHz stereo)
  kWithoutExport,   // a libWexmoor.so without CreateCaptureDevice
  kMissing,         // no library in the folder
};

class OutsideDoubles {
 public:
  OutsideDoubles();   // installs the doubles
  ~OutsideDoubles();  // puts the real libraries back, frees every double
  OutsideDoubles(const OutsideDoubles&) = delete;
  OutsideDoubles& operator=(const OutsideDoubles&) = delete;

  // Creation fails (null) while set.
  std::atomic<bool> screenFails{false};
  std::atomic<bool> vexaFails{false};
  std::atomic<bool> filterFails{false};
  std::atomic<int> filterInitResult{0};
  int screenWidth = 1366;
  int screenHeight = 768;
  void SetWexmoor(WexmoorDouble kind);

  // What was created, oldest first.
  std::vector<FakeScreenCapture*> screens();
  std::vector<FakeVexaCapture*> fileSources();
  std::vector<FakeADFilter*> filters();
  RecordingHushgain& hushgain() { return m_hushgain; }

 private:
  std::mutex m_lock;
  std::vector<std::unique_ptr<FakeScreenCapture>> m_screens;
  std::vector<std::unique_ptr<FakeVexaCapture>> m_fileSources;
  std::vector<std::unique_ptr<FakeADFilter>> m_filters;
  RecordingHushgain m_hushgain;
  std::atomic<WexmoorDouble> m_wexmoor{WexmoorDouble::kToneLibrary};
};
