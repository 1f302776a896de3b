// The device behind ICaptureDevice: records the monitor of the default
// output (@DEFAULT_MONITOR@) with libpulse's threaded main loop, whose thread
// is the device's own; every block read goes to the owner's OnCaptureAudio
// with the stream's real format. Made by CreateCaptureDevice.
#pragma once
#include <pulse/pulseaudio.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "platform/wexmoor/ICaptureNotfy.h"

class PulseMonitorDevice final : public ICaptureDevice {
 public:
  explicit PulseMonitorDevice(ICaptureNotfy* sink) : m_sink(sink) {}
  bool Start() override;
  bool Stop() override;
  void Release() override;

 private:
  ~PulseMonitorDevice() = default;
  bool Connect(const WAVEFORMATEX* wanted);
  void TearDown();
  void Tell(const char* text) { m_sink->PrintText(text); }

  static void OnContextState(pa_context* context, void* self);
  static void OnStreamState(pa_stream* stream, void* self);
  static void OnRead(pa_stream* stream, size_t bytes, void* self);
  static void OnStartDeadline(pa_mainloop_api* api, pa_time_event* event, const struct timeval* when, void* self);
  void Read(pa_stream* stream);
  void EndedByServer();

  ICaptureNotfy* m_sink;
  std::mutex m_control;  // Start/Stop/Release against each other
  bool m_running = false;
  pa_threaded_mainloop* m_loop = nullptr;
  pa_context* m_context = nullptr;
  pa_stream* m_stream = nullptr;
  bool m_startTimedOut = false;  // under the loop lock

  // Main-loop thread (and Start/Stop while they hold the loop lock).
  WAVEFORMATEX m_format{};
  std::vector<BYTE> m_block;
  size_t m_partialBytes = 0;  // of a sample frame split across reads
  uint64_t m_framesDelivered = 0;
  std::atomic<bool> m_stopTold{false};
};
