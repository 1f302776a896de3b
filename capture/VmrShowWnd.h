// VmrShowWnd, what the preview keeps for one of its windows in graph mode:
// the window's graph (CVMRFilterGraph) and the longest picture it takes.
// Used by CVideoShowMain under its show lock, so Create, Delete and
// PushFrame never overlap.
#pragma once
#include <memory>
#include <string>

#include "capture/VMRFilterGraph.h"

class VmrShowWnd {
 public:
  static constexpr int kMaxFrameLength = 3145728;  // 3 MiB

  // Replaces the graph by a new running one for pictures of format drawn in
  // window; false, with the failed step's text in *err, when it cannot be built.
  bool Create(const BITMAPINFOHEADER& format, HWND window, std::wstring* err);
  // Stops and deletes the graph, if there is one.
  void Delete();
  // A picture longer than the maximum frame length is refused with
  // "视频数据长度太大"; any other goes to the graph, if there is one.
  bool PushFrame(const BYTE* rgb, int len, std::wstring* err);
  bool HasGraph() const { return m_graph != nullptr; }

 private:
  std::unique_ptr<CVMRFilterGraph> m_graph;
  const int m_maxFrameLength = kMaxFrameLength;
};
