#include "platform/duilib/paint_manager.h"

#include <QApplication>
#include <QDir>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <mutex>

#include "platform/duilib/menu_wnd.h"
#include "platform/duilib/controls.h"

namespace {

std::mutex g_pathLock;
std::string g_resourcePath;

}  // namespace

CPaintManagerUI::CPaintManagerUI() : m_asyncContext(std::make_unique<QObject>()) {}

CPaintManagerUI::~CPaintManagerUI() {
  m_asyncContext.reset();
  m_notifiers.clear();
  m_root.reset();
}

void CPaintManagerUI::Init(HWND window, QWidget* client) {
  m_window = window;
  m_client = client;
}

void CPaintManagerUI::AttachRoot(std::unique_ptr<CControlUI> root) {
  m_root = std::move(root);
  if (!m_root) return;
  m_root->SetManager(this);
  QWidget* widget = m_root->GetWidget();
  if (!m_client || !widget) return;
  auto* fill = new QVBoxLayout(m_client.data());
  fill->setContentsMargins(0, 0, 0, 0);
  fill->addWidget(widget);
  widget->setVisible(m_root->IsVisible());
}

CControlUI* CPaintManagerUI::FindControl(const std::wstring& name) const {
  if (!m_root || name.empty()) return nullptr;
  return m_root->FindByName(name);
}

std::vector<COptionUI*> CPaintManagerUI::GetOptionGroup(const std::wstring& group) const {
  std::vector<COptionUI*> members;
  if (!m_root || group.empty()) return members;
  std::vector<CControlUI*> all;
  m_root->CollectAll(all);
  for (CControlUI* control : all) {
    auto* option = dynamic_cast<COptionUI*>(control);
    if (option && option->GetGroup() == group) members.push_back(option);
  }
  return members;
}

void CPaintManagerUI::AddNotifier(INotifyUI* notifier) {
  if (notifier && std::find(m_notifiers.begin(), m_notifiers.end(), notifier) == m_notifiers.end()) {
    m_notifiers.push_back(notifier);
  }
}

void CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) {
  m_notifiers.erase(std::remove(m_notifiers.begin(), m_notifiers.end(), notifier), m_notifiers.end());
}

void CPaintManagerUI::SendNotify(CControlUI* sender, const std::wstring& type, bool async) {
  TNotifyUI msg;
  msg.sType = type;
  msg.pSender = sender;
  SendNotify(msg, async);
}

void CPaintManagerUI::SendNotify(TNotifyUI& msg, bool async) {
  if (!async) {
    Deliver(msg);
    return;
  }
  QMetaObject::invokeMethod(
      m_asyncContext.get(), [this, copy = msg]() mutable { Deliver(copy); }, Qt::QueuedConnection);
}

void CPaintManagerUI::Deliver(TNotifyUI& msg) {
  // A notifier may unregister (or close its window) while handling.
  std::vector<INotifyUI*> notifiers = m_notifiers;
  for (INotifyUI* notifier : notifiers) {
    if (std::find(m_notifiers.begin(), m_notifiers.end(), notifier) == m_notifiers.end()) continue;
    notifier->Notify(msg);
  }
}

void CPaintManagerUI::SetResourcePath(const std::string& folder) {
  std::lock_guard<std::mutex> hold(g_pathLock);
  g_resourcePath = folder;
}

std::string CPaintManagerUI::GetResourcePath() {
  std::lock_guard<std::mutex> hold(g_pathLock);
  return g_resourcePath;
}

std::string CPaintManagerUI::ResolvePath(const std::string& relative) {
  QString path = QString::fromStdString(relative);
  path.replace(QLatin1Char('\\'), QLatin1Char('/'));
  if (QDir::isAbsolutePath(path)) return path.toStdString();
  return QDir(QString::fromStdString(GetResourcePath())).filePath(path).toStdString();
}

void CPaintManagerUI::DeletePtr(void* record) { delete static_cast<MenuClickRecord*>(record); }

int CPaintManagerUI::MessageLoop() {
  if (!QCoreApplication::instance()) return -1;
  return QCoreApplication::exec();
}

void CPaintManagerUI::PostQuitMessage(int code) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  // Queued, so it is safe from any thread and ends a loop started later.
  QMetaObject::invokeMethod(app, [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
}
