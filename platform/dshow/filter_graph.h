// The filter graph: owns its filters, connects pins (directly or through one
// filter already in the graph), moves every filter through stopped, paused and
// running, and queues the filters' events for the graph's owner. Stop stops the
// sources first and returns only after every streaming thread has ended.
#pragma once
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/event.h"
#include "platform/dshow/interfaces.h"

class CFilterGraph : public IGraphBuilder, public IMediaControl, public IMediaEventEx, public IMediaSeeking,
                     public IMediaEventSink, public CUnknown {
 public:
  CFilterGraph();
  ~CFilterGraph() override;
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IFilterGraph / IGraphBuilder
  HRESULT AddFilter(IBaseFilter* filter, const wchar_t* name) override;
  HRESULT RemoveFilter(IBaseFilter* filter) override;
  HRESULT EnumFilters(IEnumFilters** filters) override;
  HRESULT FindFilterByName(const wchar_t* name, IBaseFilter** filter) override;
  HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt) override;
  HRESULT Disconnect(IPin* pin) override;
  HRESULT Connect(IPin* out, IPin* in) override;

  // IMediaControl
  HRESULT Run() override;
  HRESULT Pause() override;
  HRESULT Stop() override;
  HRESULT GetState(LONG timeoutMs, FILTER_STATE* state) override;

  // IMediaEvent / IMediaEventEx
  HRESULT GetEventHandle(OAEVENT* handle) override;
  HRESULT GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeoutMs) override;
  HRESULT FreeEventParams(long code, LONG_PTR param1, LONG_PTR param2) override;
  HRESULT SetNotifyFlags(long flags) override;
  HRESULT GetNotifyFlags(long* flags) override;

  // IMediaSeeking: a live graph has no duration.
  HRESULT GetDuration(LONGLONG* duration) override;
  HRESULT GetCurrentPosition(LONGLONG* position) override;
  HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;

  // IMediaEventSink
  HRESULT Notify(long code, LONG_PTR param1, LONG_PTR param2) override;

 private:
  struct Entry {
    IBaseFilter* filter;
    std::wstring name;
  };
  struct Event {
    long code;
    LONG_PTR param1, param2;
  };
  // Filters ordered from the sources downstream.
  std::vector<IBaseFilter*> UpstreamFirst();
  void DisconnectAll(IBaseFilter* filter);
  HRESULT ConnectVia(IPin* out, IPin* in, int depth);

  std::recursive_mutex m_lock;
  std::vector<Entry> m_filters;
  FILTER_STATE m_state = State_Stopped;
  std::mutex m_eventLock;
  std::deque<Event> m_events;
  platform::ManualResetEvent m_eventSignal;
  long m_notifyFlags = 0;
};
