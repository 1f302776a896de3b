// The scheduling service's answer: the RTMP server a publish run should use.
// Produced by a scheduler (IServerSchedule), consumed by the publish manager
// when it connects. A plain value, copied whole.
#pragma once
#include <string>

struct ScheduleResult {
  std::string IP;
  std::string RtmpPort;  // decimal
  int bTcp = 0;          // 1 when the service named the TCP mode for this server
  std::string ClientIP;  // the client's address as the service saw it; may be empty
  int Time = 0;          // the service's time value; 0 when not given

  // A result without a server address or port cannot be published to.
  bool IsAnswer() const { return !IP.empty() && !RtmpPort.empty(); }
};
