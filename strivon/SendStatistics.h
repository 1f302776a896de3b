// Turns the encoder's cumulative send counters into the per-second figures
// the host receives. Counters restart with every connection, so the previous
// values are reset at each connect and a counter that went down counts as 0.
#pragma once
#include <cstdint>

#include "common/MediaInfo.h"
#include "strivon/IRtmpPublishManagerNotify.h"

class SendStatistics {
 public:
  // Forget the previous record (a new connection starts its counters at 0).
  void Reset();
  // A type 2 record at time nowMs; false for any other record.
  bool Compute(const MediaInfo& info, uint32_t nowMs, PublishSendStatistics* out);

 private:
  bool m_havePrevious = false;
  uint32_t m_previousTime = 0;
  int64_t m_previous1 = 0, m_previous2 = 0, m_previous6 = 0;
};
