// Finding the server and connecting to it (the worker's schedule and connect
// commands), and the encoder's events: status words, the reconnection after
// an unexpected close, statistics, sequence headers and reports.
#include <ctime>
#include <string>
#include <utility>

#include "common/Log.h"
#include "platform/base/tick.h"
#include "strivon/RtmpPublishManager.h"
#include "strivon/SdkVersion.h"
#include "strivon/StatusWords.h"

using namespace strivon_status;

namespace {

constexpr int kRetryDelayMs = 2000;

unsigned Address(const void* self) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(self)); }

// FLV audio body: AAC (sound format 10) with packet type 0. Video body: AVC
// (codec 7) with packet type 0.
bool IsAudioConfig(const char* body, int size) {
  return size >= 2 && (static_cast<unsigned char>(body[0]) >> 4) == 10 && body[1] == 0;
}
bool IsVideoConfig(const char* body, int size) {
  return size >= 2 && (static_cast<unsigned char>(body[0]) & 0x0f) == 7 && body[1] == 0;
}

std::string VideoFormatText(const VideoParams& video) {
  return "video " + std::to_string(video.outputWidth) + "x" + std::to_string(video.outputHeight);
}
std::string AudioFormatText(const AudioParams& audio) {
  return "audio " + std::to_string(audio.channels) + "/" + std::to_string(audio.sampleRate) + "/" +
         std::to_string(audio.bitsPerSample);
}

// A format the encoder cannot take would give a connection that claims to
// publish while one medium never opens: the host hears why, then the
// capture error word it already shows to the presenter.
void ReportRefusedFormat(const ManagerNotifier& notifier, const std::string& format, bool video) {
  const std::string text = std::string(kEncoderFormatRefused) + format;
  STRIVON_LOG(kLogWarning, "RtmpPublishManager::ConnectSvr", "%s", text.c_str());
  notifier.Status(kLevelError, text.c_str());
  notifier.Status(kLevelError, video ? kVideoCaptureError : kAudioCaptureError);
}

}  // namespace

IEncoderMediaThenSendThroughRtmp* RtmpPublishManager::SwapEncoder(IEncoderMediaThenSendThroughRtmp* next) {
  std::lock_guard<std::mutex> lock(m_encoderLock);
  return std::exchange(m_encoder, next);
}

void RtmpPublishManager::ReleaseSchedule() {
  if (m_schedule) m_schedule->Release();
  m_schedule = nullptr;
}

void RtmpPublishManager::StartSchedule() {
  m_notifier.Status(kLevelInformation, kStartSchedule);
  const PublishTarget target = Target();
  if (target.route == kRouteDirect) {
    m_connectTarget.serverAddress = target.storedUrl;
    m_connectTarget.serverPort.clear();
    m_cmdQueue.Push(kCmdConnectServer);
    return;
  }
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::StartSchedule", "RtmpPublish:StartSchedule");
  m_clientAddress.clear();
  ReleaseSchedule();
  if (m_factories.createServerSchedule) m_schedule = m_factories.createServerSchedule(this);
  if (!m_schedule) {
    m_notifier.Status(kLevelError, kCreateScheduleFailed);
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::StartSchedule", "RtmpPublish:Create Schedule object failed:");
    return;
  }
  m_connectTarget.forward = false;
  ScheduleResult result;
  std::string error;
  if (m_schedule->StartSchedule(target.storedUrl, 0, &result, &error)) {
    ReleaseSchedule();
    m_connectTarget.serverAddress = result.IP;
    m_connectTarget.serverPort = result.RtmpPort;
    m_connectTarget.forward = (result.bTcp & 0xff) != 0;
    m_clientAddress = result.ClientIP;
    const std::string text = std::string(kScheduleSuccess) + result.IP + ":" + result.RtmpPort;
    m_notifier.Status(kLevelInformation, text.c_str());
    STRIVON_LOG(kLogInfo, "RtmpPublishManager::StartSchedule", "Schedule Success:IP:%s, PORT:%s", result.IP.c_str(),
                result.RtmpPort.c_str());
    m_cmdQueue.Push(kCmdConnectServer);
  } else {
    m_notifier.Status(kLevelInformation, kScheduleFailed);
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::StartSchedule", "Schedule Failed:");
    m_cmdQueue.PushDelayed(kCmdStartSchedule, kRetryDelayMs);
  }
}

void RtmpPublishManager::ConnectSvr() {
  ReleaseSchedule();
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::ConnectSvr", "ConnectSvr release m_pMediaRender");
  if (IEncoderMediaThenSendThroughRtmp* old = SwapEncoder(nullptr)) {
    // The old connection's close must not look unexpected.
    m_publishing = false;
    old->Release();
    m_publishing = true;
  }
  m_connected = false;
  // A fresh connection's flags, before its encoder exists: its first event
  // may come as soon as it does.
  m_closed = false;
  StartRecordingTimeLine();
  {
    std::lock_guard<std::mutex> lock(m_headerLock);
    m_audioHeader.clear();
    m_videoHeader.clear();
  }
  {
    std::lock_guard<std::mutex> lock(m_statisticsLock);
    m_statistics.Reset();
    m_lastStatisticsAt = platform::TickCount();
  }
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::ConnectSvr", "ConnectSvr new m_pMediaRender");
  IEncoderMediaThenSendThroughRtmp* encoder = m_factories.createEncoder ? m_factories.createEncoder(this) : nullptr;
  if (!encoder) {
    STRIVON_LOG(kLogFatal, "RtmpPublishManager::ConnectSvr", "encoder could not be created");
    m_notifier.Status(kLevelError, kEncoderDead);
    return;
  }
  encoder->SetUdpParam1(1);
  encoder->SetUdpParam2(1);
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::ConnectSvr", "before rtmp:con, m_pMediaRender:0X%x, ", Address(encoder));

  const PublishTarget target = Target();
  if (target.transport == kTransportTcp) m_connectTarget.udp = false;
  if (target.transport == kTransportUdp) m_connectTarget.udp = true;
  const std::string url = BuildConnectUrl(target, m_connectTarget, static_cast<int64_t>(std::time(nullptr)));
  m_connectTarget.forward = false;
  {
    std::lock_guard<std::mutex> lock(m_paramsLock);
    m_publishedUrl = url;
  }

  SwapEncoder(encoder);  // the previous one was taken out above
  const bool connecting = encoder->Connect(url.c_str());
  if (!connecting) {
    const std::string text = std::string(kConnectRtmpServerFailed) + url;
    m_notifier.Status(kLevelError, text.c_str());
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::ConnectSvr", "%s", text.c_str());
  }

  const AudioParams audio = Audio();
  const VideoParams video = Video();
  const EncoderSettings settings = Encoder();
  MediaInfo info;
  info.type = MediaInfo::kMediaParams;
  info.value1 = audio.bitrate;
  info.value2 = audio.bitsPerSample;
  info.value3 = audio.channels;
  info.value4 = audio.sampleRate;
  info.value5 = video.outputWidth;
  info.value6 = video.outputHeight;
  info.value7 = video.bitrate;
  info.value8 = MediaInfo::kDefaultColorSpace;
  info.value9 = video.frameRate;
  encoder->SetMediaInfo(&info);
  const std::string version = m_factories.sdkVersion ? m_factories.sdkVersion() : GetSdkVersionString();
  encoder->SetSessionInfo(UserId().c_str(), version.c_str(), "Session1");
  encoder->SetAudioBitrate(static_cast<unsigned>(audio.bitrate));
  const bool audioTaken = encoder->SetAudioFormat(audio.channels, audio.sampleRate, audio.bitsPerSample);
  encoder->SetBframeCount(settings.bframeCount);
  encoder->SetAbrQmin(settings.abrQmin);
  encoder->SetRfConstant(settings.rfConstant, settings.rfConstantMax);
  encoder->SetVideoBitrate(static_cast<unsigned>(video.bitrate), 0);
  encoder->SetFrameRateAndGop(video.frameRate, video.keyInterval);
  if (m_autoBitrate >= 0) encoder->SetAutoCtrlBitrate(m_autoBitrate == 1);
  const bool videoTaken =
      encoder->SetVideoFormat(video.outputWidth, video.outputHeight, MediaInfo::kDefaultColorSpace, video.frameRate,
                              static_cast<unsigned>(video.bitrate), settings.vbrQuality);
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::ConnectSvr",
              "set rtmp para, this:%x, audiobitrate:%d, channels:%d, samplerate:%d, bitpersample:%d, videorate:%d, "
              "videoframerate:%d, width:%d, height:%d, clorspace:%d ",
              Address(this), audio.bitrate, audio.channels, audio.sampleRate, audio.bitsPerSample, video.bitrate,
              video.frameRate, video.outputWidth, video.outputHeight, MediaInfo::kDefaultColorSpace);
  // The stored parameters are always encodable (PublishParams), so this is
  // an encoder that could not take them after all (memory).
  if (connecting && (!audioTaken || !videoTaken)) {
    ReportRefusedFormat(m_notifier, videoTaken ? AudioFormatText(audio) : VideoFormatText(video), !videoTaken);
    // Closed as a stop, not a loss: another attempt would be refused alike.
    m_publishing = false;
    if (IEncoderMediaThenSendThroughRtmp* refused = SwapEncoder(nullptr)) refused->Release();
    m_publishing = true;
  }
}

void RtmpPublishManager::OnEncoderMediaThenSendThroughRtmpDead() { m_notifier.Status(kLevelError, kEncoderDead); }

void RtmpPublishManager::OnEncoderMediaThenSendThroughRtmpConnected() {
  m_connected = true;
  m_notifier.Status(kLevelError, kConnectPublishServerSuccess);
}

void RtmpPublishManager::OnEncoderMediaThenSendThroughRtmpPublishFaild() {
  m_connected = false;
  m_notifier.Status(kLevelError, kEncoderPublishFaild);
}

void RtmpPublishManager::OnEncoderMediaThenSendThroughRtmpStatus(MediaInfo* info) {
  // Only the reports need a host: the reconnection and the closed flag work
  // for a manager made without one too.
  if (!info) return;
  const std::string text = info->text1;
  if (text == "NetConnection.NetInfo") return;
  std::string line;
  FormatString(&line, kThisPrefix, Address(this));
  // The server chose the text; the log keeps only its start.
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::OnEncoderMediaThenSendThroughRtmpStatus", "%s,\n",
              (line + LogExcerpt(text)).c_str());
  m_notifier.Status(kLevelError, text.c_str());
  if (text == kConnectSuccess) {
    m_notifier.Status(kLevelInformation, text.c_str());
  } else if (text == kConnectClosed || text == kPluginCloseSocket || text == kConnectFailed) {
    // A failed connect while publishing (an unreachable or unresolvable
    // server during a reconnect) must retry like a dropped connection.
    OnConnectionLost(text);
  } else if (text == kPublishUnpublishNotify && m_started) {
    m_notifier.Status(kLevelInformation, text.c_str());
    m_cmdQueue.Push(kCmdStopPublish);
  }
}

void RtmpPublishManager::OnConnectionLost(const std::string& text) {
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::OnEncoderMediaThenSendThroughRtmpStatus", "%s,m_bUDPHaveClose:%d\n",
              text.c_str(), m_closed ? 1 : 0);
  if (m_closed.exchange(true)) return;  // one reaction per connection
  m_connected = false;
  const bool publishing = m_publishing;
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::OnEncoderMediaThenSendThroughRtmpStatus", "%s,ispublishing:%d\n",
              text.c_str(), publishing ? 1 : 0);
  std::string report;
  FormatString(&report, kThisPrefix, Address(this));
  if (!publishing) {
    report += kClosedNormal;
    m_notifier.Status(kLevelInformation, report.c_str());
    return;
  }
  report += kClosedUnexpectly;
  STRIVON_LOG(kLogWarning, "RtmpPublishManager::OnEncoderMediaThenSendThroughRtmpStatus", "%s", report.c_str());
  m_notifier.Status(kLevelInformation, report.c_str());
  m_cmdQueue.PushDelayed(kCmdStartSchedule, kRetryDelayMs);
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::OnEncoderMediaThenSendThroughRtmpStatus", "%s,%d", report.c_str(),
              static_cast<int>(platform::TickCount()));
}

void RtmpPublishManager::OnEncoderMediaThenSendThroughRtmpStatistics(MediaInfo* info) {
  if (!info) return;
  m_lastStatisticsAt = platform::TickCount();
  PublishSendStatistics out{};
  {
    std::lock_guard<std::mutex> lock(m_statisticsLock);
    if (!m_statistics.Compute(*info, platform::TickCount(), &out)) return;
  }
  m_notifier.Statistics(out);
}

void RtmpPublishManager::OnEncoderMediaThenSendThroughRtmpMediaData(const char* body, int size, double timestampMs,
                                                                    int kind) {
  if (!body || size <= 0) return;
  KeepSequenceHeader(body, size, kind);
  WriteRecording(body, size, timestampMs, kind);
}

void RtmpPublishManager::KeepSequenceHeader(const char* body, int size, int kind) {
  // Kept whether or not recording is on, and replaced when the encoder sends
  // a new configuration, so a recording started later opens with the right one.
  const bool audio = kind == 1;
  if (audio ? !IsAudioConfig(body, size) : !IsVideoConfig(body, size)) return;
  std::lock_guard<std::mutex> lock(m_headerLock);
  (audio ? m_audioHeader : m_videoHeader).assign(body, body + size);
}

bool RtmpPublishManager::OnEncoderMediaThenSendThroughRtmpReport(const char* json) {
  if (json) m_notifier.Message(json);
  return true;
}

void RtmpPublishManager::ForwardReservedInt(int value) { m_notifier.ReservedInt(value); }
