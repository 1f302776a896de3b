// The graph interfaces of the capture layer: filters, pins, samples and
// allocators, the filter graph with its control, event and seeking faces, the
// capture graph builder, the device enumerator with monikers and property
// bags, and the running object table. Shaped by what the capture code calls;
// operations nobody calls are left out.
#pragma once
#include <cstdint>

#include "platform/dshow/com.h"
#include "platform/dshow/guids.h"
#include "platform/dshow/media_type.h"

class IBaseFilter;
class IPin;
class IFilterGraph;
class IReferenceClock;
class IEnumMediaTypes;

typedef intptr_t OAEVENT;
typedef intptr_t LONG_PTR;
typedef double REFTIME;

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

struct FILTER_INFO {
  wchar_t achName[128];
  IFilterGraph* pGraph;  // one reference, or null
};
struct PIN_INFO {
  IBaseFilter* pFilter;  // one reference
  PIN_DIRECTION dir;
  wchar_t achName[128];
};
struct ALLOCATOR_PROPERTIES {
  int32_t cBuffers;
  int32_t cbBuffer;
  int32_t cbAlign;
  int32_t cbPrefix;
};

// Graph events.
enum : int32_t {
  EC_COMPLETE = 0x01,
  EC_USERABORT = 0x02,
  EC_ERRORABORT = 0x03,
  EC_DEVICE_LOST = 0x1F,
};

// Why a capture pin of ours ended its stream: the second parameter of the
// EC_ERRORABORT it raises, for the capture's log.
enum CaptureAbortCause : int32_t {
  kAbortUnknown = 0,
  kAbortServerGone = 1,     // the sound server closed the connection or never answered
  kAbortDeviceRemoved = 2,  // the server is there, the device (source) went away
  kAbortNoDevice = 3,       // the device could not be opened
};
inline const char* CaptureAbortCauseText(long long cause) {
  switch (cause) {
    case kAbortServerGone: return "sound server gone";
    case kAbortDeviceRemoved: return "device removed";
    case kAbortNoDevice: return "device cannot be opened";
    default: return "device stopped";
  }
}

class IPersist : public IUnknown {
 public:
  virtual HRESULT GetClassID(CLSID* clsid) = 0;
};

class IReferenceClock : public IUnknown {
 public:
  virtual HRESULT GetTime(REFERENCE_TIME* time) = 0;
};

class IMediaFilter : public IPersist {
 public:
  virtual HRESULT Stop() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Run(REFERENCE_TIME start) = 0;
  virtual HRESULT GetState(DWORD timeoutMs, FILTER_STATE* state) = 0;
  virtual HRESULT SetSyncSource(IReferenceClock* clock) = 0;
  virtual HRESULT GetSyncSource(IReferenceClock** clock) = 0;
};

class IEnumPins : public IUnknown {
 public:
  virtual HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
};

class IEnumMediaTypes : public IUnknown {
 public:
  // Each type comes from CreateMediaType; free it with DeleteMediaType.
  virtual HRESULT Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
};

class IBaseFilter : public IMediaFilter {
 public:
  virtual HRESULT EnumPins(IEnumPins** pins) = 0;
  virtual HRESULT FindPin(const wchar_t* id, IPin** pin) = 0;
  virtual HRESULT QueryFilterInfo(FILTER_INFO* info) = 0;
  // The graph is not referenced by its filters.
  virtual HRESULT JoinFilterGraph(IFilterGraph* graph, const wchar_t* name) = 0;
};

class IPin : public IUnknown {
 public:
  virtual HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) = 0;
  virtual HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) = 0;
  virtual HRESULT Disconnect() = 0;
  virtual HRESULT ConnectedTo(IPin** pin) = 0;
  virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* mt) = 0;
  virtual HRESULT QueryPinInfo(PIN_INFO* info) = 0;
  virtual HRESULT QueryDirection(PIN_DIRECTION* dir) = 0;
  virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* mt) = 0;
  virtual HRESULT EnumMediaTypes(IEnumMediaTypes** types) = 0;
  virtual HRESULT EndOfStream() = 0;
  virtual HRESULT BeginFlush() = 0;
  virtual HRESULT EndFlush() = 0;
};

// Stand-in for the property set by which a pin names its category
// (PIN_CATEGORY_CAPTURE for a device's capture pin).
class IPinCategory : public IUnknown {
 public:
  virtual HRESULT GetPinCategory(GUID* category) = 0;
};

class IMediaSample : public IUnknown {
 public:
  virtual HRESULT GetPointer(BYTE** buffer) = 0;
  virtual long GetSize() = 0;
  // VFW_E_SAMPLE_TIME_NOT_SET when no times were set.
  virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
  // Null start clears the times.
  virtual HRESULT SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
  virtual HRESULT IsSyncPoint() = 0;
  virtual HRESULT SetSyncPoint(int32_t isSyncPoint) = 0;
  virtual HRESULT IsPreroll() = 0;
  virtual HRESULT SetPreroll(int32_t isPreroll) = 0;
  virtual long GetActualDataLength() = 0;
  virtual HRESULT SetActualDataLength(long length) = 0;
  virtual HRESULT GetMediaType(AM_MEDIA_TYPE** mt) = 0;
  virtual HRESULT SetMediaType(AM_MEDIA_TYPE* mt) = 0;
  virtual HRESULT IsDiscontinuity() = 0;
  virtual HRESULT SetDiscontinuity(int32_t isDiscontinuity) = 0;
  virtual HRESULT GetMediaTime(LONGLONG* start, LONGLONG* stop) = 0;
  virtual HRESULT SetMediaTime(LONGLONG* start, LONGLONG* stop) = 0;
};

class IMemAllocator : public IUnknown {
 public:
  virtual HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) = 0;
  virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* props) = 0;
  virtual HRESULT Commit() = 0;
  // Wakes callers blocked in GetBuffer, which then fail.
  virtual HRESULT Decommit() = 0;
  // Blocks until a buffer is free; VFW_E_NOT_COMMITTED when decommitted.
  virtual HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                            DWORD flags) = 0;
  virtual HRESULT ReleaseBuffer(IMediaSample* sample) = 0;
};

class IMemInputPin : public IUnknown {
 public:
  virtual HRESULT GetAllocator(IMemAllocator** allocator) = 0;
  virtual HRESULT NotifyAllocator(IMemAllocator* allocator, int32_t readOnly) = 0;
  virtual HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) = 0;
  virtual HRESULT Receive(IMediaSample* sample) = 0;
  virtual HRESULT ReceiveCanBlock() = 0;
};

class IAMStreamConfig : public IUnknown {
 public:
  virtual HRESULT SetFormat(AM_MEDIA_TYPE* mt) = 0;
  virtual HRESULT GetFormat(AM_MEDIA_TYPE** mt) = 0;
  virtual HRESULT GetNumberOfCapabilities(int* count, int* size) = 0;
  virtual HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) = 0;
};

class IAMBufferNegotiation : public IUnknown {
 public:
  virtual HRESULT SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* props) = 0;
  virtual HRESULT GetAllocatorProperties(ALLOCATOR_PROPERTIES* props) = 0;
};

class IEnumFilters : public IUnknown {
 public:
  virtual HRESULT Next(ULONG count, IBaseFilter** filters, ULONG* fetched) = 0;
  virtual HRESULT Reset() = 0;
};

class IFilterGraph : public IUnknown {
 public:
  virtual HRESULT AddFilter(IBaseFilter* filter, const wchar_t* name) = 0;
  virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
  virtual HRESULT EnumFilters(IEnumFilters** filters) = 0;
  virtual HRESULT FindFilterByName(const wchar_t* name, IBaseFilter** filter) = 0;
  virtual HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt) = 0;
  virtual HRESULT Disconnect(IPin* pin) = 0;
};

class IGraphBuilder : public IFilterGraph {
 public:
  // Direct, or through one filter already in the graph that takes the
  // output's type and offers one the input takes.
  virtual HRESULT Connect(IPin* out, IPin* in) = 0;
};

class IMediaControl : public IUnknown {
 public:
  virtual HRESULT Run() = 0;
  virtual HRESULT Pause() = 0;
  // Synchronous: every streaming thread has ended when it returns.
  virtual HRESULT Stop() = 0;
  virtual HRESULT GetState(LONG timeoutMs, FILTER_STATE* state) = 0;
};

class IMediaEvent : public IUnknown {
 public:
  // The handle is signalled while events are queued; wait on it with
  // dshow::WaitEventHandle.
  virtual HRESULT GetEventHandle(OAEVENT* handle) = 0;
  virtual HRESULT GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeoutMs) = 0;
  virtual HRESULT FreeEventParams(long code, LONG_PTR param1, LONG_PTR param2) = 0;
};

class IMediaEventEx : public IMediaEvent {
 public:
  virtual HRESULT SetNotifyFlags(long flags) = 0;
  virtual HRESULT GetNotifyFlags(long* flags) = 0;
};

// How filters report events to their graph.
class IMediaEventSink : public IUnknown {
 public:
  virtual HRESULT Notify(long code, LONG_PTR param1, LONG_PTR param2) = 0;
};

enum AM_SEEKING_FLAGS { AM_SEEKING_NoPositioning = 0, AM_SEEKING_AbsolutePositioning = 1 };

class IMediaSeeking : public IUnknown {
 public:
  virtual HRESULT GetDuration(LONGLONG* duration) = 0;
  virtual HRESULT GetCurrentPosition(LONGLONG* position) = 0;
  virtual HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) = 0;
};

class ICaptureGraphBuilder2 : public IUnknown {
 public:
  virtual HRESULT SetFiltergraph(IGraphBuilder* graph) = 0;
  virtual HRESULT GetFiltergraph(IGraphBuilder** graph) = 0;
  // Connects an output pin of source (of the pin category and major type,
  // when given) to sink, through intermediate when given.
  virtual HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source,
                               IBaseFilter* intermediate, IBaseFilter* sink) = 0;
  // Looks for riid on filter, then on its output pins of the category/type.
  virtual HRESULT FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID riid,
                                void** ppv) = 0;
  virtual HRESULT FindPin(IUnknown* source, PIN_DIRECTION dir, const GUID* category, const GUID* type,
                          int32_t unconnected, int index, IPin** pin) = 0;
};

// Text values of a device's property bag.
enum { VT_EMPTY = 0, VT_BSTR = 8 };
typedef wchar_t* BSTR;
struct VARIANT {
  uint16_t vt;
  BSTR bstrVal;
};
void VariantInit(VARIANT* v);
HRESULT VariantClear(VARIANT* v);
BSTR SysAllocString(const wchar_t* text);
void SysFreeString(BSTR text);

class IPropertyBag : public IUnknown {
 public:
  virtual HRESULT Read(const wchar_t* name, VARIANT* value, void* errorLog) = 0;
};

class IMoniker : public IUnknown {
 public:
  virtual HRESULT BindToObject(void* bindCtx, IMoniker* left, REFIID riid, void** ppv) = 0;
  virtual HRESULT BindToStorage(void* bindCtx, IMoniker* left, REFIID riid, void** ppv) = 0;
  // The display name (the item name of an item moniker); free with CoTaskMemFree.
  virtual HRESULT GetDisplayName(void* bindCtx, IMoniker* left, wchar_t** name) = 0;
};

class IEnumMoniker : public IUnknown {
 public:
  virtual HRESULT Next(ULONG count, IMoniker** monikers, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
};

class ICreateDevEnum : public IUnknown {
 public:
  // S_FALSE (and no enumerator) for an empty category.
  virtual HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** monikers, DWORD flags) = 0;
};

enum { ROTFLAGS_REGISTRATIONKEEPSALIVE = 0x1 };
// Process-wide registry of running objects under monikers, for inspection.
class IRunningObjectTable : public IUnknown {
 public:
  virtual HRESULT Register(DWORD flags, IUnknown* object, IMoniker* name, DWORD* cookie) = 0;
  virtual HRESULT Revoke(DWORD cookie) = 0;
  // S_OK when an object is registered under the moniker's name.
  virtual HRESULT IsRunning(IMoniker* name) = 0;
};
HRESULT GetRunningObjectTable(DWORD reserved, IRunningObjectTable** table);
HRESULT CreateItemMoniker(const wchar_t* delimiter, const wchar_t* item, IMoniker** moniker);

// Error text of a result code; returns the number of characters written.
DWORD AMGetErrorTextW(HRESULT hr, wchar_t* buffer, DWORD maxLength);

namespace dshow {
// True when the event handle was (or became) signalled within timeoutMs.
bool WaitEventHandle(OAEVENT handle, uint32_t timeoutMs);
// Entries in the running object table (tests prove registration balance).
int RunningObjectCount();
}  // namespace dshow
