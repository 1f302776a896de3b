#include "platform/dshow/backend_virtual.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>

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

struct CameraPixels {
  GUID subtype;
  int bitCount;
  uint32_t compression;
};

CameraPixels PixelsOf(const VirtualDevice& d) {
  if (d.yv12) return {MEDIASUBTYPE_YV12, 12, 0x32315659u};  // 'YV12'
  if (d.yuy2) return {MEDIASUBTYPE_YUY2, 16, 0x32595559u};  // 'YUY2'
  return {MEDIASUBTYPE_RGB24, 24, 0};
}

long ImageBytes(int width, int height, int bitCount) {
  return static_cast<long>(width) * height * bitCount / 8;
}

CMediaType VideoType(const VirtualDevice& d, int width, int height) {
  const CameraPixels px = PixelsOf(d);
  CMediaType mt;
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = px.subtype;
  mt.formattype = FORMAT_VideoInfo;
  mt.bFixedSizeSamples = 1;
  VIDEOINFOHEADER vih{};
  vih.AvgTimePerFrame = 10000000 / 30;
  vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih.bmiHeader.biWidth = width;
  vih.bmiHeader.biHeight = d.topDown && !d.yuy2 && !d.yv12 ? -height : height;
  vih.bmiHeader.biPlanes = 1;
  vih.bmiHeader.biBitCount = static_cast<uint16_t>(px.bitCount);
  vih.bmiHeader.biCompression = px.compression;
  vih.bmiHeader.biSizeImage = static_cast<uint32_t>(ImageBytes(width, height, px.bitCount));
  mt.lSampleSize = vih.bmiHeader.biSizeImage;
  SetFormatBlock(&mt, &vih, sizeof(vih));
  return mt;
}

bool ReadVideoInfo(const AM_MEDIA_TYPE& mt, VIDEOINFOHEADER* vih) {
  if (mt.formattype != FORMAT_VideoInfo || !mt.pbFormat || mt.cbFormat < sizeof(VIDEOINFOHEADER)) return false;
  std::memcpy(vih, mt.pbFormat, sizeof(*vih));
  return true;
}

BYTE Clamp255(double v) { return static_cast<BYTE>(v < 0 ? 0 : v > 255 ? 255 : std::lround(v)); }

// Studio-range BT.601, the way cameras deliver YUV.
void RgbToYuv(const BYTE* bgr, double* y, double* u, double* v) {
  const double b = bgr[0], g = bgr[1], r = bgr[2];
  *y = 16 + 0.256788 * r + 0.504129 * g + 0.097906 * b;
  *u = 128 - 0.148223 * r - 0.290993 * g + 0.439216 * b;
  *v = 128 + 0.439216 * r - 0.367788 * g - 0.071427 * b;
}

// The pattern in the camera's own layout.
std::vector<BYTE> PatternFrame(const VirtualDevice& d, int width, int height, bool topDownRgb) {
  const std::vector<BYTE> bgr = VirtualPatternBgr(width, height);
  std::vector<BYTE> out;
  if (!d.yuy2 && !d.yv12) {
    out.resize(bgr.size());
    const size_t row = static_cast<size_t>(width) * 3;
    for (int r = 0; r < height; ++r)
      std::memcpy(&out[static_cast<size_t>(r) * row], &bgr[static_cast<size_t>(topDownRgb ? r : height - 1 - r) * row],
                  row);
    return out;
  }
  if (d.yuy2) {
    out.resize(static_cast<size_t>(width) * height * 2);
    for (int r = 0; r < height; ++r)
      for (int c = 0; c + 1 < width; c += 2) {
        double y0, u0, v0, y1, u1, v1;
        RgbToYuv(&bgr[(static_cast<size_t>(r) * width + c) * 3], &y0, &u0, &v0);
        RgbToYuv(&bgr[(static_cast<size_t>(r) * width + c + 1) * 3], &y1, &u1, &v1);
        BYTE* p = &out[(static_cast<size_t>(r) * width + c) * 2];
        p[0] = Clamp255(y0);
        p[1] = Clamp255((u0 + u1) / 2);
        p[2] = Clamp255(y1);
        p[3] = Clamp255((v0 + v1) / 2);
      }
    return out;
  }
  const size_t lumaBytes = static_cast<size_t>(width) * height;
  const size_t chromaBytes = static_cast<size_t>(width / 2) * (height / 2);
  out.resize(lumaBytes + 2 * chromaBytes);
  BYTE* vPlane = &out[lumaBytes];
  BYTE* uPlane = vPlane + chromaBytes;
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c) {
      double y, u, v;
      RgbToYuv(&bgr[(static_cast<size_t>(r) * width + c) * 3], &y, &u, &v);
      out[static_cast<size_t>(r) * width + c] = Clamp255(y);
      if (r % 2 == 0 && c % 2 == 0 && r / 2 < height / 2 && c / 2 < width / 2) {
        const size_t at = static_cast<size_t>(r / 2) * (width / 2) + c / 2;
        uPlane[at] = Clamp255(u);
        vPlane[at] = Clamp255(v);
      }
    }
  return out;
}

class CVirtualPin : public CCapturePin {
 public:
  CVirtualPin(CBaseFilter* filter, std::recursive_mutex* lock, const VirtualDevice& device)
      : CCapturePin(filter, lock, L"Capture"), m_device(device) {
    CMediaType mt;
    if (device.kind == VirtualKind::AudioInput)
      BuildPcmMediaType(&mt, device.format);
    else
      mt = VideoType(device, device.width, device.height);
    SetCurrentFormat(mt);
    AddCapability(mt);
    if (device.kind == VirtualKind::VideoInput)
      for (const auto& size : device.moreSizes) AddCapability(VideoType(device, size.first, size.second));
  }

  HRESULT Active() override {
    if (m_device.failStart) return E_FAIL;
    return CCapturePin::Active();
  }

  bool UsesThread() const override { return m_device.kind == VirtualKind::AudioInput && m_device.live; }

  // The live microphone: one buffer at a time, each delivered when its last
  // sample is due on the device's own clock.
  void CaptureLoop() override {
    const CMediaType mt = Format();
    WAVEFORMATEX wf{};
    if (mt.cbFormat < sizeof(wf)) return;
    std::memcpy(&wf, mt.pbFormat, sizeof(wf));
    const long chunk = BufferSize() / std::max<int>(1, wf.nBlockAlign) * wf.nBlockAlign;
    if (chunk <= 0 || wf.wBitsPerSample != 16 || m_device.clockRate <= 0) return;
    const double samplesPerNs = wf.nSamplesPerSec * m_device.clockRate / 1e9;
    const auto start = std::chrono::steady_clock::now();
    const int64_t startNs = start.time_since_epoch().count();
    std::vector<BYTE> pcm(static_cast<size_t>(chunk));
    const long frames = chunk / wf.nBlockAlign;
    for (int64_t first = 0; IsStreaming(); first += frames) {
      const auto dueNs = static_cast<int64_t>((first + frames) / samplesPerNs);
      // Short sleeps, so a stop is never held up by a long wait.
      while (IsStreaming() && std::chrono::steady_clock::now() < start + std::chrono::nanoseconds(dueNs))
        std::this_thread::sleep_until(std::min(start + std::chrono::nanoseconds(dueNs),
                                               std::chrono::steady_clock::now() + std::chrono::milliseconds(20)));
      for (long f = 0; f < frames; ++f) {
        const int64_t n = first + f;
        const double t = static_cast<double>(n) / wf.nSamplesPerSec;
        double v = m_device.toneLevel * std::sin(2.0 * M_PI * m_device.toneHz * t);
        const int64_t atNs = startNs + static_cast<int64_t>(n / samplesPerNs);
        if (m_device.beepMs > 0 && atNs % 1000000000 < int64_t{m_device.beepMs} * 1000000)
          v += 0.25 * std::sin(2.0 * M_PI * m_device.beepHz * t);
        const int16_t sample = static_cast<int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
        for (int c = 0; c < wf.nChannels; ++c)
          std::memcpy(&pcm[static_cast<size_t>(f * wf.nBlockAlign + c * 2)], &sample, 2);
      }
      if (PushBytes(pcm.data(), chunk, wf.nAvgBytesPerSec) != chunk) return;
    }
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
    const CMediaType mt = Format();
    VIDEOINFOHEADER vih;
    if (!ReadVideoInfo(mt, &vih)) return 0;
    const std::vector<BYTE> frame =
        PatternFrame(m_device, vih.bmiHeader.biWidth, std::abs(vih.bmiHeader.biHeight), vih.bmiHeader.biHeight < 0);
    int delivered = 0;
    for (int i = 0; i < count; ++i)
      if (PushFrameBytes(frame.data(), static_cast<long>(frame.size())) == S_OK) ++delivered;
    return delivered;
  }

  HRESULT PushFrameBytes(const BYTE* data, long length) {
    const CMediaType mt = Format();
    VIDEOINFOHEADER vih;
    if (!ReadVideoInfo(mt, &vih)) return E_FAIL;
    const int64_t frameTime = vih.AvgTimePerFrame > 0 ? vih.AvgTimePerFrame : 10000000 / 30;
    int64_t n;
    {
      std::lock_guard<std::mutex> lock(m_clockLock);
      n = m_position++;
    }
    REFERENCE_TIME start = n * frameTime, stop = start + frameTime;
    return DeliverBuffer(data, length, m_device.stampTimes ? &start : nullptr, m_device.stampTimes ? &stop : nullptr);
  }

 protected:
  HRESULT CheckFormat(const CMediaType* mt) override {
    if (m_device.refuseFormat) return E_FAIL;
    if (m_device.kind != VirtualKind::AudioInput) return CheckVideoFormat(*mt);
    return CheckPcmFormat(mt);
  }
  bool HasStreamConfig() const override { return m_device.hasStreamConfig; }
  bool HasBufferNegotiation() const override { return m_device.hasBufferNegotiation; }
  ALLOCATOR_PROPERTIES DefaultAllocator() override {
    if (m_device.kind != VirtualKind::AudioInput) {
      VIDEOINFOHEADER vih{};
      ReadVideoInfo(Format(), &vih);
      return {2, std::max<int32_t>(1, static_cast<int32_t>(vih.bmiHeader.biSizeImage)), 1, 0};
    }
    const CMediaType mt = Format();
    WAVEFORMATEX wf{};
    if (mt.cbFormat >= sizeof(wf)) std::memcpy(&wf, mt.pbFormat, sizeof(wf));
    const int64_t bytes = static_cast<int64_t>(wf.nAvgBytesPerSec) * std::max(1, m_device.bufferMs) / 1000;
    return {4, static_cast<int32_t>(std::clamp<int64_t>(bytes / std::max<int>(1, wf.nBlockAlign) * wf.nBlockAlign,
                                                         wf.nBlockAlign ? wf.nBlockAlign : 1, 16 << 20)),
            1, 0};
  }

 private:
  // A camera takes its own pixel layout at one of its sizes, with a
  // consistent bit count and image size, and any positive frame time.
  HRESULT CheckVideoFormat(const AM_MEDIA_TYPE& mt) const {
    VIDEOINFOHEADER vih;
    const CameraPixels px = PixelsOf(m_device);
    if (mt.majortype != MEDIATYPE_Video || mt.subtype != px.subtype || !ReadVideoInfo(mt, &vih)) return E_FAIL;
    const BITMAPINFOHEADER& h = vih.bmiHeader;
    const bool wantTopDown = m_device.topDown && !m_device.yuy2 && !m_device.yv12;
    if (h.biBitCount != px.bitCount || (h.biHeight < 0) != wantTopDown || vih.AvgTimePerFrame <= 0) return E_FAIL;
    const int height = std::abs(h.biHeight);
    if (h.biSizeImage != static_cast<uint32_t>(ImageBytes(h.biWidth, height, px.bitCount))) return E_FAIL;
    std::vector<std::pair<int, int>> sizes = m_device.moreSizes;
    sizes.emplace_back(m_device.width, m_device.height);
    for (const auto& s : sizes)
      if (s.first == h.biWidth && s.second == height) return S_OK;
    return E_FAIL;
  }

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

int PushVirtualFrameBytes(const std::wstring& name, const BYTE* data, long length) {
  int total = 0;
  for (CVirtualFilter* f : FiltersNamed(name)) {
    if (f->Pin() && f->Device().kind == VirtualKind::VideoInput && f->Pin()->PushFrameBytes(data, length) == S_OK)
      ++total;
    f->Release();
  }
  return total;
}

bool VirtualCameraFormat(const std::wstring& name, CMediaType* format) {
  bool found = false;
  for (CVirtualFilter* f : FiltersNamed(name)) {
    if (!found && f->Pin() && f->Device().kind == VirtualKind::VideoInput) {
      *format = f->Pin()->Format();
      found = true;
    }
    f->Release();
  }
  return found;
}

std::vector<BYTE> VirtualPatternBgr(int width, int height) {
  static const BYTE kQuadrants[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};
  std::vector<BYTE> bgr(static_cast<size_t>(std::max(0, width)) * std::max(0, height) * 3);
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c) {
      const BYTE* q = kQuadrants[(r < height / 2 ? 0 : 2) + (c < width / 2 ? 0 : 1)];
      std::memcpy(&bgr[(static_cast<size_t>(r) * width + c) * 3], q, 3);
    }
  return bgr;
}

DeviceBackend& VirtualBackend() {
  static CVirtualBackend backend;
  return backend;
}

}  // namespace dshow
