// The per-window half of the skinned window library: holds the window's
// control tree loaded from its layout, finds controls by name and carries
// notifications from controls to the window. Its static half keeps the
// folder the layouts come from, runs the GUI thread's message loop and frees
// the records the library hands to windows.
#pragma once
#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/duilib/control.h"
#include "platform/duilib/ui_events.h"
#include "strivon/WindowHandle.h"

class QObject;
class COptionUI;

class CPaintManagerUI {
 public:
  CPaintManagerUI();
  ~CPaintManagerUI();
  CPaintManagerUI(const CPaintManagerUI&) = delete;
  CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

  // The window this manager draws into; its client widget hosts the root.
  void Init(HWND window, QWidget* client);
  HWND GetPaintWindow() const { return m_window; }

  // Takes the loaded tree and puts it into the client widget.
  void AttachRoot(std::unique_ptr<CControlUI> root);
  CControlUI* GetRoot() const { return m_root.get(); }
  // The control with this name, or null (an empty name finds nothing).
  CControlUI* FindControl(const std::wstring& name) const;
  // The same, as the class the caller expects; null when absent or of another class.
  template <typename T>
  T* FindControlAs(const std::wstring& name) const {
    return dynamic_cast<T*>(FindControl(name));
  }
  std::vector<COptionUI*> GetOptionGroup(const std::wstring& group) const;

  void AddNotifier(INotifyUI* notifier);
  void RemoveNotifier(INotifyUI* notifier);
  // Synchronous unless async: an async notification reaches the notifiers
  // from the GUI thread's loop, and not at all once this manager is gone.
  void SendNotify(CControlUI* sender, const std::wstring& type, bool async = false);
  void SendNotify(TNotifyUI& msg, bool async);

  // From the layout's Window element.
  void SetCaptionRect(RECT rc) { m_caption = rc; }
  RECT GetCaptionRect() const { return m_caption; }
  void SetInitSize(SIZE size) { m_initSize = size; }
  SIZE GetInitSize() const { return m_initSize; }

  // Folder holding the layouts and images; relative skin paths start here.
  static void SetResourcePath(const std::string& folder);
  static std::string GetResourcePath();
  static std::string ResolvePath(const std::string& relative);

  // Frees a record the library handed to a window (a menu click record).
  static void DeletePtr(void* record);

  // Runs the GUI thread's loop until PostQuitMessage; returns its code.
  static int MessageLoop();
  // Ends MessageLoop (and any modal loop) with this code; any thread.
  static void PostQuitMessage(int code);

 private:
  void Deliver(TNotifyUI& msg);

  HWND m_window = 0;
  QPointer<QWidget> m_client;
  std::unique_ptr<CControlUI> m_root;
  std::vector<INotifyUI*> m_notifiers;
  // Context of queued notifications: deleting it cancels those still queued.
  std::unique_ptr<QObject> m_asyncContext;
  RECT m_caption{0, 0, 0, 0};
  SIZE m_initSize{0, 0};
};
