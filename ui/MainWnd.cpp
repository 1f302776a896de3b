// The main window's life: construction, the controls it looks up, the login
// hand-over, and the orderly shut-down of what it owns.
#include "ui/MainWnd.h"

#include <QMessageBox>
#include <QString>
#include <QTimer>

#include "app/ProgramFolder.h"
#include "app/StringConvert.h"
#include "platform/duilib/controls.h"
#include "platform/duilib/list_controls.h"
#include "platform/duilib/modal_withdrawal.h"
#include "ui/CameraDevWnd.h"
#include "ui/LoginWnd.h"
#include "ui/ProgramEventPump.h"
#include "ui/OutputSizeList.h"
#include "ui/PromptBox.h"
#include "ui/SettingDlg.h"
#include "ui/StatusRelay.h"
#include "ui/WndUI.h"

namespace {

// The frame's own style set, without WS_VISIBLE: windows made here are shown
// when their owner decides.
constexpr DWORD kHiddenFrameStyle = UI_WNDSTYLE_FRAME & ~WS_VISIBLE;

// What the presenter is told once when user_config.xml could not be loaded.
std::wstring SettingsResetNotice(const ProgramConfigLoad& load) {
  if (load.result != CUserConfig::LoadResult::kDamaged) return {};
  std::wstring text = L"设置文件 user_config.xml 已损坏或无法读取，所有设置已恢复为默认值。\n";
  if (load.keptAs.empty()) return text + L"原文件无法移走，本次的设置不会保存。";
  const size_t slash = load.keptAs.rfind('/');
  return text + L"原文件已保留为 " + MultiByteToWide(load.keptAs.substr(slash == std::string::npos ? 0 : slash + 1)) +
         L"。";
}

}  // namespace

DUILIB_BEGIN_MESSAGE_MAP(CMainWnd)
  DUILIB_ON_NOTIFY(notify_type::kSelectChanged, OnSelectChanged)
  DUILIB_ON_NOTIFY(notify_type::kItemClick, OnItemClick)
  DUILIB_ON_NOTIFY(notify_type::kItemSelect, OnItemSelect)
  DUILIB_ON_NOTIFY(notify_type::kValueChanged, OnValueChanged)
  DUILIB_ON_NOTIFY(notify_type::kKillFocus, OnKillFocus)
DUILIB_END_MESSAGE_MAP()

CMainWnd::CMainWnd() : CMainWnd(ProgramProxyWiring(), true) {}

CMainWnd::CMainWnd(ScreenCaptureProxyWiring wiring, bool installCrashHandler)
    : m_wiring(std::move(wiring)),
      m_relay(std::make_unique<StatusRelay>(this)),
      m_pump(std::make_unique<ProgramEventPump>(m_wiring.events)) {
  // The crash report is set up with the values as they stand before loading,
  // so a broken configuration file cannot keep a crash from being reported.
  if (installCrashHandler) SetupCrashHandler();
  m_settingsNotice = SettingsResetNotice(LoadProgramUserConfig());
  m_messageBox = [this](const std::wstring& text, const std::wstring& caption) {
    WithdrawnBeforeHide<QMessageBox> box(QMessageBox::Warning, QString::fromStdWString(caption),
                                         QString::fromStdWString(text), QMessageBox::Ok, GetWidget());
    box.exec();
  };
}

CMainWnd::~CMainWnd() {
  SaveProgramUserConfig();
  if (m_recording) {
    if (IRtmpPublishManager* manager = m_proxy ? m_proxy->Manager() : nullptr) manager->EnableRecordFile(false);
    m_recording = false;
  }
  if (m_live || m_runStarted) StopPublishing();
  // No word of the library may reach this window from here on, and the pump
  // must not post to it while it goes.
  m_relay->Detach();
  m_pump->Stop();
  RemoveTrayIcon();
  m_mediaFiles.clear();
  DropShares();
}

void CMainWnd::DropShares() {
  // Every window holding a share of the proxy goes first, so the proxy's own
  // destructor (stopping the library, joining its threads) runs here, while
  // its status sink still exists.
  m_cameraDev.reset();
  m_settingDlg.reset();
  if (m_captureFrame) m_captureFrame->SetProxy(nullptr);
  m_loginWnd.reset();
  m_captureFrame.reset();
  m_proxy.reset();
}

void CMainWnd::QuitProgram(int code) { CPaintManagerUI::PostQuitMessage(code); }

void CMainWnd::FindControls() {
  CPaintManagerUI& pm = m_PaintManager;
  m_closeBtn = pm.FindControlAs<CButtonUI>(L"closebtn");
  m_minBtn = pm.FindControlAs<CButtonUI>(L"minbtn");
  m_settingBtn = pm.FindControlAs<CButtonUI>(L"setting");
  m_cameraBtn = pm.FindControlAs<CButtonUI>(L"camedevBtn");
  m_shareDeskBtn = pm.FindControlAs<CButtonUI>(L"shareDeskBtn");
  m_mediaBtn = pm.FindControlAs<CButtonUI>(L"mediaBtn");
  m_startBtn = pm.FindControlAs<CButtonUI>(L"startPubBtn");
  m_recordBtn = pm.FindControlAs<CButtonUI>(L"recoderBtn");
  m_pubTimeLabel = pm.FindControlAs<CLabelUI>(L"pubtimeLabel");
  m_volumeSlider = pm.FindControlAs<CSliderUI>(L"slidervolume");
  m_volumeLabel = pm.FindControlAs<CLabelUI>(L"labelvolume");
  m_nsOpen = pm.FindControlAs<COptionUI>(L"nsopen");
  m_nsClose = pm.FindControlAs<COptionUI>(L"nsclose");
  m_mixOpen = pm.FindControlAs<COptionUI>(L"mixopen");
  m_mixClose = pm.FindControlAs<COptionUI>(L"mixclose");
  m_wndMedia = pm.FindControl(L"wndMedia");
  m_labelContainer = pm.FindControl(L"labeContainer");
  m_pubMsgLabel = pm.FindControlAs<CLabelUI>(L"pubmsgLabel");
  m_pubMsgLabelDown = pm.FindControlAs<CLabelUI>(L"pubmsgLabeldown");
  m_userNameLabel = pm.FindControlAs<CLabelUI>(L"usernameLabel");
  m_sysSetting = pm.FindControlAs<COptionUI>(L"sysetting");
  m_manSetting = pm.FindControlAs<COptionUI>(L"mansetting");
  m_resolutionList = pm.FindControlAs<CItemListUI>(L"resolutionList");
  m_resolutionContainer = pm.FindControl(L"resolutionContainer");
  m_widthEdit = pm.FindControlAs<CEditUI>(L"widthEdit");
  m_heightEdit = pm.FindControlAs<CEditUI>(L"heightEdit");
  m_lockResolution = pm.FindControlAs<COptionUI>(L"lockResolution");
  m_ratioResolution = pm.FindControlAs<COptionUI>(L"ratioResolution");
  m_audioDevList = pm.FindControlAs<CItemListUI>(L"audiodevList");
  m_recordPathEdit = pm.FindControlAs<CEditUI>(L"recoderPathEdit");
  m_recordPathBtn = pm.FindControlAs<CButtonUI>(L"recoderPathBtn");
}

void CMainWnd::InitWindow() {
  SetStyle(GetStyle() & WS_THICKFRAME);
  FindControls();
  m_pump->Start();

  m_loginWnd = std::make_unique<CLoginWnd>(this);
  if (!m_loginWnd->Create(0, L"LoginDlg", kHiddenFrameStyle, 0)) {
    m_startupError = "the login window could not be made: " + m_loginWnd->GetCreateError();
  } else {
    m_loginWnd->CenterWindow();
    m_loginWnd->ShowWindow(true);
  }
  m_captureFrame = std::make_unique<CCaptureDlg>(this);
  if (!m_captureFrame->Create(0, L"CaptureDlg", kHiddenFrameStyle, 0) && m_startupError.empty()) {
    m_startupError = "the capture frame could not be made: " + m_captureFrame->GetCreateError();
  }
  CreateProxy();

  if (m_resolutionList) m_resolutionList->RemoveAll();
  FillMicrophoneList();
  RestoreCamera();
  const UserConfigValues config = TheUserConfig().Get();
  if (config.lockMode == 1 && m_lockResolution) m_lockResolution->Selected(true, false);
  if (config.lockMode == 2 && m_ratioResolution) m_ratioResolution->Selected(true, false);
  m_lockSelected = config.lockMode == 1;
  if (m_recordPathEdit) m_recordPathEdit->SetText(MultiByteToWide(config.recordPath));
  SetStartImages(false);
  SetRecordImages(L"images/recordgray.png", L"images/recordgray.png");
  // Once the login window is up; the box waits for the presenter.
  if (!m_settingsNotice.empty())
    QTimer::singleShot(0, GetWidget(), [text = m_settingsNotice] { ShowPromptBox(text, L"提示"); });
}

void CMainWnd::FillMicrophoneList() {
  if (!m_audioDevList) return;
  m_audioDevList->RemoveAll();
  if (!m_proxy) return;
  const std::vector<std::wstring>& names = m_proxy->MicNames();
  for (const std::wstring& name : names) m_audioDevList->AddItem(name);
  if (names.empty()) return;
  // Restored by name: the list's order changes when devices come and go, and
  // the index saved with it would pick another microphone.
  UserConfigValues config = TheUserConfig().Get();
  int index = 0;
  const std::wstring wanted = MultiByteToWide(config.micName);
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == wanted) index = static_cast<int>(i);
  }
  m_audioDevList->SelectItem(index, false, false);
  m_proxy->SetMicIndex(index);
  config.micIndex = index;
  TheUserConfig().Set(config);
}

void CMainWnd::RestoreCamera() {
  if (!m_proxy) return;
  UserConfigValues config = TheUserConfig().Get();
  const std::vector<std::wstring>& names = m_proxy->CamNames();
  const std::wstring wanted = MultiByteToWide(config.camName);
  int index = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == wanted) index = static_cast<int>(i);
  }
  m_proxy->SetCameraIndex(index);
  config.camIndex = index;
  TheUserConfig().Set(config);
}

void CMainWnd::CreateProxy() {
  if (m_live) {
    StopPublishing();
    m_live = false;
  }
  if (m_proxy) return;
  m_proxy = std::make_shared<CScreenCaptureProxy>(m_relay.get(), m_wiring);
  HWND display = 0;
  if (auto* wnd = dynamic_cast<CWndUI*>(m_wndMedia)) display = wnd->GetHostedWindow();
  m_proxy->Init(m_captureFrame ? m_captureFrame->GetHWND() : 0, display, GetHWND());
  if (m_captureFrame) m_captureFrame->SetProxy(m_proxy);
  m_hasMicrophone = !m_proxy->MicNames().empty();
}

std::unique_ptr<CControlUI> CMainWnd::CreateControl(const std::wstring& tag) {
  if (QString::fromStdWString(tag).compare(QStringLiteral("WndMediaDisplay"), Qt::CaseInsensitive) == 0) {
    return std::make_unique<CWndUI>();
  }
  return nullptr;
}

void CMainWnd::OnLoginSuccess() {
  ShowWindow(true, true);
  if (m_captureFrame) {
    m_captureFrame->ShowWindow(true, false);
    m_captureFrame->SetExStyle(m_captureFrame->GetExStyle() | WS_EX_TOPMOST);
  }
  // The account just logged in may use other encoder settings than the one
  // the proxy was set up with.
  if (m_proxy) m_proxy->ApplyLoginSettings();
  if (!m_settingDlg) {
    // Made hidden: it only applies the saved output size and capture mode
    // now; the setting button opens a dialog of its own.
    m_settingDlg = std::make_unique<CSettingDlg>(m_proxy, m_captureFrame.get());
    if (m_settingDlg->Create(GetHWND(), L"CSettingDlg", UI_WNDSTYLE_FRAME & ~WS_VISIBLE, 0)) {
      m_settingDlg->CenterWindow();
    } else {
      m_settingDlg.reset();
    }
  }
  ApplySettings();
  AddTrayIcon();
  WriteDumpIni();
}

void CMainWnd::ApplySettings() {
  const UserConfigValues config = TheUserConfig().Get();
  // An offline login leaves USERID at the last online account.
  if (m_userNameLabel) m_userNameLabel->SetText(MultiByteToWide(AccountInUse(config)));
  if (m_volumeSlider) m_volumeSlider->SetValue(config.volume);
  if (m_mixOpen) m_mixOpen->Selected(config.audioMix, false);
  if (m_nsOpen) m_nsOpen->Selected(config.antiNoise, false);
  if (!m_resolutionList) return;
  const PublishParamValues params = ThePublishParams().Get();
  const SavedOutputSize saved = FillOutputSizeList(*m_resolutionList, config.resolutionList, config.outResolution,
                                                   params.MaxVDWidth, params.MaxVDHeight);
  if (saved.listIndex >= 0) m_resolutionList->SelectItem(saved.listIndex, false, false);
}
