// Events of the RTMP client, passed up to the manager, and the adaptive
// bit rate driven by the client's ping round trips.
#include <string>

#include "common/Log.h"
#include "encodemediathensendthroughrtmp/EncoderMediaThenSendThroughRtmp.h"

void CEncoderMediaThenSendThroughRtmp::OnRtmpDead() {
  STRIVON_LOG(kLogInfo, "CEncoderMediaThenSendThroughRtmp::OnRtmpDead", "OnRtmpDead");
  ResetConnectionState();
  if (m_notify) m_notify->OnEncoderMediaThenSendThroughRtmpDead();
}

void CEncoderMediaThenSendThroughRtmp::OnRtmpConnected() {
  m_connected = true;
  if (m_notify) m_notify->OnEncoderMediaThenSendThroughRtmpConnected();
}

void CEncoderMediaThenSendThroughRtmp::OnRtmpPublishFaild() {
  ResetConnectionState();
  if (m_notify) m_notify->OnEncoderMediaThenSendThroughRtmpPublishFaild();
}

void CEncoderMediaThenSendThroughRtmp::OnRtmpStatus(MediaInfo* status) {
  if (m_notify) m_notify->OnEncoderMediaThenSendThroughRtmpStatus(status);
}

void CEncoderMediaThenSendThroughRtmp::OnRtmpStatistics(MediaInfo* statistics) {
  if (m_notify) m_notify->OnEncoderMediaThenSendThroughRtmpStatistics(statistics);
}

bool CEncoderMediaThenSendThroughRtmp::OnRtmpMediaData(const char* body, int size, double timestampMs, int kind) {
  if (m_notify) m_notify->OnEncoderMediaThenSendThroughRtmpMediaData(body, size, timestampMs, kind);
  return true;
}

bool CEncoderMediaThenSendThroughRtmp::OnRtmpReport(const char* json) {
  if (m_notify) m_notify->OnEncoderMediaThenSendThroughRtmpReport(json);
  return true;
}

void CEncoderMediaThenSendThroughRtmp::RaiseBitrateStatus(unsigned audioBps, unsigned videoBps) {
  if (!m_notify) return;
  MediaInfo status;
  status.type = MediaInfo::kStatusText;
  FormatString(&status.text1, "Auto set audio bitrate %u, video bitrate %u", audioBps, videoBps);
  m_notify->OnEncoderMediaThenSendThroughRtmpStatus(&status);
}

void CEncoderMediaThenSendThroughRtmp::OnPingRoundTrip(int ms) {
  if (!m_autoCtrl) return;
  const uint32_t now = m_clock();
  AdaptiveBitrateControl::Decision decision;
  std::pair<unsigned, unsigned> rates;
  {
    std::lock_guard<std::mutex> lock(m_adaptiveLock);
    // Switched off meanwhile: the switch has restored the configured rates,
    // and nothing decided now may undo that.
    if (!m_autoCtrl) return;
    decision = m_adaptive.OnRoundTrip(ms, now, CodecsAtAdaptiveFloor());
    using Action = AdaptiveBitrateControl::Action;
    if (decision.action == Action::Lower) {
      LowerToAdaptiveFloorLocked();
      rates = {AdaptiveBitrateControl::kFloorAudioBps, AdaptiveBitrateControl::kFloorVideoKbps * 1000};
    } else if (decision.action == Action::Restore) {
      rates = RestoreConfiguredBitrates();
    }
  }
  // Raised outside the lock: the manager may answer with SetAutoCtrlBitrate.
  if (decision.report && m_autoCtrl) RaiseBitrateStatus(rates.first, rates.second);
}

bool CEncoderMediaThenSendThroughRtmp::CodecsAtAdaptiveFloor() {
  // The rates in force, not a memory of the last lowering: un-muting or a
  // host's new rate lifts them without the control knowing.
  unsigned audio = 0;
  int videoKbps = 0;
  {
    std::lock_guard<std::mutex> lock(m_aacLock);
    audio = m_currentAudioBitrate;
  }
  {
    std::lock_guard<std::mutex> lock(m_videoLock);
    videoKbps = m_video.bitrateKbps;
  }
  return audio == AdaptiveBitrateControl::kFloorAudioBps &&
         videoKbps == static_cast<int>(AdaptiveBitrateControl::kFloorVideoKbps);
}

void CEncoderMediaThenSendThroughRtmp::LowerToAdaptiveFloorLocked() {
  // A codec already at its floor keeps running: reopening x264 would only
  // cost a key frame.
  {
    std::lock_guard<std::mutex> lock(m_aacLock);
    if (m_currentAudioBitrate != AdaptiveBitrateControl::kFloorAudioBps) {
      m_currentAudioBitrate = AdaptiveBitrateControl::kFloorAudioBps;
      ReopenAacLocked();
    }
  }
  {
    std::lock_guard<std::mutex> lock(m_videoLock);
    if (m_video.bitrateKbps != static_cast<int>(AdaptiveBitrateControl::kFloorVideoKbps)) {
      m_video.bitrateKbps = static_cast<int>(AdaptiveBitrateControl::kFloorVideoKbps);
      ReopenVideoLocked();
    }
  }
}
