// A skinned window for the tests: records the notifications and messages it
// receives, and writes the layouts it loads into a private resource folder.
#pragma once
#include <QTemporaryDir>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/duilib/window_impl_base.h"

struct SeenNotify {
  std::wstring type;
  CControlUI* sender;
  bool viaMap;  // false: reached OnClick
};

struct SeenMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  std::thread::id thread;
};

class TestWindow : public WindowImplBase {
 public:
  explicit TestWindow(std::wstring skin) : m_skin(std::move(skin)) {}

  std::vector<SeenNotify> notifies;
  std::vector<SeenMessage> messages;
  // Called for each message numbered WM_USER or above, after it is recorded.
  std::function<void(UINT, WPARAM, LPARAM)> onMessage;
  bool deleteOnFinal = false;
  static int finalMessages;

  CControlUI* Find(const wchar_t* name) { return m_PaintManager.FindControl(name); }
  void Destroy() { DestroyWindow(); }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"TestWindow"; }
  std::wstring GetSkinFile() override { return m_skin; }
  void OnClick(TNotifyUI& msg) override { notifies.push_back({msg.sType, msg.pSender, false}); }
  LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void OnFinalMessage(HWND hWnd) override;
  void Record(TNotifyUI& msg) { notifies.push_back({msg.sType, msg.pSender, true}); }
  DUILIB_DECLARE_MESSAGE_MAP()

 private:
  std::wstring m_skin;
};

// A resource folder holding the given files for the life of the object.
class SkinFolder {
 public:
  SkinFolder();
  void Write(const QString& name, const QString& text);

 private:
  QTemporaryDir m_dir;
};
