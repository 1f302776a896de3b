#include "capture/VmrShowWnd.h"

#include <new>

bool VmrShowWnd::Create(const BITMAPINFOHEADER& format, HWND window, std::wstring* err) {
  Delete();
  std::unique_ptr<CVMRFilterGraph> graph(new (std::nothrow) CVMRFilterGraph());
  if (!graph) {
    if (err) *err = L"VMRFilterGraph 内存不足";
    return false;
  }
  if (!graph->Create(m_maxFrameLength, format, window, err)) return false;
  // Its result does not decide: a graph that does not run shows nothing,
  // as a window without pictures does.
  graph->Run();
  m_graph = std::move(graph);
  return true;
}

void VmrShowWnd::Delete() {
  if (!m_graph) return;
  m_graph->Stop();
  m_graph.reset();
}

bool VmrShowWnd::PushFrame(const BYTE* rgb, int len, std::wstring* err) {
  if (len > m_maxFrameLength) {
    if (err) *err = L"视频数据长度太大";
    return false;
  }
  if (m_graph) m_graph->PushFrame(rgb, len);
  return true;
}
