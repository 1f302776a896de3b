// IPraseDomainName over a connected UDP socket: only datagrams from the
// asked server reach it, the query id comes from the system's random source,
// and only a reply that answers the question asked counts, so neither a
// guessing third party nor a stray datagram can slip in an answer. The wait
// runs in short steps so that a stop flag ends it at once.
#pragma once
#include "schedule/IPraseDomainName.h"

class PraseDomainName : public IPraseDomainName {
 public:
  PraseDomainName() = default;
  void SetDnsServer(const std::string& server) override { m_server = server; }
  void SetDnsPort(uint16_t port) override { m_port = port; }
  void SetStopFlag(const std::atomic<bool>* stop) override { m_stop = stop; }
  bool Prase(const std::string& domain, DnsResult* out, std::string* err, int timeoutMs) override;
  bool PraseWithServer(const std::string& domain, const std::string& server, DnsResult* out, std::string* err,
                       int timeoutMs) override;
  void Release() override { delete this; }

 private:
  bool Query(std::string* err, int timeoutMs);

  DnsResult m_result;
  std::string m_server;
  std::string m_domain;
  uint16_t m_port = 53;
  const std::atomic<bool>* m_stop = nullptr;
};
