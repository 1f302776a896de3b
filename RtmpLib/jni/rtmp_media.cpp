// Media messages: AAC frames and H.264 access units as FLV audio/video tag
// bodies, their sequence headers, the send counters, and the ping.
#include <algorithm>
#include <cstring>

#include "RtmpLib/jni/Rtmp.h"
#include "RtmpLib/jni/rtmp_aac.h"
#include "RtmpLib/jni/rtmp_avc.h"
#include "RtmpLib/jni/rtmp_log.h"
#include "platform/base/tick.h"

namespace {

constexpr int kKindVideo = 0;
constexpr int kKindAudio = 1;
constexpr uint8_t kVideoKeyFrame = 0x17;
constexpr uint8_t kVideoInterFrame = 0x27;

size_t LengthPrefixedSize(const rtmp::NalUnit* first, const rtmp::NalUnit* last) {
  size_t size = 0;
  for (const rtmp::NalUnit* unit = first; unit != last; ++unit) size += 4 + unit->size;
  return size;
}

void WriteLengthPrefixed(const rtmp::NalUnit* first, const rtmp::NalUnit* last, uint8_t* out) {
  for (const rtmp::NalUnit* unit = first; unit != last; ++unit) {
    const uint32_t size = static_cast<uint32_t>(unit->size);
    out[0] = static_cast<uint8_t>(size >> 24);
    out[1] = static_cast<uint8_t>(size >> 16);
    out[2] = static_cast<uint8_t>(size >> 8);
    out[3] = static_cast<uint8_t>(size);
    std::memcpy(out + 4, unit->data, unit->size);
    out += 4 + unit->size;
  }
}

bool SameBytes(const std::vector<uint8_t>& stored, const rtmp::NalUnit& unit) {
  return stored.size() == unit.size && std::equal(stored.begin(), stored.end(), unit.data);
}

constexpr int kMaxMessageBody = 0xFFFFFF;

// The AVC packet's 24-bit composition time.
void WriteComposition(uint8_t* at, uint32_t composition) {
  at[0] = static_cast<uint8_t>(composition >> 16);
  at[1] = static_cast<uint8_t>(composition >> 8);
  at[2] = static_cast<uint8_t>(composition);
}

}  // namespace

void CRtmp::CountAndReportStatistics() {
  const uint32_t now = platform::TickCount();
  if (m_statisticsTick == 0) m_statisticsTick = now;
  if (m_notify == nullptr || now - m_statisticsTick <= 999) return;
  m_statisticsTick = now;
  MediaInfo statistics;
  statistics.type = MediaInfo::kSendStatistics;
  GetStatistics(&statistics);
  m_notify->OnRtmpStatistics(&statistics);
}

bool CRtmp::SendAAC(const unsigned char* frame, int length, unsigned timestampMs) {
  if (!IsOpen()) return false;
  // The body carries the whole frame and must fit RTMP's 24-bit length;
  // refuse before allocating anything for it.
  if (frame == nullptr || length <= 0 || length > kMaxMessageBody) return false;
  m_counters[7] += 1;
  m_counters[2] += static_cast<uint32_t>(length);
  CountAndReportStatistics();

  if (!m_aacHeaderSent) {
    rtmp::RtmpOutPacket header(rtmp::kHeaderFull, rtmp::kAudio, rtmp::kAudioChannel, 0, m_streamId,
                               rtmp::kAacSequenceHeaderSize);
    if (!rtmp::BuildAacSequenceHeader(m_audioSampleRate, m_audioChannels, header.body())) {
      RTMP_LOG(kLogWarning, "CRtmp::SendAAC", "no AAC header for %d Hz", m_audioSampleRate.load());
      return false;
    }
    if (m_notify) {
      m_notify->OnRtmpMediaData(reinterpret_cast<const char*>(header.body()), rtmp::kAacSequenceHeaderSize, 0.0,
                                kKindAudio);
    }
    if (!RTMP_SendPacket(&header, false)) return false;
    m_aacHeaderSent = true;
  }

  timestampMs = std::max(timestampMs, m_lastAudioTimestamp.load());
  m_lastAudioTimestamp = timestampMs;
  rtmp::RtmpOutPacket packet(timestampMs ? rtmp::kHeaderNoStreamId : rtmp::kHeaderFull, rtmp::kAudio,
                             rtmp::kAudioChannel, timestampMs, m_streamId, static_cast<size_t>(length) + 2);
  uint8_t* body = packet.body();
  body[0] = 0xAF;
  body[1] = 0x01;
  std::memcpy(body + 2, frame, static_cast<size_t>(length));
  if (m_notify) {
    m_notify->OnRtmpMediaData(reinterpret_cast<const char*>(body), length + 2, static_cast<double>(timestampMs),
                              kKindAudio);
  }
  return RTMP_SendPacket(&packet, false);
}

bool CRtmp::SendVideoH264(const unsigned char* accessUnit, int length, unsigned timestampMs, int compositionMs) {
  if (!IsOpen()) return false;
  if (accessUnit == nullptr || length <= 0 || length > kMaxMessageBody) return false;
  m_counters[6] += 1;
  m_counters[1] += static_cast<uint32_t>(length);
  CountAndReportStatistics();

  int startCodeLength = 0;
  if (rtmp::FindStartCode(accessUnit, length, &startCodeLength) < 0) return false;
  const std::vector<rtmp::NalUnit> units = rtmp::SplitAnnexB(accessUnit, static_cast<size_t>(length));
  if (units.empty()) return false;
  const rtmp::NalUnit* sps = nullptr;
  const rtmp::NalUnit* pps = nullptr;
  const rtmp::NalUnit* idr = nullptr;
  for (const rtmp::NalUnit& unit : units) {
    if (unit.type() == rtmp::kNalSps && sps == nullptr) sps = &unit;
    if (unit.type() == rtmp::kNalPps && pps == nullptr) pps = &unit;
    if (unit.type() == rtmp::kNalIdr && idr == nullptr) idr = &unit;
  }
  const rtmp::NalUnit* end = units.data() + units.size();
  // A stamp raised to keep decode times from going back still shows the
  // picture when it was meant to be shown, as far as that is not earlier.
  const int64_t shownAt = int64_t{timestampMs} + std::max(compositionMs, 0);
  timestampMs = std::max(timestampMs, m_lastVideoTimestamp.load());
  m_lastVideoTimestamp = timestampMs;
  const uint32_t composition = static_cast<uint32_t>(std::clamp<int64_t>(shownAt - timestampMs, 0, 0x7FFFFF));
  const uint8_t headerType = timestampMs ? rtmp::kHeaderNoStreamId : rtmp::kHeaderFull;

  if (sps == nullptr) {
    // Nothing can be decoded before the first key frame with its parameter sets.
    if (pps != nullptr || !m_avcHeaderSent) return false;
    const rtmp::NalUnit* first = units.data();
    rtmp::RtmpOutPacket packet(headerType, rtmp::kVideo, rtmp::kVideoChannel, timestampMs, m_streamId,
                               5 + LengthPrefixedSize(first, end));
    uint8_t* body = packet.body();
    body[0] = idr ? kVideoKeyFrame : kVideoInterFrame;
    body[1] = 0x01;
    WriteComposition(body + 2, composition);
    WriteLengthPrefixed(first, end, body + 5);
    if (m_notify) {
      m_notify->OnRtmpMediaData(reinterpret_cast<const char*>(body), static_cast<int>(packet.bodySize()),
                                static_cast<double>(timestampMs), kKindVideo);
    }
    return RTMP_SendPacket(&packet, false);
  }
  if (pps == nullptr) return false;

  if (!m_avcHeaderSent || !SameBytes(m_lastSps, *sps) || !SameBytes(m_lastPps, *pps)) {
    const std::vector<uint8_t> config = rtmp::BuildAvcDecoderConfig(*sps, *pps);
    if (config.empty()) return false;
    rtmp::RtmpOutPacket header(rtmp::kHeaderFull, rtmp::kVideo, rtmp::kVideoChannel, timestampMs, m_streamId,
                               5 + config.size());
    uint8_t* body = header.body();
    body[0] = kVideoKeyFrame;
    body[1] = 0x00;
    body[2] = body[3] = body[4] = 0;
    std::memcpy(body + 5, config.data(), config.size());
    if (m_notify) {
      m_notify->OnRtmpMediaData(reinterpret_cast<const char*>(body), static_cast<int>(header.bodySize()),
                                static_cast<double>(timestampMs), kKindVideo);
    }
    if (!RTMP_SendPacket(&header, false)) return false;
    m_avcHeaderSent = true;
    m_lastSps.assign(sps->data, sps->data + sps->size);
    m_lastPps.assign(pps->data, pps->data + pps->size);
  }

  if (idr == nullptr) return false;
  rtmp::RtmpOutPacket packet(headerType, rtmp::kVideo, rtmp::kVideoChannel, timestampMs, m_streamId,
                             5 + LengthPrefixedSize(idr, end));
  uint8_t* body = packet.body();
  body[0] = kVideoKeyFrame;
  body[1] = 0x01;
  WriteComposition(body + 2, composition);
  WriteLengthPrefixed(idr, end, body + 5);
  if (m_notify) {
    m_notify->OnRtmpMediaData(reinterpret_cast<const char*>(body), static_cast<int>(packet.bodySize()),
                              static_cast<double>(timestampMs), kKindVideo);
  }
  return RTMP_SendPacket(&packet, false);
}

bool CRtmp::SendPing() { return SendCtrl(6, platform::TickCount(), 0); }
