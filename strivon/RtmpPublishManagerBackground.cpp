// Background sound (desktop sound or a player's sound mixed into the
// microphone) and the local FLV recording. Both come with the recorder; until
// then they are accepted, change nothing and answer as with nothing started.
#include "strivon/RtmpPublishManager.h"

bool RtmpPublishManager::SelectPlayerName(const char*) { return false; }
void RtmpPublishManager::EnableHookPlayer(bool) {}
void RtmpPublishManager::SetHookVolume(int) {}
void RtmpPublishManager::SetHookFlag(bool) {}
void RtmpPublishManager::ClearHookBuffer() {}
void RtmpPublishManager::EnableRecordFile(bool) {}

void RtmpPublishManager::StopBackgroundSound() { m_backgroundSound = false; }
void RtmpPublishManager::StartCapturePlayer() {}
void RtmpPublishManager::StopCapturePlayer() {}
void RtmpPublishManager::CloseRecording() {}
void RtmpPublishManager::WriteRecording(const char*, int, double, int) {}
