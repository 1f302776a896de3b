#include "capture/VideoShowMain.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "capture/PreviewWindows.h"
#include "common/Log.h"
#include "platform/base/tick.h"

namespace {
constexpr uint32_t kRepaintMs = 100;
}  // namespace

IVideoShowVMR* CreateVideoShowMain() {
  auto* preview = new (std::nothrow) CVideoShowMain();
  if (preview) {
    STRIVON_LOG(kLogInfo, "CreateVideoShowMain", "preview %p", static_cast<void*>(preview));
  }
  return preview;
}

CVideoShowMain::CVideoShowMain() {
  m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  try {
    m_thread = std::thread([this] { ThreadMain(); });
  } catch (...) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_openDone = true;
  }
}

CVideoShowMain::~CVideoShowMain() {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_quit = true;
  }
  Wake();
  if (m_thread.joinable()) m_thread.join();
  if (m_wake >= 0) close(m_wake);
}

void CVideoShowMain::Wake() {
  if (m_wake < 0) return;
  const uint64_t one = 1;
  ssize_t written;
  do written = write(m_wake, &one, sizeof(one));
  while (written < 0 && errno == EINTR);
}

bool CVideoShowMain::Ask(Command command, HWND parent) {
  Request request{command, parent};
  std::unique_lock<std::mutex> lock(m_lock);
  if (!m_thread.joinable() || m_quit) return false;
  m_requests.push_back(&request);
  lock.unlock();
  Wake();
  lock.lock();
  m_answered.wait(lock, [&] { return request.done; });
  return request.ok;
}

bool CVideoShowMain::Start(const BITMAPINFOHEADER* format, HWND parent, std::wstring* err) {
  std::lock_guard<std::mutex> show(m_showLock);
  int mode = 0;
  HWND child = 0, full = 0;
  {
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_started) return true;
    if (!format || format->biWidth <= 0 || format->biHeight == 0 || format->biBitCount != 24 ||
        format->biWidth > 8192 || std::abs(format->biHeight) > 8192) {
      if (err) *err = L"preview: unsupported picture format";
      return false;
    }
    // Without a host window there is nowhere to show the pictures; the run
    // goes on without them, X server or not.
    if (parent) {
      m_answered.wait(lock, [&] { return m_openDone; });
      if (!m_opened) {
        if (err) *err = L"preview: no X display";
        return false;
      }
    }
    m_started = true;
    m_parent = parent;
    m_width = format->biWidth;
    m_height = std::abs(format->biHeight);
    m_frameShown = false;
    m_newFrame = false;
    m_runMode = m_mode;
    mode = m_runMode;
    child = m_childWindow;
    full = m_fullWindow;
  }
  if (!parent) return true;
  if (!Ask(Command::Show, parent)) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_started = false;
    if (err) *err = L"preview: the host window does not exist";
    return false;
  }
  return mode == 1 ? StartGraphs(*format, child, full, err) : true;
}

bool CVideoShowMain::StartGraphs(const BITMAPINFOHEADER& format, HWND child, HWND full, std::wstring* err) {
  STRIVON_LOG(kLogDebug, "CVideoShowMain::Start", "start m_vmrShowChildWnd");
  bool ok = m_vmrShowChildWnd.Create(format, child, err);
  STRIVON_LOG(kLogDebug, "CVideoShowMain::Start", "finish m_vmrShowChildWnd");
  if (ok) {
    ok = m_vmrShowFullscreenWnd.Create(format, full, err);
    STRIVON_LOG(kLogDebug, "CVideoShowMain::Start", "finish m_vmrShowFullscreenWnd");
  }
  if (ok) return true;
  // Not left half started: a second Start would report success for a
  // preview that shows nothing.
  m_vmrShowChildWnd.Delete();
  m_vmrShowFullscreenWnd.Delete();
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_started = false;
    m_newFrame = false;
  }
  Ask(Command::Hide, 0);
  return false;
}

void CVideoShowMain::Stop() {
  // Waits for a ShowFrame in progress; once the graphs have stopped and the
  // window thread has hidden the windows nothing more is drawn.
  std::lock_guard<std::mutex> show(m_showLock);
  HWND parent = 0;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_started) return;
    m_started = false;
    m_newFrame = false;
    parent = m_parent;
  }
  m_vmrShowChildWnd.Delete();
  m_vmrShowFullscreenWnd.Delete();
  if (parent) Ask(Command::Hide, 0);
}

bool CVideoShowMain::ShowFrame(const BYTE* rgb, int len, std::wstring* err) {
  std::lock_guard<std::mutex> show(m_showLock);
  bool graphs = false, fullScreen = false;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_started) return false;
    const size_t bytes = static_cast<size_t>(m_width) * m_height * 3;
    // A short picture would be read past its end.
    if (!rgb || len < 0 || static_cast<size_t>(len) < bytes) {
      if (err) *err = L"preview: picture shorter than its format";
      return false;
    }
    graphs = m_runMode == 1;
    fullScreen = m_fullScreen;
    if (!graphs) m_frame.assign(rgb, rgb + bytes);
    m_frameShown = true;
    m_newFrame = true;
  }
  bool shown = true;
  if (graphs) {
    // The hidden window's graph first, the visible one's last: its result counts.
    (fullScreen ? m_vmrShowChildWnd : m_vmrShowFullscreenWnd).PushFrame(rgb, len, nullptr);
    shown = (fullScreen ? m_vmrShowFullscreenWnd : m_vmrShowChildWnd).PushFrame(rgb, len, err);
  }
  Wake();
  return shown;
}

void CVideoShowMain::Release() {
  Stop();
  delete this;
}

void CVideoShowMain::ThreadMain() {
  PreviewWindows windows;
  const bool opened = windows.Open();
  if (!opened) STRIVON_LOG(kLogWarning, "CVideoShowMain", "no X display for the preview");
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_opened = opened;
    m_openDone = true;
    m_childWindow = windows.ChildWindow();
    m_fullWindow = windows.FullScreenWindow();
  }
  m_answered.notify_all();
  uint32_t lastPaint = platform::TickCount();
  while (Serve(windows, &lastPaint)) {
  }
  // Requests that arrive while ending are answered, never left waiting.
  std::lock_guard<std::mutex> lock(m_lock);
  for (Request* r : m_requests) r->done = true;
  m_requests.clear();
  m_answered.notify_all();
}

bool CVideoShowMain::Serve(PreviewWindows& windows, uint32_t* lastPaint) {
  pollfd fds[2] = {{m_wake, POLLIN, 0}, {windows.Usable() ? windows.Descriptor() : -1, POLLIN, 0}};
  poll(fds, 2, static_cast<int>(kRepaintMs));
  if (fds[0].revents & POLLIN) {
    uint64_t count;
    while (read(m_wake, &count, sizeof(count)) > 0) {
    }
  }

  std::deque<Request*> requests;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    requests.swap(m_requests);
  }
  for (Request* r : requests) {
    bool ok = true;
    if (r->command == Command::Show)
      ok = windows.Show(r->parent);
    else
      windows.Hide();
    std::lock_guard<std::mutex> lock(m_lock);
    r->ok = ok;
    r->done = true;
  }
  if (!requests.empty()) m_answered.notify_all();

  bool frameShown;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    frameShown = m_frameShown && m_started;
  }
  const bool exposed = windows.HandleEvents(frameShown);
  const uint32_t now = platform::TickCount();
  std::vector<BYTE> picture;
  int width = 0, height = 0;
  bool followHost = false;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_quit) return false;
    m_fullScreen = windows.FullScreen();
    if (m_started && m_runMode == 1) {
      // The graphs draw; here the child only keeps the host's size, which
      // their renderers fill.
      followHost = m_newFrame;
      m_newFrame = false;
    } else if (m_started && m_frameShown &&
               (m_newFrame || exposed || (m_runMode == 0 && now - *lastPaint > kRepaintMs))) {
      // Each new picture and anything exposed; in mode 0 also the last
      // picture again every 100 ms.
      picture = m_frame;
      width = m_width;
      height = m_height;
      m_newFrame = false;
    }
  }
  if (followHost) windows.FollowHost(&width, &height);
  if (!picture.empty()) {
    windows.Paint(picture.data(), width, height);
    *lastPaint = now;
  }
  windows.Tick(now);
  return true;
}
