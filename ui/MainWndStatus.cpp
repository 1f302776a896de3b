// The main window's reactions to the library: status words, publish events
// and the clocks they start.
#include <json/reader.h>
#include <json/value.h>

#include <cstdio>
#include <memory>

#include "app/StringConvert.h"
#include "platform/duilib/controls.h"
#include "ui/MainWnd.h"
#include "ui/ProgramEventPump.h"

void CMainWnd::QueueStatus(const char* status) {
  if (!status || !m_wiring.events) return;
  // Through the same queue as the proxy's own events, so the window sees
  // words and events in the order the library reported them.
  m_wiring.events->Post(ProgramEvent{GetHWND(), WM_STATUS_WORD, 0, 0, status});
}

void CMainWnd::ReactToStatus(const std::string& word) {
  if (word == "NetConnection.Connect.Closed") {
    SetStartImages(false);
    if (m_pubTimeLabel) m_pubTimeLabel->SetText(L"00:00:00");
    m_publishSeconds = 0;
    StopTimer(TIMER_PUBLISH_CLOCK);
    if (!m_fileFailureShown) ShowStatusText(L"连接关闭", kStatusGreen);
    m_live = false;
    SetDumpStatus("NoPub");
  } else if (word == "NetConnection.Connect.Success") {
    SetStartImages(true);
    SetRecordImages(L"images/record1a.png", L"images/record1b.png");
    m_live = true;
    StartTimer(TIMER_PUBLISH_CLOCK, 1000);
    if (m_sourceKind != kSourceDesktop) SwitchSource(m_sourceKind);
    if (m_labelContainer) m_labelContainer->SetVisible(false);
    if (m_wndMedia) m_wndMedia->SetVisible(true);
    if (!m_fileFailureShown) ShowStatusText(L"连接成功", kStatusGreen);
  } else if (word == "NetConnection.Connect.Failed") {
    ShowErrorText(L"连接服务器失败，请检测网络或防火墙设置");
  } else if (word == "NetStream.Publish.Start") {
    OnPublishStarted();
    SetDumpStatus("OnPub");
    if (!m_fileFailureShown) ShowStatusText(L"视频发布成功", kStatusGreen);
  } else if (word == "NetStream.Play.Start") {
    if (!m_fileFailureShown) ShowStatusText(L"视频发布成功", kStatusGreen);
  } else if (word == "Audio.Capture.Error") {
    ShowErrorText(L"音频设备启动错误");
  } else if (word == "Video.Capture.Error") {
    ShowErrorText(L"视频设备启动错误");
  } else if (word == "NetStream.Publish.PublisherExists") {
    ShowErrorText(L"发布实例被占用");
  } else if (word == "RtmpRecord SetMediaData err.") {
    OnRecordingFailed();
  }
}

void CMainWnd::OnPublishStarted() {
  const UserConfigValues config = TheUserConfig().Get();
  // The account in use, as at login: after an offline login USERID still
  // names the last account that logged in online.
  if (m_userNameLabel) m_userNameLabel->SetText(MultiByteToWide(AccountInUse(config)));
  if (m_volumeSlider) m_volumeSlider->SetValue(config.volume);
  IRtmpPublishManager* manager = m_proxy ? m_proxy->Manager() : nullptr;
  if (!manager) return;
  if (config.audioMix) manager->EnableHookPlayer(true);
  if (config.antiNoise) manager->EnableNoiseSuppression(true);
}

void CMainWnd::OnPublishEvent(WPARAM code, LPARAM lParam) {
  // The text belongs to the message whatever happens to it here.
  const std::string text = ProgramEventPump::TakeText(lParam);
  if (code != kPublishEventJson || text.empty()) return;
  Json::Value event;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  if (!reader->parse(text.data(), text.data() + text.size(), &event, &errors)) return;
  if (!event.isObject() || !event.isMember("cmd") || !event["cmd"].isString() || !m_proxy) return;
  if (event["cmd"].asString() == "OnVexaCapturePlayComplete") SwitchSource(kSourceMediaFile);
}

void CMainWnd::OnTimer(UINT id) {
  if (id == TIMER_PUBLISH_CLOCK) {
    const int s = ++m_publishSeconds;
    wchar_t text[32];
    std::swprintf(text, 32, L"%.2d:%.2d:%.2d", s / 3600, (s / 60) % 60, s % 60);
    if (m_pubTimeLabel) m_pubTimeLabel->SetText(text);
  } else if (id == TIMER_CLEAR_STATUS) {
    StopTimer(TIMER_CLEAR_STATUS);
    if (m_pubMsgLabel) m_pubMsgLabel->SetText(L"");
  }
}

void CMainWnd::ShowErrorText(const std::wstring& text) {
  if (m_pubMsgLabelDown) {
    m_pubMsgLabelDown->SetTextColor(kStatusRed);
    m_pubMsgLabelDown->SetText(text);
  }
  StartTimer(TIMER_CLEAR_STATUS, 3000);
}

void CMainWnd::ShowStatusText(const std::wstring& text, DWORD color) {
  if (!m_pubMsgLabel) return;
  m_pubMsgLabel->SetTextColor(color);
  m_pubMsgLabel->SetText(text);
}

void CMainWnd::StartTimer(UINT id, UINT ms) {
  if (SetTimer(id, ms)) m_armedTimers.insert(id);
}

void CMainWnd::StopTimer(UINT id) {
  KillTimer(id);
  m_armedTimers.erase(id);
}
