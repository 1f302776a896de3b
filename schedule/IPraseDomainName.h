// The library's own DNS client: one A-record query over UDP to a given DNS
// server. The TCP ping and the HTTP client's retry reach it through
// IWinsockEx; callers make a new one per lookup and end it with Release.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct DnsResult {
  std::string domain;
  std::vector<std::string> addresses;  // dotted, in answer order
};

class IPraseDomainName {
 public:
  virtual ~IPraseDomainName() = default;
  // A dotted IPv4 address.
  virtual void SetDnsServer(const std::string& server) = 0;
  // Queries the stored server. *err is empty on success; *out receives this
  // object's last successful result (empty for a new object) either way.
  // timeoutMs > 0 bounds the send and the wait for the reply. Datagrams that
  // are not the reply to this query are dropped and the wait goes on.
  virtual bool Prase(const std::string& domain, DnsResult* out, std::string* err, int timeoutMs) = 0;
  virtual bool PraseWithServer(const std::string& domain, const std::string& server, DnsResult* out, std::string* err,
                               int timeoutMs) = 0;
  virtual void Release() = 0;
  // The server's UDP port (53 unless set).
  virtual void SetDnsPort(uint16_t port) = 0;
  // While *stop is set, a query waiting for its reply gives up within a few
  // milliseconds ("stopped"). Not owned; null (the default) never stops.
  virtual void SetStopFlag(const std::atomic<bool>* stop) = 0;
};

// Null when the object cannot be made.
IPraseDomainName* CreatePraseDomainName();
