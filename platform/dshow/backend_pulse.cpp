#include "platform/dshow/backend_pulse.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/dshow/utf8.h"
#include "platform/base/tick.h"
#include "platform/dshow/capture_pin.h"

namespace dshow {
namespace {

constexpr uint32_t kConnectTimeoutMs = 2000;

// One dispatch round of at most timeoutMs; false when the loop broke.
bool Iterate(pa_mainloop* loop, uint32_t timeoutMs) {
  if (pa_mainloop_prepare(loop, static_cast<int>(timeoutMs) * 1000) < 0) return false;
  if (pa_mainloop_poll(loop) < 0) return false;
  return pa_mainloop_dispatch(loop) >= 0;
}

// A connected context on its own loop, or nothing.
struct Connection {
  pa_mainloop* loop = nullptr;
  pa_context* context = nullptr;

  bool Open(const char* clientName) {
    loop = pa_mainloop_new();
    if (!loop) return false;
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, clientName);
    context = pa_context_new_with_proplist(pa_mainloop_get_api(loop), clientName, props);
    pa_proplist_free(props);
    if (!context || pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
    const uint32_t begin = platform::TickCount();
    while (platform::TickCount() - begin < kConnectTimeoutMs) {
      const pa_context_state_t s = pa_context_get_state(context);
      if (s == PA_CONTEXT_READY) return true;
      if (!PA_CONTEXT_IS_GOOD(s)) return false;
      if (!Iterate(loop, 50)) return false;
    }
    return false;
  }

  template <typename Done>
  bool RunUntil(Done done) {
    const uint32_t begin = platform::TickCount();
    while (!done()) {
      if (platform::TickCount() - begin >= kConnectTimeoutMs) return false;
      if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) return false;
      if (!Iterate(loop, 50)) return false;
    }
    return true;
  }

  ~Connection() {
    if (context) {
      pa_context_disconnect(context);
      pa_context_unref(context);
    }
    if (loop) pa_mainloop_free(loop);
  }
};

class CPulsePin : public CCapturePin {
 public:
  CPulsePin(CBaseFilter* filter, std::recursive_mutex* lock, std::string source)
      : CCapturePin(filter, lock, L"Capture"), m_source(std::move(source)) {
    const WAVEFORMATEX wf{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    CMediaType mt;
    BuildPcmMediaType(&mt, wf);
    SetCurrentFormat(mt);
    AddCapability(mt);
  }

 protected:
  HRESULT CheckFormat(const CMediaType* mt) override { return CheckPcmFormat(mt); }
  bool UsesThread() const override { return true; }
  ALLOCATOR_PROPERTIES DefaultAllocator() override {
    const WAVEFORMATEX wf = Wave();
    return {4, std::max<int32_t>(1024, static_cast<int32_t>(wf.nAvgBytesPerSec / 50)), 1, 0};
  }

  void CaptureLoop() override {
    const WAVEFORMATEX wf = Wave();
    CaptureAbortCause cause = kAbortUnknown;
    if (!Record(wf, &cause)) {
      // The device is gone or refused us: tell the graph's owner, and why.
      m_pFilter->NotifyEvent(EC_ERRORABORT, E_FAIL, cause);
    }
  }

 private:
  WAVEFORMATEX Wave() {
    const CMediaType mt = Format();
    WAVEFORMATEX wf{};
    if (mt.cbFormat >= sizeof(wf)) std::memcpy(&wf, mt.pbFormat, sizeof(wf));
    return wf;
  }

  // Records until the pin stops; false on a stream failure, with its cause.
  bool Record(const WAVEFORMATEX& wf, CaptureAbortCause* cause) {
    Connection c;
    *cause = kAbortServerGone;
    if (!c.Open("Strivon capture")) return false;
    *cause = kAbortNoDevice;
    pa_sample_spec spec{};
    spec.format = wf.wBitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
    spec.rate = wf.nSamplesPerSec;
    spec.channels = static_cast<uint8_t>(wf.nChannels);
    pa_stream* stream = pa_stream_new(c.context, "capture", &spec, nullptr);
    if (!stream) return false;
    pa_buffer_attr attr;
    std::memset(&attr, 0xFF, sizeof(attr));
    attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(20000, &spec));
    bool ok = pa_stream_connect_record(stream, m_source.empty() ? nullptr : m_source.c_str(), &attr,
                                       PA_STREAM_ADJUST_LATENCY) == 0;
    ok = ok && c.RunUntil([&] {
      const pa_stream_state_t s = pa_stream_get_state(stream);
      return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
    }) && pa_stream_get_state(stream) == PA_STREAM_READY;

    const bool opened = ok;
    const long chunk = std::max<long>(wf.nBlockAlign, BufferSize() / wf.nBlockAlign * wf.nBlockAlign);
    std::vector<BYTE> pending;
    int64_t position = 0;  // bytes since the stream started: the sample clock
    while (ok && IsStreaming()) {
      if (!Iterate(c.loop, 20) || !PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        ok = false;
        break;
      }
      while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        size_t n = 0;
        if (pa_stream_peek(stream, &data, &n) < 0) {
          ok = false;
          break;
        }
        if (n == 0) break;
        // A hole (data == null) is silence of that length: keep the clock true.
        if (data)
          pending.insert(pending.end(), static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + n);
        else
          pending.insert(pending.end(), n, wf.wBitsPerSample == 8 ? 0x80 : 0);
        pa_stream_drop(stream);
      }
      size_t used = 0;
      while (pending.size() - used >= static_cast<size_t>(chunk)) {
        REFERENCE_TIME start = position * 10000000 / wf.nAvgBytesPerSec;
        REFERENCE_TIME stop = (position + chunk) * 10000000 / wf.nAvgBytesPerSec;
        if (DeliverBuffer(pending.data() + used, chunk, &start, &stop) != S_OK && !IsStreaming()) break;
        position += chunk;
        used += static_cast<size_t>(chunk);
      }
      pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
    }
    if (!ok) {
      *cause = !PA_CONTEXT_IS_GOOD(pa_context_get_state(c.context)) ? kAbortServerGone
               : opened                                             ? kAbortDeviceRemoved
                                                                    : kAbortNoDevice;
    }
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    return ok || !IsStreaming();
  }

  std::string m_source;
};

class CPulseFilter : public CCaptureFilter {
 public:
  CPulseFilter(const std::wstring& name, const std::string& source)
      : CCaptureFilter(name.c_str(), CLSID_PulseAudioCapture) {
    m_pin = std::make_unique<CPulsePin>(this, &m_csFilter, source);
  }
};

// Playback devices are listed; playing through them is not needed by the
// library, so their filter only names its class.
class CPulseRenderFilter : public CCaptureFilter {
 public:
  explicit CPulseRenderFilter(const std::wstring& name) : CCaptureFilter(name.c_str(), CLSID_DSoundRender) {}
};

struct Device {
  std::string name;
  std::string description;
};

class CPulseBackend : public DeviceBackend {
 public:
  void Enumerate(const GUID& category, std::vector<DeviceEntry>* out) override {
    const bool sources = category == CLSID_AudioInputDeviceCategory;
    const bool sinks = category == CLSID_AudioRendererCategory;
    if (!sources && !sinks) return;
    Connection c;
    if (!c.Open("Strivon device list")) return;
    struct State {
      std::vector<Device> devices;
      bool done = false;
    } state;
    pa_operation* op = nullptr;
    if (sources) {
      op = pa_context_get_source_info_list(
          c.context,
          [](pa_context*, const pa_source_info* i, int eol, void* user) {
            auto* s = static_cast<State*>(user);
            if (eol) s->done = true;
            else if (i) s->devices.push_back({i->name ? i->name : "", i->description ? i->description : ""});
          },
          &state);
    } else {
      op = pa_context_get_sink_info_list(
          c.context,
          [](pa_context*, const pa_sink_info* i, int eol, void* user) {
            auto* s = static_cast<State*>(user);
            if (eol) s->done = true;
            else if (i) s->devices.push_back({i->name ? i->name : "", i->description ? i->description : ""});
          },
          &state);
    }
    if (!op) return;
    const bool complete = c.RunUntil([&] { return state.done; });
    pa_operation_cancel(op);
    pa_operation_unref(op);
    if (!complete) return;
    for (const Device& d : state.devices) {
      const std::wstring friendly = Utf8ToWide(d.description.empty() ? d.name : d.description);
      if (sources) {
        const std::string source = d.name;
        out->push_back({friendly, [friendly, source](IBaseFilter** filter) {
                          auto* f = new CPulseFilter(friendly, source);
                          return GetInterface(static_cast<IBaseFilter*>(f), reinterpret_cast<void**>(filter));
                        }});
      } else {
        out->push_back({friendly, [friendly](IBaseFilter** filter) {
                          auto* f = new CPulseRenderFilter(friendly);
                          return GetInterface(static_cast<IBaseFilter*>(f), reinterpret_cast<void**>(filter));
                        }});
      }
    }
  }
};

}  // namespace

DeviceBackend& PulseBackend() {
  static CPulseBackend backend;
  return backend;
}

}  // namespace dshow
