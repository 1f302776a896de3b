#include "platform/duilib/window_messages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "platform/duilib/window_wnd.h"

namespace {

const QEvent::Type kWindowMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Carries one message; frees its payload unless it was delivered.
class WindowMessageEvent : public QEvent {
 public:
  WindowMessageEvent(HWND target, uint64_t serial, UINT message, WPARAM wParam, LPARAM lParam,
                     MessagePayloadRelease release)
      : QEvent(kWindowMessageEvent), target(target), serial(serial), message(message), wParam(wParam),
        lParam(lParam), release(release) {}
  ~WindowMessageEvent() override {
    if (release) release(wParam, lParam);
  }

  HWND target;
  uint64_t serial;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  MessagePayloadRelease release;
};

class MessageDispatcher;

// Windows by handle, with a serial number per registration so a message for
// a window that is gone never reaches a later window that got the same id.
struct Registry {
  std::mutex lock;
  struct Entry {
    CWindowWnd* window;
    uint64_t serial;
  };
  std::unordered_map<HWND, Entry> windows;
  uint64_t nextSerial = 1;
  MessageDispatcher* dispatcher = nullptr;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// Lives on the GUI thread; every posted window message goes through it.
class MessageDispatcher : public QObject {
 public:
  ~MessageDispatcher() override {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> hold(registry.lock);
    if (registry.dispatcher == this) registry.dispatcher = nullptr;
    // QObject's destructor then deletes the events still queued for us,
    // which frees their payloads.
  }

  bool event(QEvent* event) override {
    WindowMessageEvent* message = nullptr;
    CWindowWnd* window = nullptr;
    {
      // Taken before the event is read: the posting thread filled it in
      // before it released this lock, and Qt's own queue lock does not order
      // the two threads in a way the thread sanitizer can see.
      Registry& registry = TheRegistry();
      std::lock_guard<std::mutex> hold(registry.lock);
      if (event->type() == kWindowMessageEvent) {
        message = static_cast<WindowMessageEvent*>(event);
        auto found = registry.windows.find(message->target);
        if (found != registry.windows.end() && found->second.serial == message->serial) window = found->second.window;
      }
    }
    if (!message) return QObject::event(event);
    if (!window) return true;  // the event's destructor frees the payload
    message->release = nullptr;
    window->HandleMessage(message->message, message->wParam, message->lParam);
    return true;
  }
};

}  // namespace

bool PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, MessagePayloadRelease release) {
  auto event = std::make_unique<WindowMessageEvent>(window, 0, message, wParam, lParam, release);
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  auto found = registry.windows.find(window);
  if (found == registry.windows.end() || !registry.dispatcher) return false;  // event frees the payload
  event->serial = found->second.serial;
  // Posting under the lock keeps the dispatcher alive until the event is queued.
  QCoreApplication::postEvent(registry.dispatcher, event.release());
  return true;
}

namespace window_messages {

void RegisterWindow(HWND handle, CWindowWnd* window) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  if (!registry.dispatcher && QCoreApplication::instance()) {
    // A child of the application object, so it goes before the application.
    auto* dispatcher = new MessageDispatcher;
    dispatcher->setParent(QCoreApplication::instance());
    registry.dispatcher = dispatcher;
  }
  registry.windows[handle] = Registry::Entry{window, registry.nextSerial++};
}

void UnregisterWindow(HWND handle) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  registry.windows.erase(handle);
}

CWindowWnd* FindWindow(HWND handle) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  auto found = registry.windows.find(handle);
  return found == registry.windows.end() ? nullptr : found->second.window;
}

}  // namespace window_messages
