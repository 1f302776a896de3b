// Where a publish run goes: the publish URL, application and stream names
// and key as the host set them, turned into a route (scheduled or direct), a
// transport and the URL the connection step uses. Kept by the manager under
// its parameter lock and read by the run's scheduling and connect steps.
#pragma once
#include "common/PercentEncode.h"
#include <cstdint>
#include <map>
#include <string>
#include <utility>

inline constexpr int kRouteScheduled = 1;
inline constexpr int kRouteDirect = 2;
inline constexpr int kTransportTcp = 1;
inline constexpr int kTransportUdp = 2;

struct PublishTarget {
  std::string storedUrl;
  std::string app;
  std::string stream;
  std::string key;
  std::string protocolWord;
  int route = kRouteScheduled;
  int transport = kTransportUdp;
};

// The protocol words the publish URL may start with and their
// {route, transport}.
const std::map<std::string, std::pair<int, int>>& PublishProtocolMap();

// Null arguments count as empty texts. See the implementation for the rules.
void ApplyPublishUrl(PublishTarget* target, const char* url, const char* app, const char* stream);

// Percent-encodes every byte outside the URL's unreserved set, so a name can
// sit in a query without ending it or starting another parameter.
inline std::string PercentEncode(const std::string& text) { return PercentEncode(text, "-._~"); }

// Where one connection attempt goes.
struct ConnectTarget {
  std::string serverAddress;  // the stored URL itself on the direct route
  std::string serverPort;
  bool forward = false;       // the scheduler asked for a plain address
  bool udp = false;
};

// The URL handed to the encoder's Connect. With a key, the application name
// carries "?k=<md5(key + t)>&t=<t>" (t = unixSeconds as a signed decimal),
// except on a forwarded address. Empty for an unknown route.
std::string BuildConnectUrl(const PublishTarget& target, const ConnectTarget& connect, int64_t unixSeconds);
