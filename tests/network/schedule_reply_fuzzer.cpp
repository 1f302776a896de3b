// Arbitrary bodies through both readers of the scheduling service's replies.
// An accepted address must be safe to put into an RTMP URL.
#include <cstddef>
#include <cstdint>
#include <string>

#include "schedule/ScheduleReplies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  for (const ScheduleServer& s : ParseCandidates(body))
    if (s.RtmpPort.empty() || s.TcpPort.empty() || s.HttpPort.empty()) __builtin_trap();
  ScheduleResult result;
  if (ParsePublishAddress(body, &result)) {
    const int port = std::stoi(result.RtmpPort);
    if (port < 1 || port > 65535 || !IsPlainHost(result.IP)) __builtin_trap();
  }
  return 0;
}
