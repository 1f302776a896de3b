#include "tests/ui/test_window.h"

#include <QFile>

int TestWindow::finalMessages = 0;

DUILIB_BEGIN_MESSAGE_MAP(TestWindow)
DUILIB_ON_NOTIFY(notify_type::kSelectChanged, Record)
DUILIB_ON_NOTIFY(notify_type::kItemSelect, Record)
DUILIB_ON_NOTIFY(notify_type::kItemClick, Record)
DUILIB_ON_NOTIFY(notify_type::kValueChanged, Record)
DUILIB_ON_NOTIFY(notify_type::kKillFocus, Record)
DUILIB_ON_NOTIFY(notify_type::kTextChanged, Record)
DUILIB_ON_NOTIFY(notify_type::kWindowSize, Record)
DUILIB_END_MESSAGE_MAP()

LRESULT TestWindow::HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = false;
  if (message < WM_USER) return 0;
  messages.push_back({message, wParam, lParam, std::this_thread::get_id()});
  if (onMessage) onMessage(message, wParam, lParam);
  handled = true;
  return 0;
}

void TestWindow::OnFinalMessage(HWND hWnd) {
  WindowImplBase::OnFinalMessage(hWnd);
  ++finalMessages;
  if (deleteOnFinal) delete this;
}

SkinFolder::SkinFolder() { CPaintManagerUI::SetResourcePath(m_dir.path().toStdString()); }

void SkinFolder::Write(const QString& name, const QString& text) {
  QFile file(m_dir.filePath(name));
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(text.toUtf8());
}
