// The scheduling service's two replies and the second request, as pure
// functions: the replies are untrusted JSON from the network (tested and
// fuzzed on their own), the request text is compared byte for byte.
#pragma once
#include <string>
#include <vector>

#include "oldpublic/ServerPath.h"
#include "schedule/ScheduleResult.h"

// One candidate of reply 1; ports are decimal texts.
struct ScheduleServer {
  std::string IP;
  std::string RtmpPort;
  std::string TcpPort;
  std::string HttpPort;
};

// One timed candidate that connected.
struct TimedServer {
  std::string IP;
  std::string HttpPort;
  int pingMs = 0;
};

// Each candidate costs a probe thread; later ones in a longer list are left out.
inline constexpr size_t kMaxScheduleCandidates = 32;

// Reply 1: {"success": true, "Servers": {"Publish": [{"IP": text, "RtmpPort":
// n, "TcpPort": n, "HttpPort": n}, ...]}}. A body that is not such an object,
// holds a value of another type or an IP that is no plain host, or is longer
// than kMaxHttpReplyBytes, yields no candidates; at most
// kMaxScheduleCandidates are taken, in list order.
std::vector<ScheduleServer> ParseCandidates(const std::string& body);

// Reply 2: {"success": true, "addr": {"IP": text, "RtmpPort": n, "Mode":
// text, "ClientIP": text, "Time": n}}. True with *out filled only when the
// reply is well-typed, no longer than kMaxHttpReplyBytes, the port is
// 1..65535 and the IP is a plain host that can go into an RTMP URL.
bool ParsePublishAddress(const std::string& body, ScheduleResult* out);

// A host text that cannot change the meaning of the URL it is put into.
bool IsPlainHost(const std::string& host);

// The timings as the service reads them; empty for no entries.
std::string BuildListInfo(const std::vector<TimedServer>& servers);

// Blanks and double quotes percent-encoded, bell and line-feed bytes removed.
std::string EscapeUrl(const std::string& url);

// The second request: the first one's host, port and parameters (without
// its command) with the timings and the publish flag, escaped.
std::string BuildAddressRequest(const ServerPath& first, const std::string& listInfo, int mode);
