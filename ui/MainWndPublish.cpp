// Starting and stopping a broadcast and the local recording of it.
#include <ctime>
#include <filesystem>
#include <system_error>

#include "platform/duilib/controls.h"
#include "ui/MainWnd.h"

void CMainWnd::OnStartPublishClick() {
  if (!m_proxy) return;
  if (!m_hasMicrophone) {
    ShowErrorText(L"没有音频设置,请插入麦克风");
    return;
  }
  if (m_live) {
    // The window stays live until the library reports the closed connection.
    StopPublishing();
    return;
  }
  // A run this window started may still hold the library (a failed connect,
  // a capture error, an unpublish notice): the library refuses every start
  // until it is stopped, so stop it first.
  if (m_runStarted) StopPublishing();
  if (m_proxy->StartPublish() >= 0) m_runStarted = true;
}

void CMainWnd::StopPublishing() {
  IRtmpPublishManager* manager = m_proxy ? m_proxy->Manager() : nullptr;
  if (m_recording) {
    if (manager) manager->EnableRecordFile(false);
    SetRecordImages(L"images/record1a.png", L"images/record1b.png");
    m_recording = false;
  }
  SetRecordImages(L"images/recordgray.png", L"images/recordgray.png");
  if (manager) {
    if (m_sourceKind == kSourceMediaFile) manager->StopFile();
    manager->StopPublish();
  }
  m_runStarted = false;
  if (m_labelContainer) m_labelContainer->SetVisible(true);
  if (m_wndMedia) m_wndMedia->SetVisible(false);
  m_publishSeconds = 0;
}

std::string CMainWnd::NextRecordFile() {
  std::string folder = TheUserConfig().GetRecordPath();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  // The recorder opens the file itself and cannot make a missing folder.
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  const std::string stem = folder + "/" + std::to_string(static_cast<long long>(std::time(nullptr)));
  // Two recordings in the same second would otherwise write into one file.
  std::string name = stem + ".flv";
  for (int suffix = 1; m_usedRecordFiles.count(name) || std::filesystem::exists(name, ignored); ++suffix) {
    name = stem + "_" + std::to_string(suffix) + ".flv";
  }
  m_usedRecordFiles.insert(name);
  return name;
}

void CMainWnd::StartRecording() {
  m_lastRecordFile = NextRecordFile();
  if (IRtmpPublishManager* manager = m_proxy ? m_proxy->Manager() : nullptr) {
    manager->SetRecordFilePath(m_lastRecordFile.c_str());
    manager->EnableRecordFile(true);
  }
  SetRecordImages(L"images/stoprecord1.png", L"images/stoprecord2.png");
}

void CMainWnd::StopRecording() {
  if (IRtmpPublishManager* manager = m_proxy ? m_proxy->Manager() : nullptr) manager->EnableRecordFile(false);
  SetRecordImages(L"images/record1a.png", L"images/record1b.png");
}

void CMainWnd::OnRecordingFailed() {
  // The button must not go on offering "stop" for a file nothing is written
  // to any more; the next click starts a new recording.
  if (m_recording) {
    StopRecording();
    m_recording = false;
  }
  ShowErrorText(L"录制已停止：录制文件写入失败");
}

void CMainWnd::SetStartImages(bool connected) {
  if (!m_startBtn) return;
  m_startBtn->SetNormalImage(connected ? L"images/btn2a.png" : L"images/btn1a.png");
  m_startBtn->SetHotImage(connected ? L"images/btn2b.png" : L"images/btn1b.png");
}

void CMainWnd::SetRecordImages(const wchar_t* normal, const wchar_t* hot) {
  if (!m_recordBtn) return;
  m_recordBtn->SetNormalImage(normal);
  m_recordBtn->SetHotImage(hot);
}
