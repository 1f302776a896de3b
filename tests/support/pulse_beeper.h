// Sound with a mark at every whole second of the steady clock, played into a
// PulseServer's sink for a test whose microphone is that sink's monitor: a
// steady 1 kHz tone with a 30 ms burst of 2.5 kHz at each second. What it
// writes is taken from the clock, not from a count of what it wrote: when the
// sink stalls or is suspended it skips ahead, and when the server dies it
// connects again once one answers, so the bursts stay on the seconds and the
// recording shows where the sound lies against marks drawn on the screen at
// the same instants.
#pragma once
#include <atomic>
#include <string>
#include <thread>

namespace test_support {

class PulseBeeper {
 public:
  static constexpr int kRate = 44100;
  static constexpr double kToneHz = 1000, kBeepHz = 2500;
  static constexpr int kBeepMs = 30;

  // server: a PULSE_SERVER value; sink: the sink to play into.
  PulseBeeper(std::string server, std::string sink) : m_server(std::move(server)), m_sink(std::move(sink)) {}
  ~PulseBeeper() { Stop(); }
  PulseBeeper(const PulseBeeper&) = delete;
  PulseBeeper& operator=(const PulseBeeper&) = delete;

  void Start();
  void Stop();
  // Times it had to connect anew (the server came back).
  int reconnects() const { return m_reconnects; }

 private:
  void Run();

  const std::string m_server, m_sink;
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_reconnects{0};
};

}  // namespace test_support
