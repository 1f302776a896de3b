#include "strivon/SendStatistics.h"

void SendStatistics::Reset() { m_havePrevious = false; m_previous1 = m_previous2 = m_previous6 = 0; }

bool SendStatistics::Compute(const MediaInfo& info, uint32_t nowMs, PublishSendStatistics* out) {
  if (info.type != MediaInfo::kSendStatistics) return false;
  double seconds = 1.0;
  if (m_havePrevious) {
    const uint32_t elapsed = nowMs - m_previousTime;
    seconds = elapsed > 0 ? elapsed / 1000.0 : 1.0;
  }
  auto grown = [](int64_t now, int64_t before) { return now > before ? now - before : 0; };
  const int64_t d1 = grown(info.value1, m_previous1);
  const int64_t d2 = grown(info.value2, m_previous2);
  const int64_t d6 = grown(info.value6, m_previous6);
  out->pingRoundTripMs = static_cast<uint32_t>(info.value5);
  out->videoBytesSent = static_cast<uint32_t>(info.value1);
  out->videoKbitPerSecond = static_cast<float>(d1 * 8 / 1024.0 / seconds);
  out->audioBytesSent = static_cast<uint32_t>(info.value2);
  out->audioKbitPerSecond = static_cast<float>(d2 * 8 / 1024.0 / seconds);
  out->reserved3 = static_cast<uint32_t>(info.value3);
  out->reserved4 = static_cast<uint32_t>(info.value4);
  out->videoFramesSent = static_cast<uint32_t>(info.value6);
  out->videoFramesPerSecond = static_cast<uint32_t>(d6 / seconds);
  out->audioFramesSent = static_cast<uint32_t>(info.value7);
  m_previous1 = info.value1;
  m_previous2 = info.value2;
  m_previous6 = info.value6;
  m_previousTime = nowMs;
  m_havePrevious = true;
  return true;
}
