#include "tests/support/pulse_beeper.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

namespace test_support {
namespace {

constexpr int kChunkMs = 10;
// How far ahead of the clock the writes run: the stream's own buffer.
constexpr int kAheadMs = 40;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void PulseBeeper::Start() {
  m_stop = false;
  m_thread = std::thread([this] { Run(); });
}

void PulseBeeper::Stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
}

void PulseBeeper::Run() {
  pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 2};
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = static_cast<uint32_t>(kRate * 4 * kAheadMs / 1000);
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(-1);
  const size_t chunkFrames = kRate * kChunkMs / 1000;
  std::vector<int16_t> chunk(chunkFrames * 2);
  bool connectedBefore = false;
  while (!m_stop) {
    int error = 0;
    pa_simple* stream = pa_simple_new(m_server.c_str(), "strivon beeper", PA_STREAM_PLAYBACK, m_sink.c_str(),
                                      "marks", &spec, nullptr, &attr, &error);
    if (!stream) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    if (connectedBefore) ++m_reconnects;
    connectedBefore = true;
    // Each sample is the one due kAheadMs from now on the clock; a write
    // that blocked (a stalled or suspended sink) is not made up for.
    int64_t nextNs = NowNs() + int64_t{kAheadMs} * 1000000;
    while (!m_stop) {
      const int64_t earliestNs = NowNs() + int64_t{kAheadMs} * 1000000 / 2;
      if (nextNs < earliestNs) nextNs = earliestNs;
      for (size_t f = 0; f < chunkFrames; ++f) {
        const int64_t atNs = nextNs + static_cast<int64_t>(f) * 1000000000 / kRate;
        const double t = static_cast<double>(atNs) / 1e9;
        double v = 0.2 * std::sin(2 * M_PI * kToneHz * t);
        if (atNs % 1000000000 < int64_t{kBeepMs} * 1000000) v += 0.3 * std::sin(2 * M_PI * kBeepHz * t);
        chunk[2 * f] = chunk[2 * f + 1] = static_cast<int16_t>(std::lround(v * 32767));
      }
      if (pa_simple_write(stream, chunk.data(), chunk.size() * 2, &error) < 0) break;
      nextNs += int64_t{kChunkMs} * 1000000;
    }
    pa_simple_free(stream);
  }
}

}  // namespace test_support
