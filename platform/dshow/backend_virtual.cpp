#include "platform/dshow/backend_virtual.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "platform/dshow/capture_pin.h"

namespace dshow {
namespace {

class CVirtualFilter;

struct Registry {
  std::mutex lock;
  std::vector<VirtualDevice> devices;
  std::vector<CVirtualFilter*> filters;  // alive, not owned
};

Registry& Reg() {
  static Registry r;
  return r;
}

CMediaType VideoType(const VirtualDevice& d) {
  CMediaType mt;
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = d.yuy2 ? MEDIASUBTYPE_YUY2 : MEDIASUBTYPE_RGB24;
  mt.formattype = FORMAT_VideoInfo;
  mt.bFixedSizeSamples = 1;
  VIDEOINFOHEADER vih{};
  vih.AvgTimePerFrame = 10000000 / 30;
  vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih.bmiHeader.biWidth = d.width;
  vih.bmiHeader.biHeight = d.height;
  vih.bmiHeader.biPlanes = 1;
  vih.bmiHeader.biBitCount = d.yuy2 ? 16 : 24;
  vih.bmiHeader.biCompression = d.yuy2 ? 0x32595559u : 0;  // 'YUY2'
  vih.bmiHeader.biSizeImage = static_cast<uint32_t>(d.width * d.height * (d.yuy2 ? 2 : 3));
  mt.lSampleSize = vih.bmiHeader.biSizeImage;
  SetFormatBlock(&mt, &vih, sizeof(vih));
  return mt;
}

class CVirtualPin : public CCapturePin {
 public:
  CVirtualPin(CBaseFilter* filter, std::recursive_mutex* lock, const VirtualDevice& device)
      : CCapturePin(filter, lock, L"Capture"), m_device(device) {
    CMediaType mt;
    if (device.kind == VirtualKind::AudioInput)
      BuildPcmMediaType(&mt, device.format);
    else
      mt = VideoType(device);
    SetCurrentFormat(mt);
    AddCapability(mt);
  }

  HRESULT Active() override {
    if (m_device.failStart) return E_FAIL;
    return CCapturePin::Active();
  }

  HRESULT Run(REFERENCE_TIME start) override {
    {
      std::lock_guard<std::mutex> lock(m_clockLock);
      m_position = 0;
      m_phase = 0;
    }
    return CCapturePin::Run(start);
  }

  long PushTone(int ms) {
    const CMediaType mt = Format();
    if (mt.cbFormat < sizeof(WAVEFORMATEX)) return 0;
    WAVEFORMATEX wf;
    std::memcpy(&wf, mt.pbFormat, sizeof(wf));
    const long frames = static_cast<long>(static_cast<int64_t>(wf.nSamplesPerSec) * ms / 1000);
    std::vector<BYTE> pcm(static_cast<size_t>(frames) * wf.nBlockAlign);
    {
      std::lock_guard<std::mutex> lock(m_clockLock);
      const double step = 2.0 * M_PI * m_device.toneHz / wf.nSamplesPerSec;
      for (long f = 0; f < frames; ++f) {
        const double v = 0.5 * std::sin(m_phase);
        m_phase += step;
        for (int c = 0; c < wf.nChannels; ++c) {
          BYTE* p = &pcm[static_cast<size_t>(f * wf.nBlockAlign + c * wf.wBitsPerSample / 8)];
          if (wf.wBitsPerSample == 16) {
            const int16_t s = static_cast<int16_t>(std::lround(v * 32767));
            std::memcpy(p, &s, 2);
          } else {
            *p = static_cast<BYTE>(std::lround(128 + v * 127));
          }
        }
      }
    }
    return PushBytes(pcm.data(), static_cast<long>(pcm.size()), wf.nAvgBytesPerSec);
  }

  long PushAudio(const BYTE* data, long length) {
    const CMediaType mt = Format();
    if (mt.cbFormat < sizeof(WAVEFORMATEX)) return 0;
    WAVEFORMATEX wf;
    std::memcpy(&wf, mt.pbFormat, sizeof(wf));
    return PushBytes(data, length, wf.nAvgBytesPerSec);
  }

  int PushFrames(int count) {
    const long size = static_cast<long>(m_device.width) * m_device.height * (m_device.yuy2 ? 2 : 3);
    std::vector<BYTE> frame(static_cast<size_t>(size));
    int delivered = 0;
    for (int i = 0; i < count; ++i) {
      int64_t n;
      {
        std::lock_guard<std::mutex> lock(m_clockLock);
        n = m_position++;
      }
      // Bars whose colour depends on the column and the frame number.
      for (long b = 0; b < size; ++b) frame[static_cast<size_t>(b)] = static_cast<BYTE>((b / 3 + n * 7) & 0xFF);
      REFERENCE_TIME start = n * (10000000 / 30), stop = start + 10000000 / 30;
      const HRESULT hr = DeliverBuffer(frame.data(), size, m_device.stampTimes ? &start : nullptr,
                                       m_device.stampTimes ? &stop : nullptr);
      if (hr == S_OK) ++delivered;
    }
    return delivered;
  }

 protected:
  HRESULT CheckFormat(const CMediaType* mt) override {
    if (m_device.refuseFormat) return E_FAIL;
    if (m_device.kind != VirtualKind::AudioInput) {
      return MediaTypesEqual(*mt, VideoType(m_device)) ? S_OK : E_FAIL;
    }
    return CheckPcmFormat(mt);
  }
  bool HasStreamConfig() const override { return m_device.hasStreamConfig; }
  bool HasBufferNegotiation() const override { return m_device.hasBufferNegotiation; }
  ALLOCATOR_PROPERTIES DefaultAllocator() override {
    if (m_device.kind != VirtualKind::AudioInput)
      return {2, m_device.width * m_device.height * 3, 1, 0};
    const CMediaType mt = Format();
    WAVEFORMATEX wf{};
    if (mt.cbFormat >= sizeof(wf)) std::memcpy(&wf, mt.pbFormat, sizeof(wf));
    const int64_t bytes = static_cast<int64_t>(wf.nAvgBytesPerSec) * std::max(1, m_device.bufferMs) / 1000;
    return {4, static_cast<int32_t>(std::clamp<int64_t>(bytes / std::max<int>(1, wf.nBlockAlign) * wf.nBlockAlign,
                                                         wf.nBlockAlign ? wf.nBlockAlign : 1, 16 << 20)),
            1, 0};
  }

 private:
  long PushBytes(const BYTE* data, long length, uint32_t bytesPerSecond) {
    const long chunk = BufferSize();
    if (chunk <= 0 || bytesPerSecond == 0) return 0;
    long done = 0;
    while (done < length) {
      const long n = std::min(chunk, length - done);
      int64_t at;
      {
        std::lock_guard<std::mutex> lock(m_clockLock);
        at = m_position;
        m_position += n;
      }
      REFERENCE_TIME start = at * 10000000 / bytesPerSecond;
      REFERENCE_TIME stop = (at + n) * 10000000 / bytesPerSecond;
      const HRESULT hr = DeliverBuffer(data + done, n, m_device.stampTimes ? &start : nullptr,
                                       m_device.stampTimes ? &stop : nullptr);
      if (hr != S_OK) break;
      done += n;
    }
    return done;
  }

  VirtualDevice m_device;
  std::mutex m_clockLock;
  int64_t m_position = 0;  // bytes (sound) or frames (pictures) since Run
  double m_phase = 0;
};

class CVirtualFilter : public CCaptureFilter {
 public:
  explicit CVirtualFilter(const VirtualDevice& device)
      : CCaptureFilter(device.name.c_str(), ClassOf(device)), m_device(device) {
    if (device.kind == VirtualKind::AudioInput || device.kind == VirtualKind::VideoInput)
      m_pin = std::make_unique<CVirtualPin>(this, &m_csFilter, device);
    std::lock_guard<std::mutex> lock(Reg().lock);
    Reg().filters.push_back(this);
  }
  ~CVirtualFilter() override {
    std::lock_guard<std::mutex> lock(Reg().lock);
    auto& f = Reg().filters;
    f.erase(std::remove(f.begin(), f.end(), this), f.end());
  }

  static CLSID ClassOf(const VirtualDevice& d) {
    switch (d.kind) {
      case VirtualKind::AudioInput: return CLSID_VirtualAudioCapture;
      case VirtualKind::VideoInput: return CLSID_VirtualVideoCapture;
      case VirtualKind::AudioRenderer: return d.directSound ? CLSID_DSoundRender : CLSID_AudioRender;
      default: return CLSID_VirtualPlaceholder;
    }
  }

  const VirtualDevice& Device() const { return m_device; }
  CVirtualPin* Pin() { return static_cast<CVirtualPin*>(m_pin.get()); }

 private:
  VirtualDevice m_device;
};

// Running filters of a name, each with one reference taken.
std::vector<CVirtualFilter*> FiltersNamed(const std::wstring& name) {
  std::vector<CVirtualFilter*> out;
  std::lock_guard<std::mutex> lock(Reg().lock);
  for (CVirtualFilter* f : Reg().filters)
    if (f->Device().name == name && f->TryAddRef()) out.push_back(f);
  return out;
}

const GUID& CategoryOf(VirtualKind kind) {
  switch (kind) {
    case VirtualKind::AudioInput: return CLSID_AudioInputDeviceCategory;
    case VirtualKind::VideoInput: return CLSID_VideoInputDeviceCategory;
    case VirtualKind::AudioRenderer: return CLSID_AudioRendererCategory;
    case VirtualKind::AudioCompressor: return CLSID_AudioCompressorCategory;
    case VirtualKind::VideoCompressor: return CLSID_VideoCompressorCategory;
  }
  return CLSID_AudioInputDeviceCategory;
}

class CVirtualBackend : public DeviceBackend {
 public:
  void Enumerate(const GUID& category, std::vector<DeviceEntry>* out) override {
    std::lock_guard<std::mutex> lock(Reg().lock);
    for (const VirtualDevice& d : Reg().devices) {
      if (CategoryOf(d.kind) != category) continue;
      out->push_back({d.name, [d](IBaseFilter** filter) {
                        if (d.failOpen) return E_FAIL;
                        auto* f = new CVirtualFilter(d);
                        return GetInterface(static_cast<IBaseFilter*>(f), reinterpret_cast<void**>(filter));
                      }});
    }
  }
};

}  // namespace

void SetVirtualDevices(const std::vector<VirtualDevice>& devices) {
  std::lock_guard<std::mutex> lock(Reg().lock);
  Reg().devices = devices;
}

long PushVirtualTone(const std::wstring& name, int ms) {
  long total = 0;
  for (CVirtualFilter* f : FiltersNamed(name)) {
    if (f->Pin() && f->Device().kind == VirtualKind::AudioInput) total += f->Pin()->PushTone(ms);
    f->Release();
  }
  return total;
}

long PushVirtualAudio(const std::wstring& name, const BYTE* data, long length) {
  long total = 0;
  for (CVirtualFilter* f : FiltersNamed(name)) {
    if (f->Pin() && f->Device().kind == VirtualKind::AudioInput) total += f->Pin()->PushAudio(data, length);
    f->Release();
  }
  return total;
}

int PushVirtualFrames(const std::wstring& name, int count) {
  int total = 0;
  for (CVirtualFilter* f : FiltersNamed(name)) {
    if (f->Pin() && f->Device().kind == VirtualKind::VideoInput) total += f->Pin()->PushFrames(count);
    f->Release();
  }
  return total;
}

int InjectVirtualEvent(const std::wstring& name, long code) {
  int n = 0;
  for (CVirtualFilter* f : FiltersNamed(name)) {
    if (SUCCEEDED(f->NotifyEvent(code, 0, 0))) ++n;
    f->Release();
  }
  return n;
}

DeviceBackend& VirtualBackend() {
  static CVirtualBackend backend;
  return backend;
}

}  // namespace dshow
