#include "platform/dshow/sample.h"

#include <algorithm>
#include <cstring>

CMediaSample::CMediaSample(CMemAllocator* allocator, long size)
    : m_allocator(allocator), m_buffer(static_cast<size_t>(std::max(size, 1L))) {
  dshow::AddLiveObject();
}

CMediaSample::~CMediaSample() { dshow::RemoveLiveObject(); }

HRESULT CMediaSample::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IMediaSample) return GetInterface(static_cast<IMediaSample*>(this), ppv);
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CMediaSample::AddRef() { return static_cast<ULONG>(++m_cRef); }

ULONG CMediaSample::Release() {
  const long left = --m_cRef;
  if (left == 0) m_allocator->ReleaseBuffer(this);
  return static_cast<ULONG>(left < 0 ? 0 : left);
}

HRESULT CMediaSample::GetPointer(BYTE** buffer) {
  if (!buffer) return E_POINTER;
  *buffer = m_buffer.data();
  return S_OK;
}
long CMediaSample::GetSize() { return static_cast<long>(m_buffer.size()); }

HRESULT CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
  if (!start || !stop) return E_POINTER;
  if (!m_hasTime) return VFW_E_SAMPLE_TIME_NOT_SET;
  *start = m_start;
  *stop = m_hasStop ? m_stop : m_start + 1;
  return S_OK;
}

HRESULT CMediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
  m_hasTime = start != nullptr;
  m_hasStop = start && stop;
  m_start = start ? *start : 0;
  m_stop = (start && stop) ? *stop : 0;
  return S_OK;
}

HRESULT CMediaSample::IsSyncPoint() { return m_sync ? S_OK : S_FALSE; }
HRESULT CMediaSample::SetSyncPoint(int32_t v) { m_sync = v != 0; return S_OK; }
HRESULT CMediaSample::IsPreroll() { return m_preroll ? S_OK : S_FALSE; }
HRESULT CMediaSample::SetPreroll(int32_t v) { m_preroll = v != 0; return S_OK; }
long CMediaSample::GetActualDataLength() { return m_actual; }

HRESULT CMediaSample::SetActualDataLength(long length) {
  if (length < 0 || length > static_cast<long>(m_buffer.size())) return VFW_E_BUFFER_OVERFLOW;
  m_actual = length;
  return S_OK;
}

HRESULT CMediaSample::GetMediaType(AM_MEDIA_TYPE** mt) {
  if (!mt) return E_POINTER;
  *mt = nullptr;
  if (!m_type) return S_FALSE;
  *mt = CreateMediaType(m_type.get());
  return *mt ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMediaSample::SetMediaType(AM_MEDIA_TYPE* mt) {
  if (!mt) {
    m_type.reset();
    return S_OK;
  }
  m_type = std::make_unique<CMediaType>(*mt);
  return S_OK;
}

HRESULT CMediaSample::IsDiscontinuity() { return m_discontinuity ? S_OK : S_FALSE; }
HRESULT CMediaSample::SetDiscontinuity(int32_t v) { m_discontinuity = v != 0; return S_OK; }

HRESULT CMediaSample::GetMediaTime(LONGLONG* start, LONGLONG* stop) {
  if (!start || !stop) return E_POINTER;
  if (!m_hasMediaTime) return VFW_E_SAMPLE_TIME_NOT_SET;
  *start = m_mediaStart;
  *stop = m_mediaStop;
  return S_OK;
}

HRESULT CMediaSample::SetMediaTime(LONGLONG* start, LONGLONG* stop) {
  m_hasMediaTime = start && stop;
  m_mediaStart = start ? *start : 0;
  m_mediaStop = stop ? *stop : 0;
  return S_OK;
}

void CMediaSample::ResetProperties() {
  m_actual = 0;
  m_hasTime = m_hasStop = m_hasMediaTime = false;
  m_sync = m_preroll = m_discontinuity = false;
  m_type.reset();
}

CMemAllocator::CMemAllocator() = default;
CMemAllocator::~CMemAllocator() = default;

IMemAllocator* CMemAllocator::Create() {
  auto* a = new CMemAllocator();
  a->AddRef();
  return a;
}

HRESULT CMemAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IUnknown || riid == IID_IMemAllocator) return GetInterface(static_cast<IMemAllocator*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
  if (!request || !actual) return E_POINTER;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_committed || m_outstanding) return VFW_E_WRONG_STATE;
  // Sizes are bounded so that a hostile or confused peer cannot make us
  // reserve gigabytes.
  if (request->cBuffers < 1 || request->cBuffers > 64 || request->cbBuffer < 1 ||
      request->cbBuffer > 64 * 1024 * 1024)
    return E_INVALIDARG;
  m_props = *request;
  m_props.cbAlign = std::max(1, request->cbAlign);
  m_props.cbPrefix = 0;
  *actual = m_props;
  return S_OK;
}

HRESULT CMemAllocator::GetProperties(ALLOCATOR_PROPERTIES* props) {
  if (!props) return E_POINTER;
  std::lock_guard<std::mutex> lock(m_mutex);
  *props = m_props;
  return S_OK;
}

HRESULT CMemAllocator::Commit() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_props.cBuffers < 1) return VFW_E_WRONG_STATE;
  if (m_committed) return S_OK;
  if (m_samples.empty() || static_cast<long>(m_samples.size()) != m_props.cBuffers ||
      m_samples.front()->GetSize() != m_props.cbBuffer) {
    if (m_outstanding) return VFW_E_WRONG_STATE;
    m_free.clear();
    m_samples.clear();
    for (int i = 0; i < m_props.cBuffers; ++i) {
      m_samples.push_back(std::make_unique<CMediaSample>(this, m_props.cbBuffer));
      m_free.push_back(m_samples.back().get());
    }
  }
  m_committed = true;
  return S_OK;
}

HRESULT CMemAllocator::Decommit() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_committed = false;
  m_freed.notify_all();
  return S_OK;
}

HRESULT CMemAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  CMediaSample* s = nullptr;
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_freed.wait(lock, [&] { return !m_committed || !m_free.empty(); });
    if (!m_committed) return VFW_E_NOT_COMMITTED;
    s = m_free.back();
    m_free.pop_back();
    ++m_outstanding;
  }
  // The sample keeps its allocator alive while it is out.
  AddRef();
  s->ResetProperties();
  s->AddRef();
  *sample = s;
  return S_OK;
}

HRESULT CMemAllocator::ReleaseBuffer(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_free.push_back(static_cast<CMediaSample*>(sample));
    --m_outstanding;
    m_freed.notify_all();
  }
  Release();
  return S_OK;
}
