#include "ui/CapSoftDlg.h"

#include <algorithm>

#include "app/ScreenCaptureProxy.h"
#include "platform/duilib/list_controls.h"
#include "ui/SourcePickerHost.h"

DUILIB_BEGIN_MESSAGE_MAP(CCapSoftDlg)
DUILIB_ON_NOTIFY(notify_type::kItemSelect, OnItemSelect)
DUILIB_END_MESSAGE_MAP()

CCapSoftDlg::CCapSoftDlg(std::shared_ptr<CScreenCaptureProxy> proxy, ISourcePickerHost* host,
                         TopLevelWindowLister listWindows)
    : m_proxy(std::move(proxy)), m_host(host), m_listWindows(std::move(listWindows)) {}

void CCapSoftDlg::InitWindow() {
  if (m_listWindows) m_windows = WindowsByTitle(m_listWindows());
  m_softwareList = m_PaintManager.FindControlAs<CItemListUI>(L"softwareList");
  m_confirmBtn = m_PaintManager.FindControl(L"comfirm");
  m_cancelBtn = m_PaintManager.FindControl(L"cancel");
  if (!m_softwareList) return;
  m_softwareList->RemoveAll();
  m_softwareList->AddItem(PleaseChooseText());
  for (const auto& entry : m_windows) m_softwareList->AddItem(entry.first);
  m_softwareList->SelectItem(0, false, false);
}

void CCapSoftDlg::OnItemSelect(TNotifyUI& msg) {
  if (!m_softwareList || msg.pSender != m_softwareList) return;
  // Only a listed window has an entry; "请选择" has none (and a window could
  // carry that very title, so the index decides, not the text).
  if (m_softwareList->GetCurSel() <= 0) return;
  const auto found = m_windows.find(m_softwareList->GetText());
  if (found == m_windows.end()) return;
  IRtmpPublishManager* manager = m_proxy ? m_proxy->Manager() : nullptr;
  if (!manager) return;
  // The window may have closed while the list was open; the library would
  // be handed a handle that names nothing, or by now another window.
  if (!StillListed(found->second)) return;
  manager->SetCaptureWindow(found->second);
}

bool CCapSoftDlg::StillListed(HWND window) const {
  if (!m_listWindows) return false;
  const std::vector<TopLevelWindow> now = m_listWindows();
  return std::any_of(now.begin(), now.end(), [window](const TopLevelWindow& w) { return w.handle == window; });
}

void CCapSoftDlg::OnClick(TNotifyUI& msg) {
  if (msg.pSender && msg.pSender == m_cancelBtn) {
    Close(1);
  } else if (msg.pSender && msg.pSender == m_confirmBtn) {
    if (m_host) m_host->SwitchSource(ISourcePickerHost::kSourceDesktop);
    Close(1);
  }
  WindowImplBase::OnClick(msg);
}

void CCapSoftDlg::OnFinalMessage(HWND hWnd) {
  WindowImplBase::OnFinalMessage(hWnd);
  delete this;
}
