// The main window's controls: clicks, switches, lists, edits and the slider,
// and what they do to the capture frame and the published source.
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "app/StringConvert.h"
#include "platform/duilib/controls.h"
#include "platform/duilib/list_controls.h"
#include "ui/CameraDevWnd.h"
#include "ui/CapResSelectDlg.h"
#include "ui/CapSoftDlg.h"
#include "ui/ExitDlg.h"
#include "ui/FolderPicker.h"
#include "ui/MainWnd.h"
#include "ui/MesageBoxUI.h"
#include "ui/SettingDlg.h"
#include "ui/CaptureFrameSize.h"
#include "ui/CaptureModes.h"
#include "ui/OutputSizeList.h"
#include "ui/OutputSizeText.h"
#include "ui/ScreenPixels.h"

namespace {

bool SameName(const std::wstring& a, const wchar_t* b) {
  return QString::fromStdWString(a).compare(QString::fromWCharArray(b), Qt::CaseInsensitive) == 0;
}

}  // namespace

void CMainWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == notify_type::kSelectChanged && msg.pSender) {
    static const wchar_t* const kPages[] = {L"desk_tab", L"camera_tab", L"file_tab", L"set_tab"};
    for (int page = 0; page < 4; ++page) {
      if (!SameName(msg.pSender->GetName(), kPages[page])) continue;
      if (auto* tabs = m_PaintManager.FindControlAs<CTabLayoutUI>(L"tab_switch")) tabs->SelectItem(page);
      if (page == 3) return;
      break;
    }
  }
  WindowImplBase::Notify(msg);
}

void CMainWnd::OnClick(TNotifyUI& msg) {
  CControlUI* sender = msg.pSender;
  if (!sender) {
    WindowImplBase::OnClick(msg);
    return;
  }
  if (sender == m_closeBtn) {
    OpenExitDialog();
    return;
  }
  if (sender == m_minBtn) {
    Minimise();
    return;
  }
  if (sender == m_settingBtn) {
    if (m_live) {
      auto* box = new CMesageBoxUI;  // deletes itself once closed
      if (box->Create(GetHWND(), L"Messagebox", UI_WNDSTYLE_DIALOG, 0)) {
        box->CenterWindow();
        box->ShowModal();
      } else {
        delete box;
      }
      return;
    }
    OpenSettingsModal();
  } else if (sender == m_mediaBtn) {
    OpenMediaFile();
    return;
  } else if (sender == m_shareDeskBtn) {
    RECT rc = sender->GetClientPos();
    QPoint screen = GetWidget()->mapToGlobal(QPoint(rc.left + 15, rc.bottom - 5));
    OpenMenu(L"shareDeskMenu.xml", POINT{screen.x(), screen.y()}, CMenuWnd::kAlignLeft | CMenuWnd::kAlignTop);
  } else if (sender == m_cameraBtn) {
    m_cameraDev = std::make_unique<CCameraDevWnd>(m_proxy);
    if (m_cameraDev->Create(GetHWND(), L"CameraDev", UI_WNDSTYLE_DIALOG, 0)) {
      m_cameraDev->CenterWindow();
      m_cameraDev->ShowWindow(true);
    }
  } else if (sender == m_startBtn) {
    OnStartPublishClick();
  } else if (sender == m_recordBtn) {
    if (!m_live) {
      ShowMessage(L"开启直播之后才能录制视频!", L"提示");
      return;
    }
    if (m_recording) {
      StopRecording();
    } else {
      StartRecording();
    }
    m_recording = !m_recording;
  } else if (sender == m_recordPathBtn) {
    BrowseRecordFolder();
  }
  WindowImplBase::OnClick(msg);
}

void CMainWnd::OpenExitDialog() {
  auto* dialog = new CExitDlg;  // deletes itself once closed
  if (!dialog->Create(GetHWND(), L"EDLG", UI_WNDSTYLE_DIALOG, 0)) {
    delete dialog;
    return;
  }
  if (m_live) dialog->SetExitText(L"正在直播中，确定退出程序结束直播？");
  dialog->CenterWindow();
  dialog->ShowModal();
}

void CMainWnd::OpenSettingsModal() {
  m_settingDlg.reset();
  CSettingDlg dialog(m_proxy, m_captureFrame.get());
  if (!dialog.Create(GetHWND(), L"CSettingDlg", UI_WNDSTYLE_FRAME, 0)) return;
  dialog.CenterWindow();
  dialog.ShowModal();
}

void CMainWnd::OpenMenu(const std::wstring& file, POINT screenPoint, DWORD alignment) {
  CMenuWnd::CreateMenu(file, screenPoint, &m_PaintManager, &m_menuChecks, alignment);
}

void CMainWnd::OnMenuClick(WPARAM record) {
  // Everything is read out of the record, and the record freed, first.
  const MenuClick item = TakeMenuClick(record);
  if (item.name == L"Menu_Test1") {
    ShowMessage(item.checked ? L"你选中Menu_Test1" : L"你取消Menu_Test1", L"");
  } else if (item.name == L"Menu_Test2") {
    ShowMessage(L"你单击了Menu_Test2", L"");
  } else if (item.name == L"windowsWnd") {
    CCapResSelectDlg dialog(this, m_proxy);
    if (dialog.Create(GetHWND(), L"CCapResSelectDlg", UI_WNDSTYLE_DIALOG, 0)) {
      dialog.CenterWindow();
      dialog.ShowModal();
    }
  } else if (item.name == L"software") {
    auto* dialog = new CCapSoftDlg(m_proxy, this);  // deletes itself once closed
    if (dialog->Create(GetHWND(), L"SOFTDLG", UI_WNDSTYLE_DIALOG, 0)) {
      dialog->CenterWindow();
      dialog->ShowModal();
    } else {
      delete dialog;
    }
  } else if (item.name == L"menu_exit") {
    if (m_closeBtn) m_PaintManager.SendNotify(m_closeBtn, notify_type::kClick);
  }
}

void CMainWnd::OnSelectChanged(TNotifyUI& msg) {
  CControlUI* sender = msg.pSender;
  if (!sender) return;
  IRtmpPublishManager* manager = m_proxy ? m_proxy->Manager() : nullptr;
  UserConfigValues config = TheUserConfig().Get();
  if (sender == m_nsOpen || sender == m_nsClose) {
    const bool on = sender == m_nsOpen && m_nsOpen->IsSelected();
    if (manager) manager->EnableNoiseSuppression(on);
    config.antiNoise = on;
    TheUserConfig().Set(config);
  } else if (sender == m_mixOpen || sender == m_mixClose) {
    const bool on = sender == m_mixOpen && m_mixOpen->IsSelected();
    if (manager) manager->EnableHookPlayer(on);
    config.audioMix = on;
    TheUserConfig().Set(config);
  } else if (sender == m_sysSetting || sender == m_manSetting) {
    const bool typed = sender == m_manSetting;
    if (m_resolutionContainer) m_resolutionContainer->SetVisible(typed);
    if (m_resolutionList) m_resolutionList->SetVisible(!typed);
    return;
  }
  const std::wstring& name = sender->GetName();
  if (name == L"live_tab" || name == L"setting_tab") {
    if (auto* tabs = m_PaintManager.FindControlAs<CTabLayoutUI>(L"top_tab_switch")) {
      tabs->SelectItem(name == L"live_tab" ? 0 : 1);
    }
  } else if (name == L"video_tab" || name == L"audio_tab" || name == L"recoder_tab") {
    if (auto* tabs = m_PaintManager.FindControlAs<CTabLayoutUI>(L"setting_tab_switch")) {
      tabs->SelectItem(name == L"video_tab" ? 0 : name == L"audio_tab" ? 1 : 2);
    }
  }
  if (sender == m_lockResolution || sender == m_ratioResolution) {
    ApplyCaptureMode(static_cast<COptionUI*>(sender));
  }
}

void CMainWnd::ApplyCaptureMode(COptionUI* option) {
  UserConfigValues config = TheUserConfig().Get();
  const bool selected = option->IsSelected();
  if (option == m_lockResolution) m_lockSelected = selected;
  int lockMode = 0;
  if (selected && option == m_lockResolution) {
    if (m_ratioResolution) m_ratioResolution->Selected(false, false);
    lockMode = 1;
  } else if (selected && option == m_ratioResolution) {
    if (m_lockResolution) m_lockResolution->Selected(false, false);
    m_lockSelected = false;
    lockMode = 2;
  }
  if (m_captureFrame) {
    // Only the locked frame may not be resized.
    m_captureFrame->SetStyle(lockMode == 1 ? GetStyle() & ~WS_THICKFRAME : GetStyle() & WS_THICKFRAME);
    m_captureFrame->SetMode(CaptureFrameModeFromSaved(lockMode));
  }
  config.lockMode = lockMode;
  TheUserConfig().Set(config);
  if (lockMode != 0 && m_proxy) ResizeCaptureFrame(m_proxy->OutputWidth(), m_proxy->OutputHeight());
  if (m_captureFrame) m_captureFrame->ShowWindow(true, false);
}

void CMainWnd::OnItemClick(TNotifyUI&) {}

void CMainWnd::OnItemSelect(TNotifyUI& msg) {
  if (!msg.pSender) return;
  if (msg.pSender == m_audioDevList) {
    const int index = m_audioDevList->GetCurSel();
    if (m_proxy) m_proxy->SetMicIndex(index);
    UserConfigValues config = TheUserConfig().Get();
    config.micIndex = index;
    config.micName = WideToMultiByte(m_audioDevList->GetText());
    TheUserConfig().Set(config);
  } else if (msg.pSender == m_resolutionList) {
    const std::wstring text = m_resolutionList->GetText();
    const auto size = ParseOutputSize(text, '*');
    if (!size) return;
    const PublishParamValues params = ThePublishParams().Get();
    if (size->width > params.MaxVDWidth || size->height > params.MaxVDHeight) {
      // The list goes back to the size still in force.
      ReselectOutputSize(*m_resolutionList, static_cast<int>(msg.lParam));
      PostMessageW(WM_RESOLUTION_WARNING);
      return;
    }
    if (m_proxy) m_proxy->SetOutputSize(size->width, size->height);
    UserConfigValues config = TheUserConfig().Get();
    config.outResolution = WideToMultiByte(text);
    TheUserConfig().Set(config);
    if (m_lockSelected) {
      std::wstring captureSize = text;
      for (wchar_t& c : captureSize) {
        if (c == L'*') c = L'x';
      }
      ApplyCaptureSize(captureSize);
    }
  }
}

void CMainWnd::OnKillFocus(TNotifyUI& msg) {
  if (msg.pSender && (msg.pSender == m_widthEdit || msg.pSender == m_heightEdit)) ApplyTypedSize(msg.pSender);
}

void CMainWnd::ApplyTypedSize(CControlUI* edit) {
  const bool isWidth = edit == m_widthEdit;
  int& kept = isWidth ? m_typedWidth : m_typedHeight;
  const PublishParamValues params = ThePublishParams().Get();
  const auto typed = TypedOutputDimension(edit->GetText(), isWidth, isWidth ? params.MaxVDWidth : params.MaxVDHeight);
  // A refused text leaves the size in force, and the edit shows it again; a
  // taken one shows as it was taken (capped, made even).
  edit->SetText(std::to_wstring(typed ? typed->value : kept));
  if (!typed) return;
  kept = typed->value;
  if (m_proxy) m_proxy->SetOutputSize(m_typedWidth, m_typedHeight);
  // Saved as it goes out, as a size from the list is.
  UserConfigValues config = TheUserConfig().Get();
  config.outResolution = OutputSizeText(m_typedWidth, m_typedHeight);
  TheUserConfig().Set(config);
  if (m_lockSelected) ResizeCaptureFrame(m_typedWidth, m_typedHeight);
}

void CMainWnd::OnValueChanged(TNotifyUI& msg) {
  if (!msg.pSender || msg.pSender != m_volumeSlider) return;
  const int value = m_volumeSlider->GetValue();
  if (IRtmpPublishManager* manager = m_proxy ? m_proxy->Manager() : nullptr) {
    manager->SetPublishVolume(value, value == 0 || value > 100);
  }
  UserConfigValues config = TheUserConfig().Get();
  config.volume = value;
  TheUserConfig().Set(config);
  if (m_volumeLabel) m_volumeLabel->SetText(std::to_wstring(value));
}

void CMainWnd::OnCaptureRect(const RECT* rect) {
  if (!rect || !m_proxy) return;
  // The frame's border is as wide as the proxy's inset, but in logical
  // pixels: with Qt scaling, more of the screen's.
  m_proxy->SetCaptureRect(CaptureControlInScreenPixels(*rect, kCaptureFrameBorder, kCaptureFrameBorder));
}

void CMainWnd::SwitchSource(int kind) {
  if (m_captureFrame) m_captureFrame->ShowWindow(false);
  m_fileFailureShown = false;
  IRtmpPublishManager* manager = m_proxy ? m_proxy->Manager() : nullptr;
  switch (kind) {
    case kSourceDesktop:
      if (m_proxy) m_proxy->UseDesktopSource();
      if (manager && manager->IsCaptureFrameShown()) return;
      if (!m_fullScreenCapture && m_captureFrame) m_captureFrame->ShowWindow(true, false);
      break;
    case kSourceCamera:
      if (m_proxy) m_proxy->UseCameraSource(m_proxy->CameraIndex());
      break;
    case kSourceMediaFile: {
      // A file the library could not open leaves the source that runs (a
      // file playing before it, too): that one must not pass for this one.
      const bool opened =
          m_proxy && m_proxy->UseFileSource(m_mediaFiles.empty() ? std::wstring() : m_mediaFiles.front()) != 0;
      const bool played = opened && manager && manager->PlayFile();
      if (!played && m_live && !m_fileFailureShown) {
        ShowStatusText(L"文件播放失败,请重试！", kStatusRed);
        m_fileFailureShown = true;
      }
      if (!opened) return;
      break;
    }
    default:
      return;
  }
  m_sourceKind = kind;
}

void CMainWnd::ApplyCaptureSize(const std::wstring& text) {
  if (text == L"全屏") {
    QWidget* frame = m_captureFrame ? m_captureFrame->GetWidget() : nullptr;
    QScreen* screen = frame ? QGuiApplication::screenAt(frame->geometry().center()) : nullptr;
    if (!screen) screen = frame ? frame->screen() : nullptr;
    if (!screen) return;
    if (m_proxy) m_proxy->SetCaptureRect(ScreenInScreenPixels(*screen));
    m_captureFrame->ShowWindow(false);
    m_fullScreenCapture = true;
    return;
  }
  const auto size = ParseOutputSize(text, 'x');
  if (!size) return;
  ResizeCaptureFrame(size->width, size->height);
  m_fullScreenCapture = false;
}

void CMainWnd::ResizeCaptureFrame(int width, int height) {
  if (m_captureFrame) ShowCaptureFrameSized(*m_captureFrame, width, height);
}

void CMainWnd::OpenMediaFile() {
  const auto path = ChooseFileWithDialog(GetWidget(), L"Movie Files(*.rmvb,*.flv,*.mp4) (*.rm *.rmvb *.flv *.mp4)");
  if (!path || path->empty()) return;
  m_mediaFiles = {*path};
  SwitchSource(kSourceMediaFile);
}

void CMainWnd::BrowseRecordFolder() {
  const auto folder = ChooseFolderWithDialog(GetWidget(), L"请选择文件夹");
  if (!folder || folder->empty()) return;
  if (m_recordPathEdit) m_recordPathEdit->SetText(*folder);
  UserConfigValues config = TheUserConfig().Get();
  config.recordPath = WideToMultiByte(*folder);
  TheUserConfig().Set(config);
}

void CMainWnd::ShowMessage(const std::wstring& text, const std::wstring& caption) {
  if (m_messageBox) m_messageBox(text, caption);
}
