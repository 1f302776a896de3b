// The settings window's start-up, its buttons, pages, tips, microphone and
// recording folder. The output size and the capture frame's mode are in
// SettingDlgOutput.cpp.
#include "ui/SettingDlg.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPoint>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cwctype>
#include <memory>
#include <utility>

#include "app/PublishParams.h"
#include "app/ScreenCaptureProxy.h"
#include "app/StringConvert.h"
#include "app/UserConfig.h"
#include "platform/duilib/controls.h"
#include "platform/duilib/list_controls.h"
#include "ui/CaptureModes.h"
#include "ui/OutputSizeList.h"
#include "ui/PromptBox.h"
#include "ui/TipLabelUI.h"

namespace {

// Where a tip opens, from its button's top-right corner.
constexpr int kTipLeftOfRight = 110;
constexpr int kTipBelowTop = 15;

const wchar_t* const kTypedSizeTip = L"宽高最大为1920*1080";
const wchar_t* const kLockTip =
    L"是指共享窗口分辨率以输出分辨率\n设置为准不可更改，可保证视频\n1:1原画输出，保证视频清晰度。\n"
    L"例如输出分辨率设置640*480，\n则共享窗口大小默认为640*480\n不可调整";
const wchar_t* const kRatioTip =
    L"是指共享窗口分辨率以输出分辨率\n设置的比例为准进行缩小或放大，\n保证视频无黑边,例如输出分辨率\n"
    L"设置640 * 480，则共享窗口大小\n默认为640 * 480，\n可以4:3的比例进行缩小或放大";

// Pages of "tab_switch", by the name of the option that shows them.
struct PageOption {
  const wchar_t* name;
  int page;
};
constexpr PageOption kPageOptions[] = {{L"video_tab", 0}, {L"audio_tab", 1}, {L"recoder_tab", 2}, {L"set_tab", 3}};
constexpr int kSetPage = 3;

std::wstring Lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
  return text;
}

}  // namespace

// Sees every mouse button go up before the widget under it acts on it.
class CSettingDlg::ReleaseWatch : public QObject {
 public:
  explicit ReleaseWatch(std::function<void()> onRelease) : m_onRelease(std::move(onRelease)) {
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
  }
  ~ReleaseWatch() override {
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // Mouse events go to windows and widgets; events posted to other objects
    // from other threads (window messages) are left unread.
    if (!watched->isWindowType() && !watched->isWidgetType()) return false;
    if (event->type() == QEvent::MouseButtonRelease) m_onRelease();
    return false;
  }

 private:
  const std::function<void()> m_onRelease;
};

DUILIB_BEGIN_MESSAGE_MAP(CSettingDlg)
DUILIB_ON_NOTIFY(notify_type::kSelectChanged, OnSelectChanged)
DUILIB_ON_NOTIFY(notify_type::kItemSelect, OnItemSelect)
DUILIB_ON_NOTIFY(notify_type::kTextChanged, OnTextChanged)
DUILIB_ON_NOTIFY(notify_type::kKillFocus, OnKillFocus)
DUILIB_END_MESSAGE_MAP()

CSettingDlg::CSettingDlg(std::shared_ptr<CScreenCaptureProxy> proxy, CCaptureDlg* captureFrame)
    : CSettingDlg(std::move(proxy), captureFrame, TheUserConfig(), ThePublishParams(), ChooseFolderWithDialog) {}

CSettingDlg::CSettingDlg(std::shared_ptr<CScreenCaptureProxy> proxy, CCaptureDlg* captureFrame, CUserConfig& config,
                         CPublishParams& publishParams, FolderChooser chooseFolder)
    : m_proxy(std::move(proxy)),
      m_captureFrame(captureFrame),
      m_config(config),
      m_publishParams(publishParams),
      m_chooseFolder(std::move(chooseFolder)) {
  // A held close is for the click that ends the press it came with, if that
  // press makes a click at all (the tip taking the focus may cancel it): once
  // that release is dealt with, the hold is over.
  m_releaseWatch = std::make_unique<ReleaseWatch>([this] {
    if (m_closeHeld) QTimer::singleShot(0, m_releaseWatch.get(), [this] { m_closeHeld = false; });
  });
}

// A tip is a child of this window's widget: left open, it would go with the
// widget and never run its own clean-up.
CSettingDlg::~CSettingDlg() { CloseOpenTip(); }

void CSettingDlg::OnFinalMessage(HWND hWnd) {
  CloseOpenTip();
  WindowImplBase::OnFinalMessage(hWnd);
}

void CSettingDlg::ChangeConfig(const std::function<void(UserConfigValues&)>& change) {
  UserConfigValues values = m_config.Get();
  change(values);
  m_config.Set(values);
}

void CSettingDlg::InitWindow() {
  SetStyle(GetStyle() & ~WS_THICKFRAME);
  FindControls();
  if (m_widthEdit) m_widthEdit->SetText(std::to_wstring(m_typedWidth));
  if (m_heightEdit) m_heightEdit->SetText(std::to_wstring(m_typedHeight));
  if (m_recordPathEdit) m_recordPathEdit->SetText(MultiByteToWide(m_config.GetRecordPath()));
  // The window made hidden at login is what hands the saved size and mode to
  // the proxy and the capture frame.
  FillResolutionList();
  FillMicrophoneList();
  SelectSavedMode();
}

void CSettingDlg::FindControls() {
  m_closeBtn = m_PaintManager.FindControl(L"closebtn");
  m_confirmBtn = m_PaintManager.FindControl(L"comfirm");
  m_manTip = m_PaintManager.FindControl(L"manTip");
  m_lockTip = m_PaintManager.FindControl(L"lockTip");
  m_ratioTip = m_PaintManager.FindControl(L"ratioTip");
  m_presetSizes = m_PaintManager.FindControlAs<COptionUI>(L"sysetting");
  m_typedSizes = m_PaintManager.FindControlAs<COptionUI>(L"mansetting");
  m_resolutionList = m_PaintManager.FindControlAs<CItemListUI>(L"resolutionList");
  m_resolutionContainer = m_PaintManager.FindControl(L"resolutionContainer");
  m_widthEdit = m_PaintManager.FindControl(L"widthEdit");
  m_heightEdit = m_PaintManager.FindControl(L"heightEdit");
  m_lockOption = m_PaintManager.FindControlAs<COptionUI>(L"lockResolution");
  m_ratioOption = m_PaintManager.FindControlAs<COptionUI>(L"ratioResolution");
  m_micList = m_PaintManager.FindControlAs<CItemListUI>(L"audiodevList");
  m_recordOption = m_PaintManager.FindControl(L"recoderOption");
  m_recordPathEdit = m_PaintManager.FindControl(L"recoderPathEdit");
  m_recordPathBtn = m_PaintManager.FindControl(L"recoderPathBtn");
  m_pages = m_PaintManager.FindControlAs<CTabLayoutUI>(L"tab_switch");
}

void CSettingDlg::FillResolutionList() {
  if (!m_resolutionList) return;
  const UserConfigValues config = m_config.Get();
  const PublishParamValues params = m_publishParams.Get();
  const SavedOutputSize saved = FillOutputSizeList(*m_resolutionList, config.resolutionList, config.outResolution,
                                                   params.MaxVDWidth, params.MaxVDHeight);
  // Silently: a size standing in for one the account does not allow is not
  // the presenter's choice and is not saved.
  if (saved.listIndex >= 0) m_resolutionList->SelectItem(saved.listIndex, false, false);
  if (saved.inForce && m_proxy) m_proxy->SetOutputSize(saved.inForce->width, saved.inForce->height);
}

void CSettingDlg::FillMicrophoneList() {
  if (!m_micList) return;
  m_micList->RemoveAll();
  if (m_proxy) {
    for (const std::wstring& name : m_proxy->MicNames()) m_micList->AddItem(name);
  }
  if (m_micList->GetCount() == 0) return;
  // A microphone unplugged since the last run leaves an index past the list;
  // the first one stands in rather than an index nobody can open.
  int index = m_config.Get().micIndex;
  if (index < 0 || index >= m_micList->GetCount()) index = 0;
  m_micList->SelectItem(index);
}

void CSettingDlg::SelectSavedMode() {
  const int saved = m_config.Get().lockMode;
  if (saved == kSavedModeLock && m_lockOption) m_lockOption->Selected(true);
  if (saved == kSavedModeRatio && m_ratioOption) m_ratioOption->Selected(true);
}

void CSettingDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == notify_type::kSelectChanged && msg.pSender) {
    const std::wstring name = Lower(msg.pSender->GetName());
    for (const PageOption& option : kPageOptions) {
      if (name != option.name) continue;
      // Leaving a page deselects its option too; only the chosen one counts.
      auto* pageOption = dynamic_cast<COptionUI*>(msg.pSender);
      if (m_pages && (!pageOption || pageOption->IsSelected())) m_pages->SelectItem(option.page);
      if (option.page == kSetPage) return;
      break;
    }
  }
  WindowImplBase::Notify(msg);
}

void CSettingDlg::OnClick(TNotifyUI& msg) {
  CControlUI* sender = msg.pSender;
  const bool closeHeld = std::exchange(m_closeHeld, false);
  if (sender && (sender == m_closeBtn || sender == m_confirmBtn)) {
    if (!closeHeld) PostMessageW(WM_CLOSE);
    return;
  }
  if (sender && sender == m_manTip) ShowTip(sender, kTypedSizeTip);
  if (sender && sender == m_lockTip) ShowTip(sender, kLockTip);
  if (sender && sender == m_ratioTip) ShowTip(sender, kRatioTip);
  if (sender && sender == m_recordPathBtn) BrowseRecordFolder();
  WindowImplBase::OnClick(msg);
}

void CSettingDlg::ShowTip(CControlUI* button, const std::wstring& text) {
  QWidget* window = GetWidget();
  if (!window || !button) return;
  const RECT pos = button->GetPos();
  const QPoint at = window->mapToGlobal(QPoint(pos.right - kTipLeftOfRight, pos.top + kTipBelowTop));
  CloseOpenTip();
  auto tip = std::make_unique<CTipLabelUI>();
  if (!tip->Create(GetHWND(), L"tipMenu", WS_POPUP, WS_EX_TOPMOST | WS_EX_TOOLWINDOW)) return;
  tip->SetTipText(text);
  tip->ShowAt(at.x(), at.y());
  m_openTip = tip->GetHWND();
  tip.release();  // it deletes itself once closed
}

void CSettingDlg::ShowTypedSizeTip() { ShowTip(m_manTip, kTypedSizeTip); }

void CSettingDlg::CloseOpenTip() {
  const HWND tip = m_openTip;
  m_openTip = 0;
  // Gone already when it closed itself on losing the focus.
  if (CWindowWnd* window = tip ? window_messages::FindWindow(tip) : nullptr) window->HandleMessage(WM_CLOSE, 1, 0);
}

void CSettingDlg::BrowseRecordFolder() {
  if (!m_chooseFolder) return;
  const std::optional<std::wstring> folder = m_chooseFolder(GetWidget(), L"请选择文件夹");
  if (!folder || folder->empty()) return;
  if (m_recordPathEdit) m_recordPathEdit->SetText(*folder);
  ChangeConfig([&](UserConfigValues& values) { values.recordPath = WideToMultiByte(*folder); });
}

void CSettingDlg::OnItemSelect(TNotifyUI& msg) {
  if (!msg.pSender) return;
  if (msg.pSender == m_micList) ChooseMicrophone();
  if (msg.pSender == m_resolutionList) ChooseListedSize(msg.lParam);
}

void CSettingDlg::ChooseMicrophone() {
  const int index = m_micList->GetCurSel();
  CListLabelElementUI* item = m_micList->GetItemAt(index);
  if (!item) return;
  if (m_proxy) m_proxy->SetMicIndex(index);
  const std::string name = WideToMultiByte(item->GetText());
  ChangeConfig([&](UserConfigValues& values) {
    values.micIndex = index;
    values.micName = name;
  });
}

void CSettingDlg::OnTextChanged(TNotifyUI&) {}

LRESULT CSettingDlg::HandleCustomMessage(UINT message, WPARAM, LPARAM, bool& handled) {
  handled = false;
  if (message == WM_RESOLUTION_WARNING) ShowPromptBox(L"超出最大输出分辨率范围", L"警告");
  return 0;
}
