#include "platform/wexmoor/pulse_monitor_device.h"

#include <cstring>

namespace {

constexpr int kFragmentMs = 20;
// What Start gives the server to connect and open the recording, as the
// capture devices do: a server that accepts the socket but never answers
// (hung, stopped in a debugger) must not hold the caller for ever.
constexpr pa_usec_t kStartDeadlineUs = 2 * PA_USEC_PER_SEC;

bool UsableFormat(const WAVEFORMATEX& f) {
  return f.wFormatTag == WAVE_FORMAT_PCM && f.wBitsPerSample == 16 && f.nChannels >= 1 &&
         f.nChannels <= 2 && f.nSamplesPerSec >= 8000 && f.nSamplesPerSec <= 192000;
}

}  // namespace

void PulseMonitorDevice::OnContextState(pa_context* context, void* self) {
  auto* device = static_cast<PulseMonitorDevice*>(self);
  const pa_context_state_t state = pa_context_get_state(context);
  if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) device->EndedByServer();
  pa_threaded_mainloop_signal(device->m_loop, 0);
}

void PulseMonitorDevice::OnStreamState(pa_stream* stream, void* self) {
  auto* device = static_cast<PulseMonitorDevice*>(self);
  const pa_stream_state_t state = pa_stream_get_state(stream);
  if (state == PA_STREAM_FAILED) device->EndedByServer();
  pa_threaded_mainloop_signal(device->m_loop, 0);
}

void PulseMonitorDevice::OnStartDeadline(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
  auto* device = static_cast<PulseMonitorDevice*>(self);
  device->m_startTimedOut = true;
  pa_threaded_mainloop_signal(device->m_loop, 0);
}

void PulseMonitorDevice::EndedByServer() {
  // Only once a recording was running; a failed Start reports by its result.
  if (m_format.nSamplesPerSec != 0 && !m_stopTold.exchange(true)) {
    Tell("Wexmoor: sound server connection ended");
    m_sink->OnStop();
  }
}

void PulseMonitorDevice::OnRead(pa_stream* stream, size_t, void* self) {
  static_cast<PulseMonitorDevice*>(self)->Read(stream);
}

void PulseMonitorDevice::Read(pa_stream* stream) {
  const size_t frameBytes = m_format.nBlockAlign;
  // The stream can be ready, and data arrive, before Start has woken up and
  // noted the format; the data stays queued for the next read.
  if (frameBytes == 0) return;
  for (;;) {
    const void* data = nullptr;
    size_t bytes = 0;
    if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) return;
    if (data) {
      // Hand out whole sample frames; a split frame's start waits in m_block.
      m_block.resize(m_partialBytes + bytes);
      std::memcpy(m_block.data() + m_partialBytes, data, bytes);
      const size_t whole = (m_block.size() / frameBytes) * frameBytes;
      if (whole > 0) {
        int count = static_cast<int>(whole);
        const uint32_t stamp = static_cast<uint32_t>(m_framesDelivered * 1000 / m_format.nSamplesPerSec);
        m_sink->OnCaptureAudio(&m_format, m_block.data(), &count, stamp);
        m_framesDelivered += whole / frameBytes;
      }
      m_partialBytes = m_block.size() - whole;
      if (m_partialBytes) std::memmove(m_block.data(), m_block.data() + whole, m_partialBytes);
    }
    // data == null with bytes > 0 is a hole (lost data): skipped.
    pa_stream_drop(stream);
  }
}

bool PulseMonitorDevice::Connect(const WAVEFORMATEX* wanted) {
  m_loop = pa_threaded_mainloop_new();
  if (!m_loop) return false;
  m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Wexmoor desktop sound");
  if (!m_context) return false;
  pa_context_set_state_callback(m_context, OnContextState, this);
  // Never start a sound server of our own: no server means no desktop sound.
  if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
  pa_threaded_mainloop_lock(m_loop);
  if (pa_threaded_mainloop_start(m_loop) < 0) {
    pa_threaded_mainloop_unlock(m_loop);
    return false;
  }
  m_startTimedOut = false;
  pa_time_event* deadline =
      pa_context_rttime_new(m_context, pa_rtclock_now() + kStartDeadlineUs, OnStartDeadline, this);
  bool ok = false;
  while (deadline && !m_startTimedOut) {
    const pa_context_state_t state = pa_context_get_state(m_context);
    if (state == PA_CONTEXT_READY) {
      ok = true;
      break;
    }
    if (!PA_CONTEXT_IS_GOOD(state)) break;
    pa_threaded_mainloop_wait(m_loop);
  }
  if (ok) {
    pa_sample_spec spec{PA_SAMPLE_S16LE, wanted ? wanted->nSamplesPerSec : 44100,
                        static_cast<uint8_t>(wanted ? wanted->nChannels : 2)};
    m_stream = pa_stream_new(m_context, "desktop sound", &spec, nullptr);
    ok = m_stream != nullptr;
  }
  if (ok) {
    pa_stream_set_state_callback(m_stream, OnStreamState, this);
    pa_stream_set_read_callback(m_stream, OnRead, this);
    pa_buffer_attr attr;
    std::memset(&attr, 0xff, sizeof(attr));  // (uint32_t)-1: server default
    attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kFragmentMs * 1000, pa_stream_get_sample_spec(m_stream)));
    // Without a wish from the owner, take the monitor's own rate and channels.
    const int keepNative = wanted ? 0 : (PA_STREAM_FIX_RATE | PA_STREAM_FIX_CHANNELS);
    ok = pa_stream_connect_record(m_stream, "@DEFAULT_MONITOR@", &attr,
                                  static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | keepNative)) == 0;
  }
  while (ok) {
    const pa_stream_state_t state = pa_stream_get_state(m_stream);
    if (state == PA_STREAM_READY) break;
    if (!PA_STREAM_IS_GOOD(state) || m_startTimedOut) ok = false;
    else pa_threaded_mainloop_wait(m_loop);
  }
  if (deadline) pa_threaded_mainloop_get_api(m_loop)->time_free(deadline);
  if (ok) {
    const pa_sample_spec* real = pa_stream_get_sample_spec(m_stream);
    m_format = WAVEFORMATEX{};
    m_format.wFormatTag = WAVE_FORMAT_PCM;
    m_format.nChannels = real->channels;
    m_format.nSamplesPerSec = real->rate;
    m_format.wBitsPerSample = 16;
    m_format.nBlockAlign = static_cast<WORD>(real->channels * 2);
    m_format.nAvgBytesPerSec = real->rate * m_format.nBlockAlign;
    ok = real->format == PA_SAMPLE_S16LE && real->channels > 0;
  }
  pa_threaded_mainloop_unlock(m_loop);
  return ok;
}

void PulseMonitorDevice::TearDown() {
  if (m_loop) {
    pa_threaded_mainloop_lock(m_loop);
    if (m_stream) {
      pa_stream_set_read_callback(m_stream, nullptr, nullptr);
      pa_stream_set_state_callback(m_stream, nullptr, nullptr);
      pa_stream_disconnect(m_stream);
      pa_stream_unref(m_stream);
      m_stream = nullptr;
    }
    if (m_context) {
      pa_context_set_state_callback(m_context, nullptr, nullptr);
      pa_context_disconnect(m_context);
      pa_context_unref(m_context);
      m_context = nullptr;
    }
    pa_threaded_mainloop_unlock(m_loop);
    pa_threaded_mainloop_stop(m_loop);  // joins the loop thread
    pa_threaded_mainloop_free(m_loop);
    m_loop = nullptr;
  } else if (m_context) {
    pa_context_unref(m_context);
    m_context = nullptr;
  }
  m_format = WAVEFORMATEX{};
  m_block.clear();
  m_partialBytes = 0;
  m_framesDelivered = 0;
}

bool PulseMonitorDevice::Start() {
  std::lock_guard lock(m_control);
  if (m_running) return true;
  WAVEFORMATEX wish{};
  const bool hasWish = m_sink->OnGetAudioFormat(&wish) != 0 && UsableFormat(wish);
  m_stopTold = false;
  if (!Connect(hasWish ? &wish : nullptr)) {
    TearDown();
    Tell("Wexmoor: cannot record the desktop sound");
    return false;
  }
  m_running = true;
  return true;
}

bool PulseMonitorDevice::Stop() {
  std::lock_guard lock(m_control);
  if (!m_running) return true;
  TearDown();
  m_running = false;
  if (!m_stopTold.exchange(true)) m_sink->OnStop();
  return true;
}

void PulseMonitorDevice::Release() {
  Stop();
  delete this;
}
