// Output pin and filter base of the device back ends: a capture pin that
// offers the device's current format, lets callers change it through
// IAMStreamConfig, takes allocator suggestions through IAMBufferNegotiation,
// names itself PIN_CATEGORY_CAPTURE, and delivers only while the graph runs.
// Its media types are the current format followed by the listed ones.
// Back ends either deliver from the pin's own thread (CaptureLoop) or push
// from outside (the virtual devices); Inactive waits for both to finish.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dshow/base_filter.h"

class CCapturePin : public CBaseOutputPin, public IAMStreamConfig, public IAMBufferNegotiation,
                    public IPinCategory {
 public:
  CCapturePin(CBaseFilter* filter, std::recursive_mutex* lock, const wchar_t* name);
  ~CCapturePin() override;

  HRESULT QueryInterface(REFIID riid, void** ppv) override { return NonDelegatingQueryInterface(riid, ppv); }
  ULONG AddRef() override { return m_pFilter->AddRef(); }
  ULONG Release() override { return m_pFilter->Release(); }
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IAMStreamConfig (only when HasStreamConfig()).
  HRESULT SetFormat(AM_MEDIA_TYPE* mt) override;
  HRESULT GetFormat(AM_MEDIA_TYPE** mt) override;
  HRESULT GetNumberOfCapabilities(int* count, int* size) override;
  HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) override;
  // IAMBufferNegotiation.
  HRESULT SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* props) override;
  HRESULT GetAllocatorProperties(ALLOCATOR_PROPERTIES* props) override;
  // IPinCategory.
  HRESULT GetPinCategory(GUID* category) override;

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT Active() override;
  HRESULT Inactive() override;
  HRESULT Run(REFERENCE_TIME start) override;

  // Copies data into one sample with the given times (null start: no times)
  // and delivers it. S_FALSE when the graph is not running.
  HRESULT DeliverBuffer(const BYTE* data, long length, const REFERENCE_TIME* start, const REFERENCE_TIME* stop);
  // Largest payload of one sample (the agreed buffer size), 0 unless streaming.
  long BufferSize();
  bool IsStreaming() const { return m_streaming.load(); }
  CMediaType Format();

 protected:
  // Whether the format may be set; S_OK to accept.
  virtual HRESULT CheckFormat(const CMediaType* mt) = 0;
  // The check sound devices share: interleaved 8/16-bit PCM, one or two
  // channels, 8000..192000 Hz, with consistent block and byte rates.
  static HRESULT CheckPcmFormat(const CMediaType* mt);
  virtual bool HasStreamConfig() const { return true; }
  virtual bool HasBufferNegotiation() const { return true; }
  virtual bool UsesThread() const { return false; }
  // Thread body: loop while IsStreaming(), delivering with DeliverBuffer.
  virtual void CaptureLoop() {}
  virtual ALLOCATOR_PROPERTIES DefaultAllocator() = 0;
  void SetCurrentFormat(const CMediaType& mt);
  void AddCapability(const CMediaType& mt);

 private:
  std::mutex m_formatLock;
  CMediaType m_format;
  std::vector<CMediaType> m_caps;
  ALLOCATOR_PROPERTIES m_suggested{};
  std::atomic<bool> m_streaming{false};
  std::mutex m_deliverLock;  // held while a sample is on its way
  std::thread m_thread;
};

// A device filter with exactly one capture pin, made by the back end.
class CCaptureFilter : public CBaseFilter {
 public:
  CCaptureFilter(const wchar_t* name, REFCLSID clsid);
  int GetPinCount() override { return m_pin ? 1 : 0; }
  CBasePin* GetPin(int n) override { return n == 0 ? m_pin.get() : nullptr; }
  CCapturePin* CapturePin() { return m_pin.get(); }

 protected:
  std::recursive_mutex m_csFilter;
  std::unique_ptr<CCapturePin> m_pin;
};
