// The spine of a publish run: StartPublish and StopPublish, the worker that
// runs the queued commands and pulls screen pictures, and the send thread
// that hands sound and pictures to the encoder in time-stamp order.
#include <algorithm>

#include "capture/TextConvert.h"
#include "common/Log.h"
#include "platform/base/tick.h"
#include "strivon/RtmpPublishManager.h"
#include "strivon/StatusWords.h"

using namespace strivon_status;

namespace {

// The longest the worker and the send thread sleep when nothing wakes them.
constexpr uint32_t kWorkerIdleWaitMs = 5;
constexpr uint32_t kSendIdleWaitMs = 50;
// How long the send thread waits for the encoder to free a picture buffer.
constexpr uint32_t kEncoderBusyWaitMs = 80;
// A picture this long behind the time line is not handed on: what waits
// behind a way out slower than the stream would otherwise stay as far
// behind as the queues are long (a file's pictures may queue for seconds),
// while the sound, which is small and sent first, goes on. Longer than a
// picture waits for its sound in the queues (the time line's grace).
constexpr uint32_t kMaxPictureAgeMs = 400;
constexpr uint32_t kEncoderBusyPollMs = 2;

std::string ThisPrefix(const void* self) {
  std::string text;
  FormatString(&text, kThisPrefix, static_cast<unsigned>(reinterpret_cast<uintptr_t>(self)));
  return text;
}

}  // namespace

bool RtmpPublishManager::StartPublish() {
  std::lock_guard<std::mutex> run(m_runLock);
  if (m_started.exchange(true)) {
    STRIVON_LOG(kLogInfo, "RtmpPublishManager::StartPublish", "Have Started publish");
    return false;
  }
  m_publishing = true;
  m_exit = true;
  m_cmdQueue.Wake();
  Join();
  m_soundLost = false;
  m_screenLost = false;
  m_runScheduled = false;
  m_waitingForASource = false;

  const VideoParams video = Video();
  if (m_factories.createPreview) {
    std::lock_guard<std::mutex> lock(m_previewLock);
    if (!m_preview) m_preview = m_factories.createPreview();
    if (m_preview) {
      m_preview->SetMode(0);
      BITMAPINFOHEADER format{};
      format.biSize = sizeof(BITMAPINFOHEADER);
      format.biWidth = video.outputWidth;
      format.biHeight = video.outputHeight;
      format.biPlanes = 1;
      format.biBitCount = 24;
      format.biSizeImage = static_cast<uint32_t>(video.outputWidth * video.outputHeight * 3);
      std::wstring err;
      if (!m_preview->Start(&format, video.display, &err)) m_notifier.Status(kLevelError, kStartVideoShowVmrFailed);
    }
  }

  m_cmdQueue.Clear();
  m_exit = false;
  if (!CTVThread::Start()) {
    STRIVON_LOG(kLogFatal, "RtmpPublishManager::StartPublish", "worker thread could not be started");
    AbandonStart();
    return false;
  }
  if (!m_sendThread.joinable()) {
    try {
      m_sendThread = std::thread([this] { SendLoop(); });
    } catch (...) {
      STRIVON_LOG(kLogFatal, "RtmpPublishManager::StartPublish", "send thread could not be started");
      AbandonStart();
      return false;
    }
  }
  m_cmdQueue.Push(kCmdStartPublish);
  return true;
}

void RtmpPublishManager::AbandonStart() {
  // A run without its threads could never publish nor be stopped cleanly:
  // back to idle, so the host sees the refusal and may try again. A worker
  // that did start ends with the run's teardown, which must not also forget
  // the source the host chose for the next start.
  InitialSource initial;
  {
    std::lock_guard<std::recursive_mutex> sources(m_sourceLock);
    initial = m_initialSource;
  }
  m_exit = true;
  m_cmdQueue.Wake();
  m_timeline.Wake();
  Join();
  if (m_sendThread.joinable()) m_sendThread.join();
  {
    std::lock_guard<std::recursive_mutex> sources(m_sourceLock);
    m_initialSource = initial;
  }
  ReleasePreview();
  m_cmdQueue.Clear();
  m_publishing = false;
  m_started = false;
}

bool RtmpPublishManager::StopPublish() {
  // Stopping joins the threads that deliver the host's callbacks; from inside
  // one of them that would wait for itself.
  if (m_notifier.InsideCallbackOnThisThread()) {
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::StopPublish", "StopPublish called from a notify callback; refused");
    return false;
  }
  std::lock_guard<std::mutex> run(m_runLock);
  StopBackgroundSound();
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::StopPublish", "Click stop button, this:%x",
              static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)));
  if (!m_started.exchange(false)) {
    STRIVON_LOG(kLogInfo, "RtmpPublishManager::StopPublish", "return because m_bHavePublished true, this:%x",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)));
    return false;
  }
  m_exit = true;
  m_cmdQueue.Wake();
  m_timeline.Wake();
  StopSources();
  Join();  // the worker's last step is StopPublishAsyn
  // A desktop-sound start taken in the worker's last pass made its device
  // after the one above was stopped; with the worker gone none can follow.
  m_backgroundSound = false;
  StopCapturePlayer();
  if (m_sendThread.joinable()) m_sendThread.join();
  // Only now: the send thread drew into the preview until it ended.
  ReleasePreview();
  return true;
}

void RtmpPublishManager::ReleasePreview() {
  std::lock_guard<std::mutex> lock(m_previewLock);
  if (m_preview) {
    m_preview->Stop();
    m_preview->Release();
    m_preview = nullptr;
  }
}

void RtmpPublishManager::Run() { ThreadProcMain(); }

void RtmpPublishManager::ThreadProcMain() {
  const VideoParams video = Video();
  m_pullSchedule.Restart(video.frameRate);
  m_lastPing = platform::TickCount();
  while (!m_exit) {
    PullScreenFrame();
    RecoverInputs();
    PublishCmd cmd;
    if (m_cmdQueue.TakeDue(&cmd)) DispatchCmd(cmd);
    if (m_connected) {
      const uint32_t now = platform::TickCount();
      if (now - m_lastPing >= 1000) {
        m_lastPing = now;
        MediaInfo counters;
        bool stale = false;
        {
          std::lock_guard<std::mutex> lock(m_encoderLock);
          if (m_encoder) {
            m_encoder->QueuePing();
            // Statistics come with what is sent: when nothing went out for a
            // while the host hears that, not the last figures again.
            stale = now - m_lastStatisticsAt.load() >= kStaleStatisticsMs;
            counters.type = MediaInfo::kSendStatistics;
            if (stale) m_encoder->GetStatistics(&counters);
          }
        }
        if (stale) OnEncoderMediaThenSendThroughRtmpStatistics(&counters);
      }
    }
    // Sleep until the next screen pull is due or a command arrives; delayed
    // commands and the ping are looked at every few milliseconds.
    uint32_t wait = kWorkerIdleWaitMs;
    if (m_screenMode) wait = std::min(wait, m_pullSchedule.WaitMs(platform::TickCount()));
    if (wait > 0) m_cmdQueue.WaitForWork(wait);
  }
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::ThreadProcMain", "exit thread, StopPublishAsyn");
  StopPublishAsyn();
}

void RtmpPublishManager::PullScreenFrame() {
  if (!m_screenMode) return;
  const uint32_t now = platform::TickCount();
  uint32_t slot = 0;
  if (!m_pullSchedule.Take(now, &slot)) return;
  std::lock_guard<std::mutex> lock(m_screenCaptureLock);
  if (!m_screenCapture || !m_screenMode) return;
  BITMAPINFOHEADER* info = nullptr;
  BYTE* pixels = nullptr;
  int bytes = 0;
  const bool grabbed = m_screenCapture->GrabFrame(&info, &pixels, &bytes);
  if (!grabbed || !info || !pixels || bytes <= 0) {
    // A captured window that went away: no picture this time, and the host
    // hears it once per failing stretch rather than every frame.
    if (!m_grabFailing) {
      m_grabFailing = true;
      STRIVON_LOG(kLogWarning, "RtmpPublishManager::ThreadProcMain", "screen grab failed");
      m_notifier.Status(kLevelError, kVideoCaptureError);
    }
    // A closed display never comes back on this connection: the worker
    // opens a new one when a server answers again.
    if (!m_screenLost && m_screenCapture->DisplayLost()) {
      m_screenLost = true;
      m_screenRetryAt = now + kReopenIntervalMs;
      STRIVON_LOG(kLogWarning, "RtmpPublishManager::ThreadProcMain",
                  "screen capture lost: display closed; reopened every %u ms", kReopenIntervalMs);
    }
  } else {
    m_grabFailing = false;
    m_grabWidth = info->biWidth;
    m_grabHeight = info->biHeight;
    // The picture stands for its slot: stamped so, the pictures keep an
    // even spacing however late the worker got to them.
    OnVideoData(kScreenCaptureId, pixels, bytes, m_lastPull, slot);
  }
  m_lastPull = now;
}

void RtmpPublishManager::DispatchCmd(PublishCmd& cmd) {
  switch (cmd.type) {
    case kCmdStartPublish: StartPublishAsyn(); break;
    case kCmdStartSchedule: StartSchedule(); break;
    case kCmdConnectServer: ConnectSvr(); break;
    case kCmdStopPublish: StopPublishAsyn(); break;
    case kCmdVideoUnit: SendVideoFrame(cmd); break;
    case kCmdAudioUnit: SendAudioUnit(cmd); break;
    case kCmdStartCapturePlayer: StartCapturePlayer(); break;
    case kCmdStopCapturePlayer: StopCapturePlayer(); break;
    default: break;
  }
}

void RtmpPublishManager::StartPublishAsyn() {
  const std::string text = ThisPrefix(this) + kStartPublish;
  m_notifier.Status(kLevelInformation, text.c_str());
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::StartPublishAsyn", "%s", text.c_str());
  {
    const AudioParams audio = Audio();
    const VideoParams video = Video();
    MediaTimeline::Shape shape;
    shape.sampleRate = audio.sampleRate;
    shape.channels = audio.channels;
    shape.pictureBytes = video.frameBytes;
    shape.frameRate = video.frameRate;
    m_timeline.NewRun(shape);
  }
  {
    std::lock_guard<std::mutex> lock(m_statisticsLock);
    m_statistics.Reset();
  }

  std::unique_lock<std::recursive_mutex> sources(m_sourceLock);
  ReleaseSources();

  const AudioParams audio = Audio();
  m_noise.SetFormat(audio.sampleRate, audio.channels);
  const DeviceSelection mic = Selected(DeviceKind::kMicrophone);
  const unsigned micCount = m_devices.Count(DeviceKind::kMicrophone);
  if (mic.position >= 0 && static_cast<unsigned>(mic.position) < micCount) {
    const std::string name = WideToAnsiString(mic.name);
    int channels = audio.channels;
    int sampleRate = audio.sampleRate;
    unsigned short bits = static_cast<unsigned short>(audio.bitsPerSample);
    STRIVON_LOG(kLogInfo, "RtmpPublishManager::StartPublishAsyn",
                "AudioDev name:%s, nameid:%d, namesum:%d, channels:%d, samplerate:%d, bitpersample:%d", name.c_str(),
                mic.occurrence, mic.sameNameCount, channels, sampleRate, bits);
    bool ok = false;
    std::string error;
    m_audioCapture = MakeMicrophone(name, mic.occurrence, mic.sameNameCount, &ok, &error);
    if (!m_audioCapture) {
      m_notifier.Status(kLevelError, kAudioCaptureError);
      return;
    }
    if (!ok) {
      m_notifier.Status(kLevelError, error.c_str());
      return;
    }
    STRIVON_LOG(kLogInfo, "RtmpPublishManager::StartPublishAsyn", "CreateAudioCap: %s", error.c_str());
  } else {
    std::string text;
    FormatString(&text, kMicIdWrong, mic.position, static_cast<int>(micCount));
    m_notifier.Status(kLevelInformation, text.c_str());
  }
  if (m_audioCapture) {
    if (!SelectAndStartMicrophone()) {
      m_notifier.Status(kLevelError, kStartAudioCaptureError);
      return;
    }
    m_notifier.Status(kLevelInformation, kStartAudioCaptureSuc);
  }

  OpenScreenCapture();

  const InitialSource initial = m_initialSource;
  // Each switch takes the source lock itself; a file's open is not made
  // under it, so the host's calls meanwhile are not held up.
  sources.unlock();
  if (initial.kind == 1) {
    std::lock_guard<std::mutex> capture(m_screenCaptureLock);
    m_screenMode = m_screenCapture != nullptr;
  } else if (initial.kind == 3) {
    changeToCamera(initial.camId, initial.framerate, initial.keyInterval);
  } else if (initial.kind == 2 && !OpenFileSource(initial.path, initial.framerate, initial.keyInterval)) {
    // Nothing of the file can be sent: the run stays unconnected rather than
    // claim a stream it cannot fill, and the first source the host then
    // switches to schedules it.
    m_waitingForASource = true;
    return;
  }
  // Queued last, yet it runs no earlier than before: one command per pass.
  m_runScheduled = true;
  m_cmdQueue.Push(kCmdStartSchedule);
}

void RtmpPublishManager::ScheduleIfWaitingForASource() {
  if (!m_started || !m_waitingForASource.exchange(false)) return;
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::ScheduleIfWaitingForASource", "a source opened: the run goes on");
  m_runScheduled = true;
  m_cmdQueue.Push(kCmdStartSchedule);
}

void RtmpPublishManager::StopPublishAsyn() {
  m_notifier.Status(kLevelInformation, kStopPublishAsyn);
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::StopPublishAsyn", "StopPublishAsyn. release all object.this:%x",
              static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)));
  m_publishing = false;
  CloseRecording();
  std::unique_lock<std::recursive_mutex> sources(m_sourceLock);
  StopSources();
  ReleaseSources();
  m_initialSource.kind = m_currentMode;
  sources.unlock();
  // Outside every lock: the encoder reports its close while it goes.
  if (IEncoderMediaThenSendThroughRtmp* encoder = SwapEncoder(nullptr)) encoder->Release();
  m_connected = false;
  ReleaseSchedule();
  m_cmdQueue.Clear();
  std::lock_guard<std::mutex> lock(m_headerLock);
  m_audioHeader.clear();
  m_videoHeader.clear();
}

void RtmpPublishManager::SendLoop() {
  while (!m_exit) {
    PublishCmd unit;
    if (!m_timeline.Next(&unit, kSendIdleWaitMs)) continue;
    if (unit.type == kCmdVideoUnit) {
      SendVideoFrame(unit);
    } else {
      SendAudioUnit(unit);
    }
  }
}

void RtmpPublishManager::SendVideoFrame(const PublishCmd& unit) {
  if (!unit.data || unit.len <= 0) return;
  if (Video().preview) {
    std::lock_guard<std::mutex> lock(m_previewLock);
    std::wstring err;
    if (m_preview) m_preview->ShowFrame(unit.data.get(), unit.len, &err);
  }
  // Dropped before the encoder sees it, the picture costs the stream nothing
  // but itself: the next one is encoded against the last one that went.
  const uint32_t age = m_timeline.AgeMs(unit.timestamp);
  if (age > kMaxPictureAgeMs) {
    if (m_latePictures.fetch_add(1) == 0) {
      STRIVON_LOG(kLogWarning, "RtmpPublishManager::SendVideoFrame",
                  "pictures %u ms behind the time line are dropped until the way out keeps up", age);
    }
    return;
  }
  // x264's first pictures after a connect take longer than pictures come
  // in, and the pictures that waited for the first sound reach the encoder
  // in one burst: for a moment all its buffers can be in use. A picture it
  // cannot take waits a little for one instead of being lost, but never
  // beyond its age limit.
  const uint32_t waitMs = std::min(kEncoderBusyWaitMs, kMaxPictureAgeMs - age);
  const uint32_t since = platform::TickCount();
  for (;;) {
    bool taken = false;
    {
      std::lock_guard<std::mutex> lock(m_encoderLock);
      if (!m_encoder) return;
      taken = m_encoder->SendRawVideo(unit.data.get(), static_cast<unsigned>(unit.len), unit.timestamp);
    }
    if (taken) {
      if (const int late = m_latePictures.exchange(0); late > 0) {
        STRIVON_LOG(kLogInfo, "RtmpPublishManager::SendVideoFrame", "pictures go out again after %d dropped late",
                    late);
      }
      return;
    }
    if (!m_connected || m_exit || platform::TickCount() - since >= waitMs) return;
    platform::SleepMs(kEncoderBusyPollMs);
  }
}

void RtmpPublishManager::SendAudioUnit(const PublishCmd& unit) {
  if (!unit.data || unit.len <= 0) return;
  CheckMute(reinterpret_cast<const int16_t*>(unit.data.get()), static_cast<unsigned>(unit.len));
  if (!m_connected || m_closed) return;
  std::lock_guard<std::mutex> lock(m_encoderLock);
  if (m_encoder) m_encoder->SendRawAudio(unit.data.get(), static_cast<unsigned>(unit.len), unit.timestamp);
}
