// Life cycle of the encoder object and the operations that only hand through
// to the RTMP client.
#include <cctype>
#include <new>
#include <string>

#include "common/Log.h"
#include "encodemediathensendthroughrtmp/EncoderMediaThenSendThroughRtmp.h"
#include "platform/base/tick.h"

namespace {
constexpr size_t kInitialVideoOutputBytes = 307200;
constexpr size_t kPcmFrameBytes = 16384;  // two channels x 4096 bytes, with room
}  // namespace

IEncoderMediaThenSendThroughRtmp* CreateEncoderMediaThenSendThroughRtmp(
    IEncoderMediaThenSendThroughRtmpNotify* notify) {
  try {
    return new CEncoderMediaThenSendThroughRtmp(notify);
  } catch (...) {
    return nullptr;
  }
}

CEncoderMediaThenSendThroughRtmp::CEncoderMediaThenSendThroughRtmp(IEncoderMediaThenSendThroughRtmpNotify* notify,
                                                                   TransportFactory transportFactory, Clock clock)
    : m_notify(notify),
      m_transportFactory(transportFactory ? std::move(transportFactory) : TransportFactory(CreateRtmpLib)),
      m_clock(clock ? std::move(clock) : Clock(platform::TickCount)) {
  bool reserved = true;
  try {
    m_pcmFrame.assign(kPcmFrameBytes, 0);
  } catch (const std::bad_alloc&) {
    STRIVON_LOG(kLogWarning, "CEncoderMediaThenSendThroughRtmp", "Init audio encoder config error");
    reserved = false;
  }
  try {
    m_videoOutput.resize(kInitialVideoOutputBytes);
    m_video.output = m_videoOutput.data();
    m_video.outputCapacity = static_cast<int>(m_videoOutput.size());
  } catch (const std::bad_alloc&) {
    STRIVON_LOG(kLogWarning, "CEncoderMediaThenSendThroughRtmp", "Init video encoder config error");
    reserved = false;
  }
  m_ring.Init();
  if (reserved) m_threadStarted = CSafeThread::Start();
}

CEncoderMediaThenSendThroughRtmp::~CEncoderMediaThenSendThroughRtmp() {
  m_connected = false;
  // A send that a stalled server has blocked would keep the encoder thread
  // from ever ending; closing the connection first makes that send fail.
  if (IRtmpLib* transport = Transport()) transport->CloseSocket();
  CSafeThread::Stop();
  // The client's threads deliver events that touch the codecs; join them
  // before the codecs go away.
  if (IRtmpLib* transport = m_transport.exchange(nullptr)) {
    const uint32_t start = platform::TickCount();
    transport->Release();
    STRIVON_LOG(kLogInfo, "CEncoderMediaThenSendThroughRtmp::~CEncoderMediaThenSendThroughRtmp",
                "delete.CRtmp: time[%d]", static_cast<int>(platform::TickCount() - start));
  }
  {
    std::lock_guard<std::mutex> lock(m_aacLock);
    CloseAudioEncoder(&m_aacConfig);
    m_aacOpen = false;
  }
  {
    std::lock_guard<std::mutex> lock(m_videoLock);
    CloseVideoEncoder(&m_video);
    m_videoOpen = false;
  }
  m_ring.Uninit();
  {
    std::lock_guard<std::mutex> lock(m_audioQueueLock);
    m_audioQueue.clear();
  }
  {
    std::lock_guard<std::mutex> lock(m_videoQueueLock);
    m_videoQueue.clear();
  }
  {
    std::lock_guard<std::mutex> lock(m_commandLock);
    m_commands.clear();
  }
  m_notify = nullptr;
  m_framePool.FreeAll();
}

void CEncoderMediaThenSendThroughRtmp::Release() { delete this; }

bool CEncoderMediaThenSendThroughRtmp::Connect(const char* url) {
  if (!url) return false;
  std::string text(url);
  std::string scheme = text.substr(0, text.find(':'));
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme != "rtmp") return false;
  IRtmpLib* transport = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_transportLock);
    transport = m_transport.load();
    if (!transport) {
      const uint32_t start = platform::TickCount();
      try {
        transport = m_transportFactory(this);
      } catch (...) {
        transport = nullptr;
      }
      STRIVON_LOG(kLogInfo, "CEncoderMediaThenSendThroughRtmp::Connect", "new.CRtmpLib: time[%d]",
                  static_cast<int>(platform::TickCount() - start));
      if (transport) PassFormatsTo(transport);
      m_transport = transport;
    }
  }
  return transport ? transport->Connect(url) : false;
}

void CEncoderMediaThenSendThroughRtmp::PassFormatsTo(IRtmpLib* transport) {
  // Formats set before Connect had no client to go to; without them the
  // client cannot announce the sound and would refuse every frame.
  PcmFormat sound;
  int width = 0;
  int height = 0;
  int fps = 0;
  unsigned bps = 0;
  {
    std::lock_guard<std::mutex> lock(m_aacLock);
    sound = m_pcmFormat;
  }
  {
    std::lock_guard<std::mutex> lock(m_videoLock);
    width = m_video.width;
    height = m_video.height;
    fps = m_configuredFrameRate;
    bps = m_configuredVideoBitrate;
  }
  if (m_audioFormatSet && !transport->SetAudioParams(sound.channels, sound.sampleRate)) {
    STRIVON_LOG(kLogWarning, "CEncoderMediaThenSendThroughRtmp::Connect", "client refused audio format %d/%d",
                sound.channels, sound.sampleRate);
    m_audioFormatSet = false;
  }
  if (m_videoFormatSet) transport->SetVideoParams(width, height, fps, static_cast<int>(bps));
}

void CEncoderMediaThenSendThroughRtmp::Disconnect() {
  if (IRtmpLib* transport = Transport()) transport->CloseSocket();
  ResetConnectionState();
}

void CEncoderMediaThenSendThroughRtmp::ResetConnectionState() {
  m_timeBase = kNoTimeBase;
  m_connected = false;
  m_videoFormatSet = false;
  m_audioSentOnConnection = false;
  m_restartVideoStamps = true;
}

void CEncoderMediaThenSendThroughRtmp::QueuePing() {
  {
    std::lock_guard<std::mutex> lock(m_commandLock);
    m_commands.push_back(kCommandPing);
  }
  WakeEncoderThread();
}

void CEncoderMediaThenSendThroughRtmp::GetStatistics(MediaInfo* out) {
  if (IRtmpLib* transport = Transport(); transport && out) transport->GetStatistics(out);
}

// Only a UDP transport would take these; this system has none.
bool CEncoderMediaThenSendThroughRtmp::SetUdpParam1(int) { return false; }
bool CEncoderMediaThenSendThroughRtmp::SetUdpParam2(int) { return false; }

bool CEncoderMediaThenSendThroughRtmp::SetParam(int value) {
  IRtmpLib* transport = Transport();
  return transport ? transport->SetParam(value) : false;
}

bool CEncoderMediaThenSendThroughRtmp::SendString2(const char* method, const char* text) {
  IRtmpLib* transport = Transport();
  return transport && method && text ? transport->SendString2(method, text) : false;
}

bool CEncoderMediaThenSendThroughRtmp::SetMediaInfo(MediaInfo* info) {
  IRtmpLib* transport = Transport();
  return transport ? transport->SetMediaInfo(info) : false;
}

bool CEncoderMediaThenSendThroughRtmp::SetSessionInfo(const char* first, const char* second, const char* third) {
  IRtmpLib* transport = Transport();
  return transport ? transport->SetSessionInfo(first, second, third) : false;
}

bool CEncoderMediaThenSendThroughRtmp::PostMediaInfo(MediaInfo info) {
  IRtmpLib* transport = Transport();
  return transport ? transport->PostMediaInfo(std::move(info)) : false;
}

const char* CEncoderMediaThenSendThroughRtmp::GetServerIP() {
  IRtmpLib* transport = Transport();
  return transport ? transport->GetServerIP() : nullptr;
}

CEncoderMediaThenSendThroughRtmp::Snapshot CEncoderMediaThenSendThroughRtmp::GetSnapshot() {
  Snapshot s{};
  {
    std::lock_guard<std::mutex> lock(m_aacLock);
    s.configuredAudioBitrate = m_configuredAudioBitrate;
    s.currentAudioBitrate = m_currentAudioBitrate;
    s.aacBitRate = m_aacConfig.bitRate;
    s.aacOpen = m_aacOpen;
    s.channels = m_pcmFormat.channels;
    s.sampleRate = m_pcmFormat.sampleRate;
    s.frameBytes = m_frameBytes;
    s.aacOpens = m_aacOpens;
    s.packetLeadMs = PacketLeadMsLocked();
  }
  {
    std::lock_guard<std::mutex> lock(m_videoLock);
    s.configuredVideoBitrate = m_configuredVideoBitrate;
    s.videoKbps = m_video.bitrateKbps;
    s.rateControlMode = m_video.rateControlMode;
    s.vbrQuality = m_video.vbrQuality;
    s.frameRate = m_video.frameRate;
    s.keyInterval = m_video.keyInterval;
    s.configuredFrameRate = m_configuredFrameRate;
    s.configuredKeyInterval = m_configuredKeyInterval;
    s.width = m_video.width;
    s.height = m_video.height;
    s.videoOpen = m_videoOpen;
    s.bframeCount = m_video.bframeCount;
    s.rfConstant = m_video.rfConstant;
    s.videoOpens = m_videoOpens;
  }
  {
    std::lock_guard<std::mutex> lock(m_audioQueueLock);
    s.queuedAudioBytes = m_queuedAudioBytes;
  }
  {
    std::lock_guard<std::mutex> lock(m_videoQueueLock);
    s.latePicturesDropped = m_latePicturesDropped;
  }
  s.timeBase = m_timeBase;
  return s;
}
