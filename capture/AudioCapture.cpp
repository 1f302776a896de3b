#include "capture/AudioCapture.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>

#include "capture/TextConvert.h"
#include "common/Log.h"
#include "platform/base/thread_priority.h"
#include "platform/base/tick.h"
#include "platform/dshow/graph_helpers.h"

IAudioCapture* CreateAudioCapture(IAudioCaptureNotify* notify, int captureId, const char* deviceName,
                                  int nameIndex, int nameCount, int* /*channels*/, int* sampleRate,
                                  unsigned short* bitsPerSample, bool* ok, std::string* error) {
  bool built = false;
  std::string scratch;
  std::string* err = error ? error : &scratch;
  if (!sampleRate || !bitsPerSample) {
    if (ok) *ok = false;
    err->append("AudioCapture create err");
    return nullptr;
  }
  const std::wstring name = AnsiToWide(deviceName ? deviceName : "");
  auto* capture = new (std::nothrow) CAudioCapture(notify, captureId, err, *sampleRate, *bitsPerSample);
  if (!capture) {
    if (ok) *ok = false;
    return nullptr;
  }
  capture->Create(name, nameIndex, nameCount, &built);
  if (ok) *ok = built;
  if (!built) {
    err->append("AudioCapture create err");
    STRIVON_LOG(kLogWarning, "CreateAudioCapture", "%s", err->c_str());
    capture->Release();
    return nullptr;
  }
  return capture;
}

CAudioCapture::CAudioCapture(IAudioCaptureNotify* notify, int captureId, std::string* createError, int sampleRate,
                             unsigned short bitsPerSample)
    : m_id(captureId), m_notify(notify), m_createError(createError) {
  m_target.wFormatTag = WAVE_FORMAT_PCM;
  m_target.nChannels = 2;
  m_target.nSamplesPerSec = static_cast<uint32_t>(sampleRate);
  m_target.wBitsPerSample = bitsPerSample;
  m_target.nBlockAlign = static_cast<uint16_t>((2 * bitsPerSample) / 8);
  m_target.nAvgBytesPerSec = m_target.nBlockAlign * m_target.nSamplesPerSec;
  m_target.cbSize = 0;
}

CAudioCapture::~CAudioCapture() = default;

void CAudioCapture::Create(const std::wstring& deviceName, int nameIndex, int nameCount, bool* ok) {
  m_chosenName = deviceName;
  m_chosenIndex = nameIndex;
  m_chosenCount = nameCount;
  m_deviceList = CreateDeviceList(this);
  *ok = BuildGraph(deviceName, nameIndex, nameCount, m_createError);
  // The caller's text is only for the creation.
  m_createError = nullptr;
}

std::string CAudioCapture::AppendError(const char* text) {
  std::lock_guard<std::mutex> lock(m_errorLock);
  m_error.append(text);
  return m_error;
}

void CAudioCapture::Report(const std::string& text, int kind) {
  if (kind == 0) STRIVON_LOG(kLogWarning, "CAudioCapture::Report", "%s", text.c_str());
  if (m_notify) m_notify->OnHDAudioCapNotify(text, kind);
}

void CAudioCapture::ReleaseGraph() {
  if (m_render) {
    m_render->Release();
    m_render = nullptr;
  }
  SafeRelease(&m_control);
  SafeRelease(&m_event);
  SafeRelease(&m_builder);
  SafeRelease(&m_graph);
}

bool CAudioCapture::BuildGraph(const std::wstring& name, int nameIndex, int nameCount, std::string* error) {
  auto fail = [&](const char* text) {
    if (error) error->append(text);
    return false;
  };
  m_deviceName = name;
  m_deviceIndex = nameIndex;
  m_deviceCount = nameCount;
  m_graphBuilt = false;
  ReleaseGraph();
  // COM is needed on this thread only while the graph's objects are made;
  // the build balances its own initialisation.
  dshow::ApartmentHold apartment;
  if (FAILED(apartment.Enter())) return fail("AudioCapture Com Initialize err");

  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                              reinterpret_cast<void**>(&m_graph))))
    return fail("AudioCapture FilterGraph build err");
  if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                              reinterpret_cast<void**>(&m_builder))))
    return fail("AudioCapture find ICaptureGraphBuilder2 interface err");
  if (FAILED(m_builder->SetFiltergraph(m_graph))) return fail("AudioCapture setfiltergraph err");
  if (FAILED(m_graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&m_control))) ||
      FAILED(m_graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&m_event))))
    return fail("AudioCapture find IMediaEventEx interface err");

  IBaseFilter* device = nullptr;
  bool countMatches = false;
  const HRESULT found = FindDevice(name, nameIndex, nameCount, &countMatches, &device);
  if (FAILED(found)) fail("AudioCapture create audio capture device err");
  if (!countMatches && m_notify)
    m_notify->OnHDAudioCapNotify(
        "AudioCapture find the sum of devices with same name is different from the sum passed in", 1);
  if (FAILED(found)) return false;

  ApplyCaptureFormat(device);
  bool ok = SUCCEEDED(m_graph->AddFilter(device, L"音频捕获filter"));
  if (!ok) fail("AudioCaptureFilter add err");
  if (ok) {
    m_connected = WAVEFORMATEX{};
    HRESULT hr = S_OK;
    m_render = CAudioRender::Create(this, &m_connected, &hr);
    if (!m_render || FAILED(hr)) {
      ok = fail("AudioRenderFilter build err");
    } else if (FAILED(m_graph->AddFilter(m_render, L"音频数据抓取 Audio Render"))) {
      ok = fail("AudioRenderFilter Add err");
    } else if (FAILED(m_builder->RenderStream(nullptr, &MEDIATYPE_Audio, device, nullptr, m_render))) {
      ok = fail("AudioCapture AudioRender Connect err");
    }
  }
  // The graph holds the device from here on.
  device->Release();
  m_graphBuilt = ok;
  return ok;
}

HRESULT CAudioCapture::FindDevice(const std::wstring& name, int nameIndex, int nameCount, bool* countMatches,
                                  IBaseFilter** filter) {
  *countMatches = false;
  *filter = nullptr;
  ICreateDevEnum* devEnum = nullptr;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                              reinterpret_cast<void**>(&devEnum))))
    return E_FAIL;
  IEnumMoniker* monikers = nullptr;
  const HRESULT hr = devEnum->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, &monikers, 0);
  devEnum->Release();
  if (hr != S_OK || !monikers) {
    // No inputs at all: no index can be chosen, so the count test fails too.
    if (monikers) monikers->Release();
    return E_FAIL;
  }
  struct Candidate {
    IMoniker* moniker;
    bool exact;
  };
  std::vector<Candidate> candidates;
  IMoniker* moniker = nullptr;
  ULONG fetched = 0;
  while (monikers->Next(1, &moniker, &fetched) == S_OK && fetched == 1) {
    bool match = false, exact = false;
    IPropertyBag* bag = nullptr;
    if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)))) {
      VARIANT v;
      VariantInit(&v);
      if (SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR && v.bstrVal) {
        const std::wstring friendly(v.bstrVal);
        match = name.empty() || friendly.substr(0, 15) == name.substr(0, 15);
        exact = !name.empty() && friendly == name;
      }
      VariantClear(&v);
      bag->Release();
    }
    if (match)
      candidates.push_back({moniker, exact});
    else
      moniker->Release();
  }
  monikers->Release();

  // Names that share their first 15 characters are told apart by the full
  // name when one of them matches it exactly.
  bool anyExact = false;
  for (auto& c : candidates) anyExact = anyExact || c.exact;
  std::vector<IMoniker*> chosen;
  for (auto& c : candidates) {
    if (!anyExact || c.exact)
      chosen.push_back(c.moniker);
    else
      c.moniker->Release();
  }
  *countMatches = static_cast<int>(chosen.size()) == nameCount;
  HRESULT result = E_FAIL;
  if (nameIndex < 0 || nameIndex >= static_cast<int>(chosen.size())) {
    *countMatches = false;
  } else if (SUCCEEDED(chosen[static_cast<size_t>(nameIndex)]->BindToObject(
                 nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter)))) {
    result = S_OK;
  }
  for (IMoniker* m : chosen) m->Release();
  return result;
}

void CAudioCapture::ApplyCaptureFormat(IBaseFilter* device) {
  IEnumPins* pins = nullptr;
  if (FAILED(device->EnumPins(&pins))) return;
  int outputs = 0;
  IPin* pin = nullptr;
  ULONG fetched = 0;
  while (outputs < 2 && pins->Next(1, &pin, &fetched) == S_OK && fetched == 1) {
    PIN_DIRECTION dir;
    if (FAILED(pin->QueryDirection(&dir)) || dir != PINDIR_OUTPUT) {
      pin->Release();
      continue;
    }
    ++outputs;
    IAMBufferNegotiation* negotiation = nullptr;
    if (SUCCEEDED(pin->QueryInterface(IID_IAMBufferNegotiation, reinterpret_cast<void**>(&negotiation)))) {
      ALLOCATOR_PROPERTIES props{6, 4096, m_target.wBitsPerSample / 8 * m_target.nChannels, 0};
      negotiation->SuggestAllocatorProperties(&props);
      negotiation->Release();
    }
    IAMStreamConfig* config = nullptr;
    if (FAILED(pin->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void**>(&config)))) {
      pin->Release();
      break;
    }
    AM_MEDIA_TYPE* mt = nullptr;
    if (SUCCEEDED(config->GetFormat(&mt)) && mt && mt->pbFormat && mt->cbFormat >= sizeof(WAVEFORMATEX)) {
      WAVEFORMATEX wf;
      std::memcpy(&wf, mt->pbFormat, sizeof(wf));
      wf.nChannels = m_target.nChannels;
      wf.nSamplesPerSec = m_target.nSamplesPerSec;
      wf.nAvgBytesPerSec = m_target.nAvgBytesPerSec;
      wf.wBitsPerSample = m_target.wBitsPerSample;
      wf.nBlockAlign = m_target.nBlockAlign;
      std::memcpy(mt->pbFormat, &wf, sizeof(wf));
      if (FAILED(config->SetFormat(mt))) {
        // The device keeps its own format; samples are converted to the
        // target on arrival, so the owner still gets what it asked for.
        AM_MEDIA_TYPE* own = nullptr;
        if (SUCCEEDED(config->GetFormat(&own)) && own) {
          config->SetFormat(own);
          DeleteMediaType(own);
        }
      }
    }
    if (mt) DeleteMediaType(mt);
    config->Release();
    pin->Release();
  }
  pins->Release();
}

void CAudioCapture::JoinEventThread() {
  if (HasThread() && ThreadId() == static_cast<uint32_t>(gettid())) return;
  Join();
}

void CAudioCapture::RegisterInRot() {
  // One registration per object: a second Start replaces the first.
  RevokeFromRot();
  m_rotCookie = RegisterGraphInRot(m_graph);
}

void CAudioCapture::RevokeFromRot() { RevokeGraphFromRot(&m_rotCookie); }

bool CAudioCapture::Start() {
  std::lock_guard<std::recursive_mutex> lock(m_apiLock);
  m_running = 1;
  CTVThread::Start();
  RegisterInRot();
  if (!m_control) {
    Report(AppendError("AudioCapture m_pControl null"), 0);
    return false;
  }
  if (FAILED(m_control->Run())) {
    Report(AppendError("AudioCapture Run 错误"), 0);
    return false;
  }
  m_graphRunning = true;
  return true;
}

bool CAudioCapture::Stop() {
  std::lock_guard<std::recursive_mutex> lock(m_apiLock);
  if (!m_control) {
    Report(AppendError("AudioCapture m_pControl null"), 0);
    return false;
  }
  const HRESULT hr = m_control->Stop();
  m_running = 0;
  JoinEventThread();
  if (FAILED(hr)) {
    Report(AppendError("AudioCapture STOP Err"), 0);
    return false;
  }
  m_graphRunning = false;
  return true;
}

void CAudioCapture::Release() {
  {
    std::lock_guard<std::recursive_mutex> lock(m_apiLock);
    m_running = 0;
    JoinEventThread();
    if (m_control && FAILED(m_control->Stop())) Report(AppendError("AudioCapture Stop 错误"), 0);
    RevokeFromRot();
    ReleaseGraph();
    if (m_deviceList) {
      m_deviceList->Release();
      m_deviceList = nullptr;
    }
    m_converter.Close();
    m_volume.reset();
  }
  delete this;
}

bool CAudioCapture::GetFormat(WAVEFORMATEX* out) {
  if (!out) return false;
  *out = m_target;
  static const WAVEFORMATEX zero{};
  return std::memcmp(&m_target, &zero, sizeof(zero)) != 0;
}

void CAudioCapture::OnAudioSample(IMediaSample* sample) {
  if (!sample) return;
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data)) || !data) return;
  const long length = sample->GetActualDataLength();
  if (length <= 0) return;
  REFERENCE_TIME start = 0, stop = 0;
  if (FAILED(sample->GetTime(&start, &stop))) {
    start = stop = 0;
    // Said once: a device without clock would otherwise grow the text and
    // flood the owner with every sample.
    if (!m_noTimeReported.exchange(true)) Report(AppendError("AudioCapture Get TimeStamp Err"), 1);
  }
  if (!m_notify) return;
  const int64_t startMs = start / 10000;
  const int64_t stopMs = stop / 10000;
  if (m_connected.nChannels == m_target.nChannels && m_connected.wBitsPerSample == m_target.wBitsPerSample &&
      m_connected.nSamplesPerSec == m_target.nSamplesPerSec && m_connected.wFormatTag == m_target.wFormatTag) {
    m_notify->OnAudioData(m_id, data, static_cast<int>(length), startMs, stopMs);
    return;
  }
  const int need = std::max(176400, m_converter.OutputBound(m_connected, static_cast<int>(length), m_target));
  m_convertBuffer.Reserve(need);
  int produced = 0;
  if (m_converter.Convert(m_connected, data, static_cast<int>(length), m_target, m_convertBuffer.data,
                          m_convertBuffer.capacity, &produced) &&
      produced > 0)
    m_notify->OnAudioData(m_id, m_convertBuffer.data, produced, startMs, stopMs);
}

void CAudioCapture::Run() {
  if (!m_event) {
    AppendError("AudioCapture m_pEventEx null");
    return;
  }
  // After every report the owner may have released this capture from here.
  OAEVENT handle = 0;
  if (FAILED(m_event->GetEventHandle(&handle))) Report(AppendError("AudioCapture GetEventHandle 错误"), 1);
  if (ReleasedOnThisThread()) return;
  if (!platform::SetCurrentThreadPriority(platform::ThreadPriority::TimeCritical))
    Report(AppendError("AudioCapture SetThreadPriority err"), 1);
  if (ReleasedOnThisThread()) return;
  while (m_running) {
    if (dshow::WaitEventHandle(handle, 100)) {
      long code = 0;
      LONG_PTR p1 = 0, p2 = 0;
      while (m_running && SUCCEEDED(m_event->GetEvent(&code, &p1, &p2, 0))) {
        if (code == EC_USERABORT || code == EC_ERRORABORT) {
          STRIVON_LOG(kLogWarning, "CAudioCapture::Run", "capture ended: %s",
                      code == EC_ERRORABORT ? CaptureAbortCauseText(p2) : "stopped by the graph");
          Report(AppendError("user abort"), 0);
        }
        if (ReleasedOnThisThread()) return;
        m_event->FreeEventParams(code, p1, p2);
      }
    }
    platform::SleepMs(1);
  }
}
