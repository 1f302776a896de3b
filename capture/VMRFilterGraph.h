// CVMRFilterGraph, the small graph behind one preview window in the preview's
// graph mode: the push source (CPlayFilter) feeds the newest picture through
// the graph to the renderer, which draws it over the window. Made, run and
// deleted by the window's holder (VmrShowWnd) on the host's thread;
// PushFrame comes from the publish manager's send thread.
#pragma once
#include <string>

#include "platform/dshow/interfaces.h"
#include "platform/outside/win_types.h"

class CPlayFilter;
class CVideoWindowRender;

class CVMRFilterGraph {
 public:
  CVMRFilterGraph() = default;
  ~CVMRFilterGraph();  // stops the graph and lets go of it
  CVMRFilterGraph(const CVMRFilterGraph&) = delete;
  CVMRFilterGraph& operator=(const CVMRFilterGraph&) = delete;

  // Builds the graph for pictures of format, at most maxFrameLength bytes
  // long, drawn in window. The first failing step ends it: false, with the
  // step's text in *err.
  bool Create(int maxFrameLength, const BITMAPINFOHEADER& format, HWND window, std::wstring* err);
  HRESULT Run();
  void Stop();

  // Hands a picture to the push source; false without one or when it is
  // longer than the source takes.
  bool PushFrame(const BYTE* rgb, int len);

 private:
  dshow::ApartmentHold m_apartment;
  IGraphBuilder* m_graph = nullptr;
  ICaptureGraphBuilder2* m_builder = nullptr;
  IMediaControl* m_control = nullptr;
  IMediaEventEx* m_event = nullptr;
  IMediaSeeking* m_seeking = nullptr;
  CPlayFilter* m_playFilter = nullptr;
  CVideoWindowRender* m_renderer = nullptr;
};
