// Operations that belong to a publish run: starting and stopping it, its
// sources, its sound processing, background sound, logo and recording. The
// run itself is not part of the manager yet, so each is accepted, changes
// nothing and answers as it would with nothing started and no source open.
#include "strivon/RtmpPublishManager.h"

void RtmpPublishManager::SetVideoSource(int, int, const char*, int, int) {}
bool RtmpPublishManager::StartPublish() { return false; }
bool RtmpPublishManager::StopPublish() { return false; }
void RtmpPublishManager::changeToScreen(int, int) {}
void RtmpPublishManager::setCaptrueArea(bool, int, int, int, int) {}
void RtmpPublishManager::ShowCaptureFrame(int) {}
bool RtmpPublishManager::IsCaptureFrameShown() { return false; }
void RtmpPublishManager::ScreenCaptureAuxA() {}
void RtmpPublishManager::ScreenCaptureAuxB() {}
void RtmpPublishManager::SetCaptureWindow(HWND) {}
void RtmpPublishManager::changeToVexaFile(const char*, int, int) {}
bool RtmpPublishManager::PlayFile() { return false; }
bool RtmpPublishManager::StopFile() { return false; }
bool RtmpPublishManager::PauseFile() { return false; }
bool RtmpPublishManager::SeekFile(int, int) { return false; }
bool RtmpPublishManager::SetFilePara(int, int) { return false; }
int64_t RtmpPublishManager::GetFilePosition() { return -1; }
void RtmpPublishManager::SetFileVolume(int) {}
void RtmpPublishManager::changeToCamera(int, int, int) {}
void RtmpPublishManager::EnableNoiseSuppression(bool) {}
int RtmpPublishManager::SetNoiseSuppressionPara(int, int) { return 0; }
int RtmpPublishManager::SetAgcLevel(int) { return 0; }
int RtmpPublishManager::SetLogo(const char*, int, int, int, int) { return 0; }
void RtmpPublishManager::SetPublishVolume(int, bool) {}
void RtmpPublishManager::SetBackgroundVolume(int, bool) {}
bool RtmpPublishManager::SelectPlayerName(const char*) { return false; }
void RtmpPublishManager::EnableHookPlayer(bool) {}
void RtmpPublishManager::SetHookVolume(int) {}
void RtmpPublishManager::SetHookFlag(bool) {}
void RtmpPublishManager::ClearHookBuffer() {}
void RtmpPublishManager::EnableRecordFile(bool) {}
