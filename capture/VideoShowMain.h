// CVideoShowMain, the preview behind CreateVideoShowMain: shows the pictures
// the publish manager sends inside the host's window and full screen on a
// double click. Its windows live on an X connection and a thread of its own
// (woken through an eventfd), so the host needs no message pump for them.
// Mode 0 (and any mode but 1) draws each picture from that thread; mode 1
// gives each window a small graph (VmrShowWnd) whose renderer draws the
// newest picture from the graph's own thread. The mode in force at Start
// holds until Stop. ShowFrame runs on the manager's send thread, the rest on
// the host's thread.
#pragma once
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/IVideoShowVMR.h"
#include "capture/VmrShowWnd.h"

class PreviewWindows;

class CVideoShowMain final : public IVideoShowVMR {
 public:
  CVideoShowMain();
  ~CVideoShowMain();

  bool Start(const BITMAPINFOHEADER* format, HWND parent, std::wstring* err) override;
  void Stop() override;
  bool ShowFrame(const BYTE* rgb, int len, std::wstring* err) override;
  void SetMode(int mode) override { m_mode = mode; }
  void Release() override;

 private:
  enum class Command { Show, Hide };
  struct Request {
    Command command;
    HWND parent;
    bool done = false;
    bool ok = false;
  };

  // Runs a request on the window thread and waits for it.
  bool Ask(Command command, HWND parent);
  // Builds and runs both windows' graphs; on failure the preview is stopped again.
  bool StartGraphs(const BITMAPINFOHEADER& format, HWND child, HWND full, std::wstring* err);
  void Wake();
  void ThreadMain();
  // One pass of the thread; false once it is to end.
  bool Serve(PreviewWindows& windows, uint32_t* lastPaint);

  std::mutex m_showLock;  // a ShowFrame in progress; Stop waits for it. Guards the graphs.
  VmrShowWnd m_vmrShowChildWnd, m_vmrShowFullscreenWnd;

  std::mutex m_lock;      // everything below, shared with the window thread
  std::condition_variable m_answered;
  std::deque<Request*> m_requests;
  bool m_started = false;
  bool m_quit = false;
  bool m_opened = false, m_openDone = false;
  bool m_frameShown = false;
  bool m_newFrame = false;
  HWND m_parent = 0;
  HWND m_childWindow = 0, m_fullWindow = 0;  // known once the window thread opened them
  bool m_fullScreen = false;                 // as the window thread last saw it
  int m_runMode = 1;                         // the mode of the current run
  int m_width = 0, m_height = 0;
  std::vector<BYTE> m_frame;
  std::atomic<int> m_mode{1};

  int m_wake = -1;  // eventfd
  std::thread m_thread;
};

// The preview, or null when out of memory.
IVideoShowVMR* CreateVideoShowMain();
