#include "ui/TopLevelWindows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unistd.h>

#include <climits>
#include <cstring>
#include <memory>

#include "app/StringConvert.h"

namespace {

// Longer titles are cut; the picker shows no more than this anyway.
constexpr long kTitleWords = 256;

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};

struct XFreeDeleter {
  void operator()(unsigned char* data) const {
    if (data) XFree(data);
  }
};

// A window may vanish while it is being asked about; Xlib's default handler
// would end the program for that.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

class ScopedErrorIgnore {
 public:
  explicit ScopedErrorIgnore(Display* display) : m_display(display), m_previous(XSetErrorHandler(IgnoreXError)) {}
  ~ScopedErrorIgnore() {
    XSync(m_display, False);
    XSetErrorHandler(m_previous);
  }
  ScopedErrorIgnore(const ScopedErrorIgnore&) = delete;
  ScopedErrorIgnore& operator=(const ScopedErrorIgnore&) = delete;

 private:
  Display* m_display;
  int (*m_previous)(Display*, XErrorEvent*);
};

// The property's items, or nothing when it is missing or of another type.
std::unique_ptr<unsigned char, XFreeDeleter> ReadProperty(Display* display, Window window, Atom property, Atom type,
                                                          int format, long maxWords, unsigned long* count) {
  Atom actualType = None;
  int actualFormat = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  *count = 0;
  if (XGetWindowProperty(display, window, property, 0, maxWords, False, type, &actualType, &actualFormat, count,
                         &after, &data) != Success) {
    return nullptr;
  }
  std::unique_ptr<unsigned char, XFreeDeleter> owned(data);
  if (!owned || actualType != type || actualFormat != format) {
    *count = 0;
    return nullptr;
  }
  return owned;
}

std::vector<Window> ClientWindows(Display* display, Window root) {
  unsigned long count = 0;
  const Atom clientList = XInternAtom(display, "_NET_CLIENT_LIST", False);
  // A generous bound: a desktop with more windows than this is not browsable.
  auto data = ReadProperty(display, root, clientList, XA_WINDOW, 32, 65536, &count);
  if (data) {
    // Format-32 items come as longs.
    const auto* ids = reinterpret_cast<const unsigned long*>(data.get());
    return std::vector<Window>(ids, ids + count);
  }
  Window rootOut = 0, parent = 0;
  Window* children = nullptr;
  unsigned int childCount = 0;
  std::vector<Window> windows;
  if (XQueryTree(display, root, &rootOut, &parent, &children, &childCount) && children) {
    windows.assign(children, children + childCount);
  }
  if (children) XFree(children);
  return windows;
}

std::wstring TitleOf(Display* display, Window window) {
  unsigned long count = 0;
  const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  if (auto data = ReadProperty(display, window, netName, utf8, 8, kTitleWords, &count); data && count > 0) {
    return MultiByteToWideBuf(reinterpret_cast<const char*>(data.get()), static_cast<int>(count));
  }
  XTextProperty text{};
  if (!XGetWMName(display, window, &text) || !text.value) return {};
  std::wstring title;
  if (text.format == 8 && text.encoding == XA_STRING) {
    // STRING is Latin-1: each byte is its own code point.
    title.assign(text.value, text.value + text.nitems);
  } else if (text.format == 8 && text.encoding == utf8) {
    title = MultiByteToWideBuf(reinterpret_cast<const char*>(text.value), static_cast<int>(text.nitems));
  } else {
    char** list = nullptr;
    int listCount = 0;
    if (Xutf8TextPropertyToTextList(display, &text, &list, &listCount) >= Success && list && listCount > 0) {
      title = MultiByteToWide(list[0]);
    }
    if (list) XFreeStringList(list);
  }
  XFree(text.value);
  return title;
}

std::string ThisMachine() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

// A process id is only meaningful together with the machine that gave it.
bool OfThisProcess(Display* display, Window window, const std::string& machine) {
  unsigned long count = 0;
  const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
  auto pid = ReadProperty(display, window, pidAtom, XA_CARDINAL, 32, 1, &count);
  if (!pid || count != 1 || *reinterpret_cast<const unsigned long*>(pid.get()) != static_cast<unsigned long>(getpid()))
    return false;
  XTextProperty client{};
  if (!XGetWMClientMachine(display, window, &client) || !client.value) return false;
  const bool same = client.format == 8 && !machine.empty() && client.nitems == machine.size() &&
                    std::memcmp(client.value, machine.data(), machine.size()) == 0;
  XFree(client.value);
  return same;
}

std::vector<TopLevelWindow> ListWindows(bool leaveOutOwn) {
  std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
  if (!display) return {};
  ScopedErrorIgnore ignore(display.get());
  const std::string machine = leaveOutOwn ? ThisMachine() : std::string();
  std::vector<TopLevelWindow> windows;
  for (Window window : ClientWindows(display.get(), DefaultRootWindow(display.get()))) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display.get(), window, &attributes)) continue;
    if (attributes.map_state != IsViewable || attributes.c_class == InputOnly) continue;
    if (leaveOutOwn && OfThisProcess(display.get(), window, machine)) continue;
    std::wstring title = TitleOf(display.get(), window);
    if (!title.empty()) windows.push_back({static_cast<HWND>(window), std::move(title)});
  }
  return windows;
}

}  // namespace

std::vector<TopLevelWindow> ListTopLevelWindows() { return ListWindows(false); }

std::vector<TopLevelWindow> ListOtherProgramsWindows() { return ListWindows(true); }

std::map<std::wstring, HWND> WindowsByTitle(const std::vector<TopLevelWindow>& windows) {
  std::map<std::wstring, HWND> byTitle;
  for (const TopLevelWindow& window : windows) {
    if (!window.title.empty()) byTitle[window.title] = window.handle;
  }
  return byTitle;
}
