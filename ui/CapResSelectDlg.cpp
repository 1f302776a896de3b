#include "ui/CapResSelectDlg.h"

#include "app/ScreenCaptureProxy.h"
#include "app/StringConvert.h"
#include "app/UserConfig.h"
#include "platform/duilib/list_controls.h"
#include "ui/SourcePickerHost.h"

DUILIB_BEGIN_MESSAGE_MAP(CCapResSelectDlg)
DUILIB_ON_NOTIFY(notify_type::kItemSelect, OnItemSelect)
DUILIB_END_MESSAGE_MAP()

CCapResSelectDlg::CCapResSelectDlg(ISourcePickerHost* host, std::shared_ptr<CScreenCaptureProxy> proxy)
    : CCapResSelectDlg(host, std::move(proxy), TheUserConfig()) {}

CCapResSelectDlg::CCapResSelectDlg(ISourcePickerHost* host, std::shared_ptr<CScreenCaptureProxy> proxy,
                                   CUserConfig& config)
    : m_host(host), m_proxy(std::move(proxy)), m_config(config) {}

void CCapResSelectDlg::InitWindow() {
  m_resolutionList = m_PaintManager.FindControlAs<CItemListUI>(L"resolutionList");
  m_confirmBtn = m_PaintManager.FindControl(L"comfirm");
  m_cancelBtn = m_PaintManager.FindControl(L"cancel");
  if (!m_resolutionList) return;
  const UserConfigValues values = m_config.Get();
  m_resolutionList->RemoveAll();
  for (const std::string& size : values.captureSizeList) m_resolutionList->AddItem(MultiByteToWide(size));
  // An index the list does not have (a smaller screen than last time) leaves
  // nothing selected.
  m_resolutionList->SelectItem(values.selectResolutionIndex, false, false);
  if (values.lockMode != 0) m_resolutionList->SetEnabled(false);
}

void CCapResSelectDlg::OnItemSelect(TNotifyUI& msg) {
  if (!m_resolutionList || msg.pSender != m_resolutionList) return;
  const int index = m_resolutionList->GetCurSel();
  CListLabelElementUI* item = m_resolutionList->GetItemAt(index);
  if (!item) return;
  UserConfigValues values = m_config.Get();
  if (index == values.selectResolutionIndex) return;
  values.selectResolutionIndex = index;
  m_config.Set(values);
  if (m_host) m_host->ApplyCaptureSize(item->GetText());
}

void CCapResSelectDlg::Confirm() {
  const std::wstring text = m_resolutionList ? m_resolutionList->GetText() : std::wstring();
  // With nothing selected there is no size to apply; the source stays.
  if (text.empty()) return;
  if (m_proxy) {
    if (IRtmpPublishManager* manager = m_proxy->Manager()) manager->ScreenCaptureAuxB();
  }
  if (m_host) {
    m_host->ApplyCaptureSize(text);
    m_host->SwitchSource(ISourcePickerHost::kSourceDesktop);
  }
}

void CCapResSelectDlg::OnClick(TNotifyUI& msg) {
  if (msg.pSender && msg.pSender == m_cancelBtn) {
    Close(1);
  } else if (msg.pSender && msg.pSender == m_confirmBtn) {
    Confirm();
    Close(1);
  }
  WindowImplBase::OnClick(msg);
}
