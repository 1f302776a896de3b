// Shared by the camera tests: virtual cameras only, and an owner that keeps
// what the capture handed it. Frames pushed into a virtual camera arrive on
// the pushing thread, so a push that returned has delivered.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "capture/VideoCapture.h"
#include "platform/dshow/backend_virtual.h"

namespace camera_test {
inline const bool kVirtualOnly = (setenv("STRIVON_DSHOW_DEVICES", "virtual", 1), true);

enum class Pixels { Rgb24, Rgb24TopDown, Yuy2, Yv12 };

inline dshow::VirtualDevice Camera(const wchar_t* name, int width, int height, Pixels pixels = Pixels::Rgb24) {
  dshow::VirtualDevice d;
  d.kind = dshow::VirtualKind::VideoInput;
  d.name = name;
  d.width = width;
  d.height = height;
  d.yuy2 = pixels == Pixels::Yuy2;
  d.yv12 = pixels == Pixels::Yv12;
  d.topDown = pixels == Pixels::Rgb24TopDown;
  return d;
}

// The pattern as the published picture shows it: mirrored left-to-right.
inline std::vector<BYTE> MirroredPattern(int width, int height) {
  std::vector<BYTE> p = dshow::VirtualPatternBgr(width, height), out(p.size());
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c)
      for (int k = 0; k < 3; ++k)
        out[(static_cast<size_t>(r) * width + c) * 3 + k] = p[(static_cast<size_t>(r) * width + width - 1 - c) * 3 + k];
  return out;
}

class FrameOwner : public IVideoCaptureNotify {
 public:
  bool OnVideoData(int, BYTE* rgb, int len, int64_t startMs, int64_t) override {
    std::lock_guard<std::mutex> lock(m_lock);
    frame.assign(rgb, rgb + len);
    starts.push_back(startMs);
    return true;
  }
  bool OnVideoRawData(int, BYTE*, int len, int64_t, int64_t) override {
    std::lock_guard<std::mutex> lock(m_lock);
    rawLength = len;
    return true;
  }
  bool OnHDVideoCapNotify(std::string text, int kind) override {
    std::lock_guard<std::mutex> lock(m_lock);
    texts.emplace_back(kind, text);
    m_changed.notify_all();
    return true;
  }
  bool WaitForText(const std::string& prefix, int kind, int ms) {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(ms), [&] {
      for (auto& t : texts)
        if (t.first == kind && t.second.rfind(prefix, 0) == 0) return true;
      return false;
    });
  }
  size_t Frames() {
    std::lock_guard<std::mutex> lock(m_lock);
    return starts.size();
  }

  std::vector<BYTE> frame;
  std::vector<int64_t> starts;
  int rawLength = 0;
  std::vector<std::pair<int, std::string>> texts;

 private:
  std::mutex m_lock;
  std::condition_variable m_changed;
};

// A capture of the named camera at its own size unless told otherwise.
inline IVideoCapture* Open(FrameOwner* owner, const char* name, int width, int height, int rate = 25,
                           std::string* err = nullptr, int index = 0, int count = 1) {
  bool ok = false;
  std::string scratch;
  IVideoCapture* capture = CreateVideoCapture(owner, 7, name, index, count, &width, &height, &rate, &ok,
                                              err ? err : &scratch);
  return ok ? capture : nullptr;
}
}  // namespace camera_test
