#include "platform/dshow/capture_pin.h"

#include <cstring>

CCapturePin::CCapturePin(CBaseFilter* filter, std::recursive_mutex* lock, const wchar_t* name)
    : CBaseOutputPin(name, filter, lock) {}

CCapturePin::~CCapturePin() {
  m_streaming = false;
  if (m_thread.joinable()) m_thread.join();
}

HRESULT CCapturePin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IAMStreamConfig && HasStreamConfig())
    return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
  if (riid == IID_IAMBufferNegotiation && HasBufferNegotiation())
    return GetInterface(static_cast<IAMBufferNegotiation*>(this), ppv);
  if (riid == IID_IPinCategory) return GetInterface(static_cast<IPinCategory*>(this), ppv);
  return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CCapturePin::SetFormat(AM_MEDIA_TYPE* mt) {
  if (!mt) return E_POINTER;
  CMediaType type(*mt);
  std::lock_guard<std::recursive_mutex> lock(*m_pLock);
  if (!m_pFilter->IsStopped()) return VFW_E_NOT_STOPPED;
  if (IsConnected() && !MediaTypesEqual(type, m_mt)) return VFW_E_ALREADY_CONNECTED;
  const HRESULT hr = CheckFormat(&type);
  if (hr != S_OK) return FAILED(hr) ? hr : VFW_E_INVALIDMEDIATYPE;
  SetCurrentFormat(type);
  return S_OK;
}

HRESULT CCapturePin::GetFormat(AM_MEDIA_TYPE** mt) {
  if (!mt) return E_POINTER;
  std::lock_guard<std::mutex> lock(m_formatLock);
  *mt = CreateMediaType(&m_format);
  return *mt ? S_OK : E_OUTOFMEMORY;
}

HRESULT CCapturePin::GetNumberOfCapabilities(int* count, int* size) {
  if (!count || !size) return E_POINTER;
  std::lock_guard<std::mutex> lock(m_formatLock);
  *count = static_cast<int>(m_caps.size());
  *size = 0;
  return S_OK;
}

HRESULT CCapturePin::GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE*) {
  if (!mt) return E_POINTER;
  std::lock_guard<std::mutex> lock(m_formatLock);
  if (index < 0 || index >= static_cast<int>(m_caps.size())) return S_FALSE;
  *mt = CreateMediaType(&m_caps[static_cast<size_t>(index)]);
  return *mt ? S_OK : E_OUTOFMEMORY;
}

HRESULT CCapturePin::SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* props) {
  if (!props) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(*m_pLock);
  if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
  m_suggested = *props;
  return S_OK;
}

HRESULT CCapturePin::GetAllocatorProperties(ALLOCATOR_PROPERTIES* props) {
  if (!props) return E_POINTER;
  if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
  return m_pAllocator->GetProperties(props);
}

HRESULT CCapturePin::GetPinCategory(GUID* category) {
  if (!category) return E_POINTER;
  *category = PIN_CATEGORY_CAPTURE;
  return S_OK;
}

HRESULT CCapturePin::CheckMediaType(const CMediaType* mt) {
  std::lock_guard<std::mutex> lock(m_formatLock);
  return MediaTypesEqual(*mt, m_format) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CCapturePin::GetMediaType(int position, CMediaType* mt) {
  if (position < 0) return E_INVALIDARG;
  std::lock_guard<std::mutex> lock(m_formatLock);
  // The current format first (the one a connection takes), then every type
  // the device lists, for callers that look for a size it offers.
  if (position == 0) {
    *mt = m_format;
    return S_OK;
  }
  if (static_cast<size_t>(position) > m_caps.size()) return VFW_S_NO_MORE_ITEMS;
  *mt = m_caps[static_cast<size_t>(position - 1)];
  return S_OK;
}

HRESULT CCapturePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  ALLOCATOR_PROPERTIES want = DefaultAllocator();
  if (m_suggested.cBuffers > 0) want.cBuffers = m_suggested.cBuffers;
  if (m_suggested.cbBuffer > 0) want.cbBuffer = m_suggested.cbBuffer;
  if (m_suggested.cbAlign > 0) want.cbAlign = m_suggested.cbAlign;
  if (request) {
    if (request->cBuffers > want.cBuffers) want.cBuffers = request->cBuffers;
    if (request->cbBuffer > want.cbBuffer) want.cbBuffer = request->cbBuffer;
  }
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(&want, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < want.cbBuffer ? E_FAIL : S_OK;
}

HRESULT CCapturePin::Active() {
  const HRESULT hr = CBaseOutputPin::Active();
  if (FAILED(hr)) return hr;
  return S_OK;
}

HRESULT CCapturePin::Run(REFERENCE_TIME) {
  if (m_streaming.exchange(true)) return S_OK;
  if (UsesThread()) {
    if (m_thread.joinable()) m_thread.join();
    m_thread = std::thread([this] { CaptureLoop(); });
  }
  return S_OK;
}

HRESULT CCapturePin::Inactive() {
  m_streaming = false;
  // Wake a delivery blocked on a buffer, then wait for it and for the thread.
  CBaseOutputPin::Inactive();
  { std::lock_guard<std::mutex> wait(m_deliverLock); }
  if (m_thread.joinable()) m_thread.join();
  return S_OK;
}

HRESULT CCapturePin::DeliverBuffer(const BYTE* data, long length, const REFERENCE_TIME* start,
                                   const REFERENCE_TIME* stop) {
  std::lock_guard<std::mutex> lock(m_deliverLock);
  if (!m_streaming) return S_FALSE;
  if (!data || length < 0) return E_POINTER;
  IMediaSample* sample = nullptr;
  HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  if (length > sample->GetSize()) {
    sample->Release();
    return VFW_E_BUFFER_OVERFLOW;
  }
  BYTE* dst = nullptr;
  sample->GetPointer(&dst);
  std::memcpy(dst, data, static_cast<size_t>(length));
  sample->SetActualDataLength(length);
  if (start) {
    REFERENCE_TIME s = *start, e = stop ? *stop : *start + 1;
    sample->SetTime(&s, &e);
  }
  sample->SetSyncPoint(1);
  hr = Deliver(sample);
  sample->Release();
  return hr;
}

HRESULT CCapturePin::CheckPcmFormat(const CMediaType* mt) {
  if (mt->majortype != MEDIATYPE_Audio || mt->formattype != FORMAT_WaveFormatEx || mt->cbFormat < sizeof(WAVEFORMATEX))
    return E_FAIL;
  WAVEFORMATEX wf;
  std::memcpy(&wf, mt->pbFormat, sizeof(wf));
  const bool usable = wf.wFormatTag == WAVE_FORMAT_PCM && (wf.nChannels == 1 || wf.nChannels == 2) &&
                      (wf.wBitsPerSample == 8 || wf.wBitsPerSample == 16) && wf.nSamplesPerSec >= 8000 &&
                      wf.nSamplesPerSec <= 192000 && wf.nBlockAlign == wf.nChannels * wf.wBitsPerSample / 8 &&
                      wf.nAvgBytesPerSec == wf.nSamplesPerSec * wf.nBlockAlign;
  return usable ? S_OK : E_FAIL;
}

long CCapturePin::BufferSize() {
  // Pushers outside the graph's own threads ask this while the graph may be
  // stopping; the allocator is released only after Inactive has waited for
  // this lock, so holding it keeps the allocator alive for the question.
  std::lock_guard<std::mutex> lock(m_deliverLock);
  if (!m_streaming) return 0;
  ALLOCATOR_PROPERTIES props{};
  if (!m_pAllocator || FAILED(m_pAllocator->GetProperties(&props))) return 0;
  return props.cbBuffer;
}

CMediaType CCapturePin::Format() {
  std::lock_guard<std::mutex> lock(m_formatLock);
  return m_format;
}

void CCapturePin::SetCurrentFormat(const CMediaType& mt) {
  std::lock_guard<std::mutex> lock(m_formatLock);
  m_format = mt;
}

void CCapturePin::AddCapability(const CMediaType& mt) {
  std::lock_guard<std::mutex> lock(m_formatLock);
  m_caps.push_back(mt);
}

CCaptureFilter::CCaptureFilter(const wchar_t* name, REFCLSID clsid) : CBaseFilter(name, &m_csFilter, clsid) {}
