#include "ui/CameraDevWnd.h"

#include "app/ScreenCaptureProxy.h"
#include "app/StringConvert.h"
#include "app/UserConfig.h"
#include "platform/duilib/list_controls.h"
#include "ui/SourcePickerHost.h"

DUILIB_BEGIN_MESSAGE_MAP(CCameraDevWnd)
DUILIB_ON_NOTIFY(notify_type::kItemSelect, OnItemSelect)
DUILIB_END_MESSAGE_MAP()

CCameraDevWnd::CCameraDevWnd(std::shared_ptr<CScreenCaptureProxy> proxy)
    : CCameraDevWnd(std::move(proxy), TheUserConfig()) {}

CCameraDevWnd::CCameraDevWnd(std::shared_ptr<CScreenCaptureProxy> proxy, CUserConfig& config)
    : m_proxy(std::move(proxy)), m_config(config) {}

HWND CCameraDevWnd::Create(HWND parent, const std::wstring& name, DWORD style, DWORD exStyle, int x, int y, int cx,
                           int cy) {
  m_owner = parent;
  return CWindowWnd::Create(parent, name, style, exStyle, x, y, cx, cy);
}

void CCameraDevWnd::InitWindow() {
  SetStyle(GetStyle() & ~WS_THICKFRAME);
  m_closeBtn = m_PaintManager.FindControl(L"closebtn");
  m_confirmBtn = m_PaintManager.FindControl(L"comfirm");
  m_cameraList = m_PaintManager.FindControlAs<CItemListUI>(L"cameraList");
  if (!m_cameraList) return;
  m_cameraList->RemoveAll();
  if (m_proxy) {
    for (const std::wstring& name : m_proxy->CamNames()) m_cameraList->AddItem(name);
  }
  if (m_cameraList->GetCount() == 0) {
    // An empty list alone leaves the presenter guessing why.
    if (CControlUI* none = m_PaintManager.FindControl(L"noCameraLabel")) {
      m_cameraList->SetVisible(false);
      none->SetVisible(true);
    }
    return;
  }
  // A camera unplugged since the last run leaves a stale index behind; the
  // first camera stands in for it rather than an index nobody can open.
  int index = m_config.Get().camIndex;
  if (index < 0 || index >= m_cameraList->GetCount()) index = 0;
  m_cameraList->SelectItem(index, false, false);
  m_proxy->SetCameraIndex(index);
}

void CCameraDevWnd::OnItemSelect(TNotifyUI& msg) {
  if (!m_cameraList || msg.pSender != m_cameraList) return;
  ChooseCamera(m_cameraList->GetCurSel());
}

void CCameraDevWnd::ChooseCamera(int index) {
  CListLabelElementUI* item = m_cameraList->GetItemAt(index);
  if (!item) return;
  UserConfigValues values = m_config.Get();
  values.camIndex = index;
  values.camName = WideToMultiByte(item->GetText());
  m_config.Set(values);
  if (m_proxy) m_proxy->SetCameraIndex(index);
}

void CCameraDevWnd::OnClick(TNotifyUI& msg) {
  if (msg.pSender && msg.pSender == m_closeBtn) {
    PostMessageW(WM_CLOSE);
    return;
  }
  if (msg.pSender && msg.pSender == m_confirmBtn) {
    // Without a camera there is nothing to switch to.
    if (m_cameraList && m_cameraList->GetCurSel() >= 0 && m_owner) {
      ::PostMessageW(m_owner, WM_SWITCH_SOURCE, ISourcePickerHost::kSourceCamera);
    }
    PostMessageW(WM_CLOSE);
    return;
  }
  WindowImplBase::OnClick(msg);
}
