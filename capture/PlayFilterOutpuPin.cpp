#include "capture/PlayFilterOutpuPin.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "capture/RgbVideoMediaType.h"

namespace {
constexpr int kFramesPerSecond = 30;
// How long the pin thread sleeps before it looks at its running flag again
// without being woken.
constexpr auto kIdleWait = std::chrono::milliseconds(100);
}  // namespace

CPlayFilterOutpuPin::CPlayFilterOutpuPin(CBaseFilter* filter, std::recursive_mutex* lock, int maxFrameLength,
                                         const BITMAPINFOHEADER& format)
    : CBaseOutputPin(L"Output Pin Name", filter, lock), m_maxFrameLength(maxFrameLength) {
  HRESULT hr = S_OK;
  BuildRgbVideoMediaType(&m_type, format.biWidth, std::abs(format.biHeight), format.biBitCount, kFramesPerSecond,
                         &hr);
  // A type that could not be built stays empty, and nothing connects to it.
  if (FAILED(hr)) m_type.Clear();
  if (m_type.IsValid()) {
    m_rowBytes = static_cast<size_t>(format.biWidth) * format.biBitCount / 8;
    m_rows = std::abs(format.biHeight);
  }
}

CPlayFilterOutpuPin::~CPlayFilterOutpuPin() {
  m_running = false;
  m_frameArrived.notify_all();
  Join();
}

HRESULT CPlayFilterOutpuPin::CheckMediaType(const CMediaType* mt) {
  if (!mt || !m_type.IsValid()) return E_INVALIDARG;
  if (mt->majortype != m_type.majortype || mt->subtype != m_type.subtype || mt->formattype != m_type.formattype)
    return E_INVALIDARG;
  if (mt->formattype == FORMAT_VideoInfo) {
    if (!mt->pbFormat || mt->cbFormat < sizeof(VIDEOINFOHEADER)) return E_INVALIDARG;
    VIDEOINFOHEADER vih;
    std::memcpy(&vih, mt->pbFormat, sizeof(vih));
    if (vih.bmiHeader.biHeight < 0) return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT CPlayFilterOutpuPin::GetMediaType(int position, CMediaType* mt) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0 || !m_type.IsValid()) return VFW_S_NO_MORE_ITEMS;
  if (!mt) return E_POINTER;
  *mt = m_type;
  return S_OK;
}

HRESULT CPlayFilterOutpuPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES*) {
  if (!allocator) return E_POINTER;
  ALLOCATOR_PROPERTIES want{1, m_maxFrameLength, 1, 0}, got{};
  const HRESULT hr = allocator->SetProperties(&want, &got);
  if (FAILED(hr) || got.cBuffers < 1 || got.cbBuffer < m_maxFrameLength) return E_FAIL;
  std::lock_guard<std::mutex> lock(m_cs);
  try {
    m_pending.Reserve(m_maxFrameLength);
  } catch (const std::bad_alloc&) {
    return E_FAIL;
  }
  return S_OK;
}

HRESULT CPlayFilterOutpuPin::Active() {
  const HRESULT hr = CBaseOutputPin::Active();
  if (FAILED(hr)) return hr;
  m_running = true;
  if (!CTVThread::Start()) {
    m_running = false;
    CBaseOutputPin::Inactive();
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CPlayFilterOutpuPin::Inactive() {
  const HRESULT hr = CBaseOutputPin::Inactive();
  {
    std::lock_guard<std::mutex> lock(m_cs);
    m_running = false;
  }
  m_frameArrived.notify_all();
  Join();
  return hr;
}

bool CPlayFilterOutpuPin::PushFrame(const BYTE* rgb, int len) {
  if (!rgb || len < 0 || len > m_maxFrameLength) return false;
  {
    std::lock_guard<std::mutex> lock(m_cs);
    try {
      m_pending.Reserve(len);
    } catch (const std::bad_alloc&) {
      return false;
    }
    std::memcpy(m_pending.data, rgb, static_cast<size_t>(len));
    m_pending.used = len;
    m_newFrame = true;
  }
  m_frameArrived.notify_one();
  return true;
}

void CPlayFilterOutpuPin::Run() {
  while (m_running) {
    {
      std::unique_lock<std::mutex> lock(m_cs);
      m_frameArrived.wait_for(lock, kIdleWait, [&] { return m_newFrame || !m_running; });
      if (!m_newFrame || !m_running) continue;
    }
    DeliverNewest();
  }
}

void CPlayFilterOutpuPin::DeliverNewest() {
  // Taken before the frame lock: with one buffer and delivery on this
  // thread the buffer is always free, and PushFrame never waits for it.
  IMediaSample* sample = nullptr;
  if (FAILED(GetDeliveryBuffer(&sample, nullptr, nullptr, 0)) || !sample) return;
  BYTE* out = nullptr;
  bool send = false;
  if (SUCCEEDED(sample->GetPointer(&out)) && out) {
    std::lock_guard<std::mutex> lock(m_cs);
    const size_t len = static_cast<size_t>(m_pending.used);
    const size_t picture = m_rowBytes * static_cast<size_t>(m_rows);
    if (len <= static_cast<size_t>(sample->GetSize())) {
      if (len >= picture) {
        // Top-down rows in, bottom-up rows out, as the media type says.
        for (int r = 0; r < m_rows; ++r)
          std::memcpy(out + static_cast<size_t>(m_rows - 1 - r) * m_rowBytes, m_pending.data + r * m_rowBytes,
                      m_rowBytes);
        std::memcpy(out + picture, m_pending.data + picture, len - picture);
      } else {
        std::memcpy(out, m_pending.data, len);
      }
      sample->SetActualDataLength(static_cast<long>(len));
      send = true;
    }
    // Cleared with the copy: a picture pushed during the delivery below is
    // sent on the next pass.
    m_newFrame = false;
  }
  if (send) {
    sample->SetPreroll(0);
    sample->SetSyncPoint(1);
    sample->SetDiscontinuity(0);
    Deliver(sample);
  }
  sample->Release();
}
