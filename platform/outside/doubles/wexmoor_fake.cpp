// Stand-in libWexmoor.so for tests: its device "records" a 1 kHz tone at
// 48 kHz stereo in 10 ms blocks on its own thread, without a sound server.
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/wexmoor/ICaptureNotfy.h"

namespace {

class ToneDevice final : public ICaptureDevice {
 public:
  explicit ToneDevice(ICaptureNotfy* sink) : m_sink(sink) {}

  bool Start() override {
    std::lock_guard lock(m_control);
    if (m_thread.joinable()) return true;
    m_format = WAVEFORMATEX{};
    if (m_sink->OnGetAudioFormat(&m_format) == 0 || m_format.wBitsPerSample != 16 ||
        m_format.nChannels < 1 || m_format.nChannels > 2 || m_format.nSamplesPerSec < 8000) {
      m_format = WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 48000, 48000 * 4, 4, 16, 0};
    }
    m_quit = false;
    m_thread = std::thread([this] { Run(); });
    return true;
  }

  bool Stop() override {
    std::lock_guard lock(m_control);
    if (!m_thread.joinable()) return true;
    m_quit = true;
    m_thread.join();
    m_sink->OnStop();
    return true;
  }

  void Release() override {
    Stop();
    delete this;
  }

 private:
  ~ToneDevice() = default;

  void Run() {
    const int frames = static_cast<int>(m_format.nSamplesPerSec / 100);
    std::vector<int16_t> block(static_cast<size_t>(frames) * m_format.nChannels);
    uint64_t done = 0;
    auto next = std::chrono::steady_clock::now();
    while (!m_quit) {
      for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(done + i) / m_format.nSamplesPerSec;
        const auto v = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 1000 * t));
        for (int c = 0; c < m_format.nChannels; ++c) block[static_cast<size_t>(i) * m_format.nChannels + c] = v;
      }
      int bytes = static_cast<int>(block.size() * 2);
      m_sink->OnCaptureAudio(&m_format, reinterpret_cast<BYTE*>(block.data()), &bytes,
                             static_cast<uint32_t>(done * 1000 / m_format.nSamplesPerSec));
      done += frames;
      next += std::chrono::milliseconds(10);
      std::this_thread::sleep_until(next);
    }
  }

  ICaptureNotfy* m_sink;
  std::mutex m_control;
  std::atomic<bool> m_quit{false};
  WAVEFORMATEX m_format{};
  std::thread m_thread;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) ICaptureDevice* CreateCaptureDevice(ICaptureNotfy* sink) {
  return sink ? new ToneDevice(sink) : nullptr;
}
