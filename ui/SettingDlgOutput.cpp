// The settings window's output size (a listed preset or a typed width and
// height) and the capture frame's mode: what each choice does to the
// configuration, the library proxy and the capture frame.
#include <QGuiApplication>
#include <algorithm>
#include <string>

#include "app/PublishParams.h"
#include "app/ScreenCaptureProxy.h"
#include "app/StringConvert.h"
#include "app/UserConfig.h"
#include "platform/duilib/controls.h"
#include "platform/duilib/list_controls.h"
#include "ui/CaptureDlg.h"
#include "ui/CaptureFrameSize.h"
#include "ui/CaptureModes.h"
#include "ui/OutputSizeList.h"
#include "ui/OutputSizeText.h"
#include "ui/SettingDlg.h"

void CSettingDlg::OnSelectChanged(TNotifyUI& msg) {
  CControlUI* sender = msg.pSender;
  if (!sender) return;
  if (sender == m_lockOption) OnLockChanged();
  if (sender == m_ratioOption) OnRatioChanged();
  // The two form a group, and the one left behind reports its change too.
  if (sender == m_presetSizes && m_presetSizes->IsSelected()) {
    if (m_resolutionContainer) m_resolutionContainer->SetVisible(false);
    if (m_resolutionList) m_resolutionList->SetVisible(true);
  }
  if (sender == m_typedSizes && m_typedSizes->IsSelected()) {
    if (m_resolutionContainer) m_resolutionContainer->SetVisible(true);
    if (m_resolutionList) m_resolutionList->SetVisible(false);
  }
}

void CSettingDlg::OnLockChanged() {
  m_lockSelected = m_lockOption->IsSelected();
  if (m_lockSelected) {
    // Quietly: its own "deselected" would pass through free mode first.
    if (m_ratioOption && m_ratioOption->IsSelected()) m_ratioOption->Selected(false, false);
    ApplyMode(kSavedModeLock);
    ResizeToOutputSize();
  } else {
    ApplyMode(kSavedModeFree);
  }
  ShowCaptureFrame();
}

void CSettingDlg::OnRatioChanged() {
  if (m_ratioOption->IsSelected()) {
    if (m_lockOption && m_lockOption->IsSelected()) m_lockOption->Selected(false, false);
    m_lockSelected = false;
    ApplyMode(kSavedModeRatio);
    ResizeToOutputSize();
  } else {
    ApplyMode(kSavedModeFree);
  }
  ShowCaptureFrame();
}

void CSettingDlg::ApplyMode(int savedMode) {
  ChangeConfig([savedMode](UserConfigValues& values) { values.lockMode = savedMode; });
  if (!m_captureFrame) return;
  m_captureFrame->SetMode(CaptureFrameModeFromSaved(savedMode));
  // Only a locked frame loses its resizing border; free and ratio frames are
  // resized by the presenter.
  const DWORD style = m_captureFrame->GetStyle();
  m_captureFrame->SetStyle(savedMode == kSavedModeLock ? style & ~WS_THICKFRAME : style | WS_THICKFRAME);
}

void CSettingDlg::ResizeToOutputSize() {
  if (m_proxy) ResizeCaptureFrame(m_proxy->OutputWidth(), m_proxy->OutputHeight());
}

void CSettingDlg::ShowCaptureFrame() {
  if (m_captureFrame) m_captureFrame->ShowWindow(true, false);
}

void CSettingDlg::ResizeCaptureFrame(int width, int height) {
  if (m_captureFrame) ShowCaptureFrameSized(*m_captureFrame, width, height);
}

void CSettingDlg::ParseResolution(const std::wstring& text) {
  if (const auto size = ParseOutputSize(text, 'x')) ResizeCaptureFrame(size->width, size->height);
}

void CSettingDlg::ChooseListedSize(LPARAM previousIndex) {
  const std::wstring text = m_resolutionList->GetText();
  const auto size = ParseOutputSize(text, '*');
  if (!size) return;
  const PublishParamValues params = m_publishParams.Get();
  if (size->width > params.MaxVDWidth || size->height > params.MaxVDHeight) {
    // The list goes back to the size still in force.
    ReselectOutputSize(*m_resolutionList, static_cast<int>(previousIndex));
    PostMessageW(WM_RESOLUTION_WARNING);
    return;
  }
  if (m_proxy) m_proxy->SetOutputSize(size->width, size->height);
  ChangeConfig([&](UserConfigValues& values) { values.outResolution = WideToMultiByte(text); });
  if (m_lockSelected) {
    std::wstring captureText = text;
    std::replace(captureText.begin(), captureText.end(), L'*', L'x');
    ParseResolution(captureText);
  }
}

void CSettingDlg::OnKillFocus(TNotifyUI& msg) {
  if (msg.pSender && (msg.pSender == m_widthEdit || msg.pSender == m_heightEdit)) TakeTypedSize(msg.pSender);
}

void CSettingDlg::TakeTypedSize(CControlUI* edit) {
  const PublishParamValues params = m_publishParams.Get();
  const bool isWidth = edit == m_widthEdit;
  int& kept = isWidth ? m_typedWidth : m_typedHeight;
  const auto typed = TypedOutputDimension(edit->GetText(), isWidth, isWidth ? params.MaxVDWidth : params.MaxVDHeight);
  if (!typed) {
    RejectTypedSize(edit, kept);
    return;
  }
  kept = typed->value;
  edit->SetText(std::to_wstring(kept));
  if (!typed->asTyped) TellTypedSizeChanged();
  if (m_proxy) m_proxy->SetOutputSize(m_typedWidth, m_typedHeight);
  // Kept for the next start as it goes out now: a typed size is as much the
  // presenter's choice as a listed one.
  const std::string taken = OutputSizeText(m_typedWidth, m_typedHeight);
  ChangeConfig([&](UserConfigValues& values) { values.outResolution = taken; });
  if (m_lockSelected) ResizeCaptureFrame(m_typedWidth, m_typedHeight);
}

void CSettingDlg::RejectTypedSize(CControlUI* edit, int kept) {
  // The edit shows the size still in force.
  edit->SetText(std::to_wstring(kept));
  TellTypedSizeChanged();
}

void CSettingDlg::TellTypedSizeChanged() {
  ShowTypedSizeTip();
  // A press on the confirm or close button takes the focus from the edit, and
  // its click would close the window before the presenter saw the edit
  // change: that one click leaves it open with the tip.
  m_closeHeld = QGuiApplication::mouseButtons() != Qt::NoButton;
}
