// What the client does with each message from the server: protocol control,
// user control (pings), commands. Runs on the connect thread until the
// stream publishes, then on the receive thread.
#include <new>

#include "RtmpLib/jni/Rtmp.h"
#include "RtmpLib/jni/rtmp_log.h"
#include "platform/base/tick.h"

namespace {

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

bool IsMedia(uint8_t type) { return type == rtmp::kAudio || type == rtmp::kVideo; }

}  // namespace

void CRtmp::ReadUntilPublishing() {
  try {
    while (!m_publishing && !m_serverClose && IsOpen()) {
      // Reads from the buffer need no wait, so a server that keeps the buffer
      // full is held to the deadline here.
      if (ConnectPhaseRemainingMs() == 0) {
        FailConnectPhase("CRtmp::StartConnect");
        break;
      }
      rtmp::RtmpMessage message;
      bool complete = false;
      if (!RTMP_ReadPacket(&message, &complete)) break;
      if (!complete || message.body.empty()) continue;
      if (IsMedia(message.messageType) || message.messageType == rtmp::kDataMessage) continue;
      RTMP_AnalysisPacket(message);
    }
  } catch (const std::bad_alloc&) {
    RTMP_LOG(kLogFatal, "CRtmp::StartConnect", "out of memory while reading");
    CloseSocket();
  }
}

void CRtmp::SafeThreadProcMain() {
  CTVThread::SetCurrentThreadPriority(platform::ThreadPriority::AboveNormal, "CRtmp::SafeThreadProcMain");
  try {
    while (IsRunning() && IsOpen() && !m_serverClose) {
      rtmp::RtmpMessage message;
      bool complete = false;
      if (!RTMP_ReadPacket(&message, &complete)) break;
      if (!IsOpen()) break;
      if (complete) {
        if (message.body.empty() || IsMedia(message.messageType)) continue;
        RTMP_AnalysisPacket(message);
      }
      platform::SleepMs(1);
    }
    // Answers to pings stop with this loop, so the connection must end too.
    if (IsRunning() && m_serverClose) CloseSocket();
  } catch (const std::bad_alloc&) {
    RTMP_LOG(kLogFatal, "CRtmp::SafeThreadProcMain", "out of memory while reading");
    CloseSocket();
  }
}

void CRtmp::ReadAndDispatchForTest() {
  m_connectDeadlineMs = -1;
  try {
    while (IsOpen() && !m_serverClose) {
      rtmp::RtmpMessage message;
      bool complete = false;
      if (!RTMP_ReadPacket(&message, &complete)) break;
      if (!complete || message.body.empty() || IsMedia(message.messageType)) continue;
      RTMP_AnalysisPacket(message);
    }
  } catch (const std::bad_alloc&) {
    CloseSocket();
  }
}

void CRtmp::RTMP_AnalysisPacket(const rtmp::RtmpMessage& message) {
  const std::vector<uint8_t>& body = message.body;
  switch (message.messageType) {
    case rtmp::kSetChunkSize:
      if (body.size() >= 4) {
        const uint32_t size = Be32(body.data());
        // 0 would stall the reader forever and the top bit is reserved.
        if (size == 0 || size > 0x7FFFFFFF) {
          RTMP_LOG(kLogFatal, "CRtmp::RTMP_AnalysisPacket", "invalid chunk size %u, closing", size);
          CloseSocket();
          return;
        }
        m_inChunkSize = size;
      }
      break;
    case rtmp::kBytesRead:
      RTMP_LOG(kLogInfo, "CRtmp::RTMP_AnalysisPacket", "received: bytes read report.");
      break;
    case rtmp::kUserControl:
      HandleCtrl(message);
      break;
    case rtmp::kWindowAckSize:
      if (body.size() >= 4) m_serverBandwidth = Be32(body.data());
      break;
    case rtmp::kSetPeerBandwidth:
      if (body.size() >= 4) {
        m_clientBandwidth = Be32(body.data());
        m_clientBandwidthLimitType = body.size() >= 5 ? body[4] : 255;
      }
      break;
    case rtmp::kAudio:
    case rtmp::kVideo:
      break;
    case rtmp::kFlexStream:
      RTMP_LOG(kLogInfo, "CRtmp::RTMP_AnalysisPacket", "recv flex stream, not supported, ignoring.");
      break;
    case rtmp::kFlexSharedObject:
      RTMP_LOG(kLogInfo, "CRtmp::RTMP_AnalysisPacket", "recv flex shared object, not supported, ignoring.");
      break;
    case rtmp::kFlexMessage:
      RTMP_LOG(kLogInfo, "CRtmp::RTMP_AnalysisPacket", "recv flex message, not fully supported.");
      if (body.size() > 1) HandleInvoke(body.data() + 1, body.size() - 1);
      break;
    case rtmp::kDataMessage:
      RTMP_LOG(kLogInfo, "CRtmp::RTMP_AnalysisPacket", "metadata (notify), ignoring.");
      break;
    case rtmp::kSharedObject:
      RTMP_LOG(kLogInfo, "CRtmp::RTMP_AnalysisPacket", "shared object, not supported, ignoring.");
      break;
    case rtmp::kCommand:
      HandleInvoke(body.data(), body.size());
      break;
    default:
      RTMP_LOG(kLogInfo, "CRtmp::RTMP_AnalysisPacket", "unknown packet type received.");
      break;
  }
}

void CRtmp::HandleCtrl(const rtmp::RtmpMessage& message) {
  const std::vector<uint8_t>& body = message.body;
  if (body.size() < 2) return;
  const unsigned eventType = static_cast<unsigned>(body[0] << 8 | body[1]);
  if (eventType == 26) {
    RTMP_LOG(kLogInfo, "CRtmp::HandleCtrl", "SWFVerification ping received, Ignoring request, no CRYPTO support!");
  }
  if (body.size() < 6) return;
  const uint32_t value = Be32(body.data() + 2);
  switch (eventType) {
    case 0:
      RTMP_LOG(kLogInfo, "CRtmp::HandleCtrl", "Stream Begin %d", static_cast<int>(value));
      break;
    case 1:
      RTMP_LOG(kLogInfo, "CRtmp::HandleCtrl", "Stream EOF %d", static_cast<int>(value));
      break;
    case 2:
      RTMP_LOG(kLogInfo, "CRtmp::HandleCtrl", "Stream Dry %d", static_cast<int>(value));
      break;
    case 4:
      RTMP_LOG(kLogInfo, "CRtmp::HandleCtrl", "Stream IsRecorded %d", static_cast<int>(value));
      break;
    case 31:
      RTMP_LOG(kLogInfo, "CRtmp::HandleCtrl", "Stream BufferEmpty %d", static_cast<int>(value));
      break;
    case 32:
      RTMP_LOG(kLogInfo, "CRtmp::HandleCtrl", "Stream BufferReady %d", static_cast<int>(value));
      break;
    case 6:
      RTMP_LOG(kLogInfo, "CRtmp::HandleCtrl", "server ping %u", value);
      SendCtrl(7, value, 0);
      break;
    case 7: {
      const uint32_t now = platform::TickCount();
      uint32_t roundTrip = value < now ? now - value : 0;
      if (roundTrip > 0x7FFFFFFF) roundTrip = 0x7FFFFFFF;
      m_counters[5] = roundTrip;
      if (m_notify) m_notify->OnPingRoundTrip(static_cast<int>(roundTrip));
      break;
    }
    default:
      RTMP_LOG(kLogInfo, "CRtmp::HandleCtrl", "Stream xx %d", static_cast<int>(value));
      break;
  }
}
