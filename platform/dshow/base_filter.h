// Base classes from which every filter of the layer is made: the filter with
// its state machine and graph membership, and the pins with connection
// negotiation. Pins are owned by their filter and share its reference count.
// A connection holds a reference on the peer pin; the graph breaks these
// cycles by disconnecting every pin when it lets go of its filters.
#pragma once
#include <atomic>
#include <mutex>
#include <string>

#include "platform/dshow/interfaces.h"

class CBasePin;

class CBaseFilter : public IBaseFilter, public CUnknown {
 public:
  CBaseFilter(const wchar_t* name, std::recursive_mutex* lock, REFCLSID clsid);
  ~CBaseFilter() override;
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  HRESULT GetClassID(CLSID* clsid) override;
  HRESULT Stop() override;
  HRESULT Pause() override;
  HRESULT Run(REFERENCE_TIME start) override;
  HRESULT GetState(DWORD timeoutMs, FILTER_STATE* state) override;
  HRESULT SetSyncSource(IReferenceClock* clock) override;
  HRESULT GetSyncSource(IReferenceClock** clock) override;
  HRESULT EnumPins(IEnumPins** pins) override;
  HRESULT FindPin(const wchar_t* id, IPin** pin) override;
  HRESULT QueryFilterInfo(FILTER_INFO* info) override;
  HRESULT JoinFilterGraph(IFilterGraph* graph, const wchar_t* name) override;

  virtual int GetPinCount() = 0;
  virtual CBasePin* GetPin(int n) = 0;

  // Passes an event to the graph (EC_ERRORABORT and the like).
  HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);
  FILTER_STATE State() const { return m_State.load(); }
  bool IsStopped() const { return m_State.load() == State_Stopped; }
  std::recursive_mutex* FilterLock() const { return m_pLock; }

 protected:
  std::recursive_mutex* m_pLock;
  std::atomic<FILTER_STATE> m_State{State_Stopped};
  IFilterGraph* m_pGraph = nullptr;     // not referenced: the graph owns us
  IMediaEventSink* m_pSink = nullptr;   // the graph's face, not referenced
  std::wstring m_name;
  CLSID m_clsid;
  REFERENCE_TIME m_tStart = 0;
};

class CBasePin : public IPin {
 public:
  CBasePin(const wchar_t* name, CBaseFilter* filter, std::recursive_mutex* lock, PIN_DIRECTION dir);
  virtual ~CBasePin();
  CBasePin(const CBasePin&) = delete;
  CBasePin& operator=(const CBasePin&) = delete;

  HRESULT QueryInterface(REFIID riid, void** ppv) override { return NonDelegatingQueryInterface(riid, ppv); }
  ULONG AddRef() override { return m_pFilter->AddRef(); }
  ULONG Release() override { return m_pFilter->Release(); }
  virtual HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv);

  HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) override;
  HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
  HRESULT Disconnect() override;
  HRESULT ConnectedTo(IPin** pin) override;
  HRESULT ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
  HRESULT QueryPinInfo(PIN_INFO* info) override;
  HRESULT QueryDirection(PIN_DIRECTION* dir) override;
  HRESULT QueryAccept(const AM_MEDIA_TYPE* mt) override;
  HRESULT EnumMediaTypes(IEnumMediaTypes** types) override;
  HRESULT EndOfStream() override { return S_OK; }
  HRESULT BeginFlush() override { return S_OK; }
  HRESULT EndFlush() override { return S_OK; }

  virtual HRESULT CheckMediaType(const CMediaType* mt) = 0;
  // Types this pin offers, in preference order; VFW_S_NO_MORE_ITEMS past the end.
  virtual HRESULT GetMediaType(int position, CMediaType* mt);
  virtual HRESULT SetMediaType(const CMediaType* mt);
  virtual HRESULT CheckConnect(IPin* pin);
  virtual HRESULT CompleteConnect(IPin* receivePin);
  virtual HRESULT BreakConnect();
  // Filter state changes: stopped -> paused, running, and back to stopped.
  virtual HRESULT Active() { return S_OK; }
  virtual HRESULT Inactive() { return S_OK; }
  virtual HRESULT Run(REFERENCE_TIME) { return S_OK; }

  bool IsConnected() const { return m_Connected != nullptr; }
  IPin* GetConnected() const { return m_Connected; }
  const CMediaType& CurrentMediaType() const { return m_mt; }
  const std::wstring& Name() const { return m_name; }
  PIN_DIRECTION Direction() const { return m_dir; }

 protected:
  HRESULT AttemptConnection(IPin* receivePin, const CMediaType* mt);
  HRESULT TryMediaTypes(IPin* receivePin, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types);

  std::wstring m_name;
  CBaseFilter* m_pFilter;
  std::recursive_mutex* m_pLock;
  PIN_DIRECTION m_dir;
  IPin* m_Connected = nullptr;
  CMediaType m_mt;
};

class CBaseOutputPin : public CBasePin {
 public:
  CBaseOutputPin(const wchar_t* name, CBaseFilter* filter, std::recursive_mutex* lock);
  ~CBaseOutputPin() override;

  HRESULT CheckConnect(IPin* pin) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;
  HRESULT Active() override;
  HRESULT Inactive() override;

  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  virtual HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator);
  HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags);
  HRESULT Deliver(IMediaSample* sample);
  HRESULT DeliverEndOfStream();

 protected:
  IMemAllocator* m_pAllocator = nullptr;
  IMemInputPin* m_pInputPin = nullptr;
};

class CBaseInputPin : public CBasePin, public IMemInputPin {
 public:
  CBaseInputPin(const wchar_t* name, CBaseFilter* filter, std::recursive_mutex* lock);
  ~CBaseInputPin() override;

  HRESULT QueryInterface(REFIID riid, void** ppv) override { return NonDelegatingQueryInterface(riid, ppv); }
  ULONG AddRef() override { return m_pFilter->AddRef(); }
  ULONG Release() override { return m_pFilter->Release(); }
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  HRESULT GetAllocator(IMemAllocator** allocator) override;
  HRESULT NotifyAllocator(IMemAllocator* allocator, int32_t readOnly) override;
  HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
  // Checks that the filter streams; derived pins process after calling it.
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT ReceiveCanBlock() override { return S_FALSE; }
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;
  HRESULT BreakConnect() override;
  HRESULT Inactive() override;

 protected:
  IMemAllocator* m_pAllocator = nullptr;
  std::atomic<bool> m_bFlushing{false};
};
