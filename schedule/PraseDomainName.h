// IPraseDomainName over a connected UDP socket: only datagrams from the
// asked server reach it, and the query id comes from the system's random
// source, so a guessing third party cannot slip in an answer.
#pragma once
#include "schedule/IPraseDomainName.h"

class PraseDomainName : public IPraseDomainName {
 public:
  PraseDomainName() = default;
  void SetDnsServer(const std::string& server) override { m_server = server; }
  void SetDnsPort(uint16_t port) override { m_port = port; }
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
};
