// IWinsockEx over PraseDomainName: the returned record lives in the object.
#pragma once
#include <netinet/in.h>

#include <array>

#include "schedule/DnsMessage.h"
#include "schedule/IWinsockEx.h"

class CWinsockEx : public IWinsockEx {
 public:
  CWinsockEx();
  hostent* GetHostByName(const char* host, int timeoutMs) override;
  void Release() override { delete this; }
  void SetDnsServers(const std::string& primary, const std::string& secondary, uint16_t port) override;
  void SetStopFlag(const std::atomic<bool>* stop) override { m_stop = stop; }

 private:
  bool Resolve(const std::string& server, int timeoutMs);

  std::string m_primary;
  std::string m_secondary;
  uint16_t m_port = 53;
  const std::atomic<bool>* m_stop = nullptr;
  std::array<in_addr, dns::kMaxAddresses> m_addresses{};
  size_t m_addressCount = 0;
  std::string m_name;
  hostent m_host{};
  char* m_aliases[1] = {nullptr};
  char* m_addressList[2] = {nullptr, nullptr};
};
