// CDShowApplication, the graph holder the camera capture derives from: makes
// the filter graph and the capture graph builder, registers the graph for
// inspection, runs a thread that watches the graph's events, and turns
// result codes into texts. Its COM initialisation belongs to the thread that
// made it, whichever thread destroys it.
#pragma once
#include <atomic>
#include <string>

#include "capture/IVideoCapture.h"
#include "common/TVThread.h"
#include "platform/dshow/interfaces.h"

class CDShowApplication : public CTVThread {
 public:
  CDShowApplication() = default;
  ~CDShowApplication() override;

  // "what, return code <hr>, <error text>".
  static std::wstring FormatError(const wchar_t* what, HRESULT hr);

 protected:
  // Construction step 1; appends the failed step's text to *err.
  bool CreateGraph(std::string* err);
  // Stops the graph and rewinds it; failures go to OnError.
  bool StopGraph();
  // Ends the event thread and lets go of the graph. Idempotent.
  void ReleaseGraph();

  void Run() override;
  virtual void OnComplete() = 0;
  // level 2 errors reach the owner, level 1 are dropped.
  virtual void OnError(int level, int code, const wchar_t* text) = 0;

  IGraphBuilder* m_graph = nullptr;
  ICaptureGraphBuilder2* m_builder = nullptr;
  IMediaControl* m_control = nullptr;
  IMediaEventEx* m_event = nullptr;
  IMediaSeeking* m_seeking = nullptr;
  IVideoCaptureNotify* m_notify = nullptr;

 private:
  void AddToRot();
  void RemoveFromRot();

  dshow::ApartmentHold m_apartment;
  DWORD m_rotCookie = 0;
  std::atomic<bool> m_running{false};
};
