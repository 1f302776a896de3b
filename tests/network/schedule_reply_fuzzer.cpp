// Arbitrary bodies through both readers of the scheduling service's replies,
// kept first as the HTTP client keeps them: in pieces, refused past the cap.
// An accepted address must be safe to put into an RTMP URL, a candidate list
// stays within its bound, and the same reply grown past the cap (as an
// endless reply looks) is refused while it arrives and by both readers.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "oldpublic/CappedBody.h"
#include "schedule/ScheduleReplies.h"

namespace {

void CheckReaders(const std::string& body) {
  const std::vector<ScheduleServer> servers = ParseCandidates(body);
  if (servers.size() > kMaxScheduleCandidates) __builtin_trap();
  for (const ScheduleServer& s : servers)
    if (s.RtmpPort.empty() || s.TcpPort.empty() || s.HttpPort.empty() || !IsPlainHost(s.IP)) __builtin_trap();
  ScheduleResult result;
  if (ParsePublishAddress(body, &result)) {
    const int port = std::stoi(result.RtmpPort);
    if (port < 1 || port > 65535 || !IsPlainHost(result.IP)) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const size_t piece = 1 + (size > 0 ? data[0] : 0) * 37u;
  CappedBody received;
  for (size_t at = 0; at < size; at += piece) received.Append(text + at, std::min(piece, size - at));
  if (received.overCap() != (size > kMaxHttpReplyBytes) || received.bytes().size() > kMaxHttpReplyBytes)
    __builtin_trap();
  CheckReaders(received.bytes());

  // Growing a reply past the cap costs a megabyte; one input in 32 pays it,
  // so the readers still see tens of thousands of inputs a second.
  if (size % 32 != 0) return 0;
  static const std::string blanks(64u << 10, ' ');
  size_t offered = size;
  while (received.Append(blanks.data(), blanks.size())) offered += blanks.size();
  if (!received.overCap() || received.bytes().size() > kMaxHttpReplyBytes || offered > kMaxHttpReplyBytes)
    __builtin_trap();
  std::string grown(text, size);
  grown.resize(std::max(size, kMaxHttpReplyBytes + 1), ' ');
  ScheduleResult result;
  if (!ParseCandidates(grown).empty() || ParsePublishAddress(grown, &result)) __builtin_trap();
  return 0;
}
