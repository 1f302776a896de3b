// The texts the publish manager sends with IRtmpPublishManagerNotify::OnStatus
// and the JSON events of OnMessage, so a host can compare against names
// instead of literals. Texts containing "%" are printf formats; the library
// sends them formatted, so compare their fixed prefix.
#pragma once

namespace strivon_status {

// OnStatus levels.
inline constexpr int kLevelInformation = 0;
inline constexpr int kLevelDevice = 1;
inline constexpr int kLevelError = 2;

// Level 0.
inline constexpr const char* kRelease = "PublishManager::release";
inline constexpr const char* kThisPrefix = "this:%x _";
inline constexpr const char* kStartPublish = "PublishManager::StartPublish.";
inline constexpr const char* kStopPublishAsyn = "PublishManager::StopPublishAsyn";
inline constexpr const char* kStartAudioCaptureSuc = "Start.Audio.Capture.Suc";
inline constexpr const char* kMicIdWrong = "Mic ID wrong, ID:%d, mic sum:%d";
inline constexpr const char* kStartVideoCaptureSuc = "Start.Video.Capture.Suc";
inline constexpr const char* kCamIdWrong = "Cam ID wrong, ID:%d, Cam sum:%d";
inline constexpr const char* kStartSchedule = "RtmpPublish:StartSchedule";
inline constexpr const char* kScheduleSuccess = "Schedule Success:";
inline constexpr const char* kScheduleFailed = "Publish:Schedule Failed:";
inline constexpr const char* kClosedNormal = "closed normal";
inline constexpr const char* kClosedUnexpectly = "closed unexpectly";

// Level 1.
inline constexpr const char* kGetCamListLeak = "PublishManager::GetCamList parameter 1 is not null, memory leak? ";
inline constexpr const char* kGetMicListLeak = "GetMicList parameter 1 is not null, memory leak? ";
inline constexpr const char* kGetAudioPlayDevListLeak = "GetAudioPlayDevList parameter 1 is not null, memory leak? ";

// Level 2 (and level 0 for the first two as well).
inline constexpr const char* kConnectSuccess = "NetConnection.Connect.Success";
inline constexpr const char* kPublishUnpublishNotify = "NetStream.Publish.UnpublishNotify";
inline constexpr const char* kConnectClosed = "NetConnection.Connect.Closed";
inline constexpr const char* kConnectFailed = "NetConnection.Connect.Failed";
inline constexpr const char* kPluginCloseSocket = "Plugin.Close.Socket";
inline constexpr const char* kPublishStart = "NetStream.Publish.Start";
inline constexpr const char* kPublishBadName = "NetStream.Publish.BadName";
inline constexpr const char* kConnectPublishServerSuccess = "Connect publish server success.";
inline constexpr const char* kEncoderDead = "OnEncoderMediaThenSendThroughRtmpDead.";
inline constexpr const char* kEncoderPublishFaild = "OnEncoderMediaThenSendThroughRtmpPublishFaild.";
inline constexpr const char* kConnectRtmpServerFailed = "Connect Rtmp Server failed:";
inline constexpr const char* kCreateScheduleFailed = "Create Schedule object failed:";
inline constexpr const char* kStartVideoShowVmrFailed = "PublishManager::Start VideoShowVMR Failed.";
inline constexpr const char* kAudioCaptureError = "Audio.Capture.Error";
inline constexpr const char* kStartAudioCaptureError = "Start.Audio.Capture.Error";
inline constexpr const char* kAudioDataNull = "audio data null.";
inline constexpr const char* kVideoCaptureError = "Video.Capture.Error";
inline constexpr const char* kStartVideoCaptureError = "Start.Video.Capture.Error";
inline constexpr const char* kVideoDataNull = "video data null.";
// A media file the run was to publish cannot be played (path, reason); sent
// before "Video.Capture.Error". A run that starts with such a file does not
// connect.
inline constexpr const char* kCannotOpen = "cannot open %s: %s";
// What follows kCannotOpen's fixed start in text ("path: reason"), or null
// when text is not that report.
inline const char* CannotOpenSubject(const char* text) {
  const char* format = kCannotOpen;
  const char* at = text;
  for (; *format != '%'; ++format, ++at) {
    if (*at != *format) return nullptr;
  }
  return at;
}
inline constexpr const char* kHushgainInitError = "HushgainInit error";
inline constexpr const char* kLoadLibraryError = "LoadLibraryA error";
inline constexpr const char* kCreateDeskAudioError = "createDeskAudio error";
// The local recording could not be created or written (full disk).
inline constexpr const char* kRecordFileError = "RtmpRecord SetMediaData err.";
// Followed by the format the encoder cannot take ("video 853x481", "audio
// 2/22050/16"); then "Video.Capture.Error" or "Audio.Capture.Error". No
// connection is made or kept for such a run.
inline constexpr const char* kEncoderFormatRefused = "Encoder format refused: ";

// JSON event words of OnMessage.
inline constexpr const char* kEventAudioPercent = "OnAudioPercent";
inline constexpr const char* kEventVexaCapturePlayComplete = "OnVexaCapturePlayComplete";

}  // namespace strivon_status
