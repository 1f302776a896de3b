#include "schedule/WinsockEx.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <new>

#include "schedule/DnsServers.h"
#include "schedule/IPraseDomainName.h"

IWinsockEx* CreateWinsockEx() { return new (std::nothrow) CWinsockEx(); }

CWinsockEx::CWinsockEx() {
  const DnsServerSet servers = DefaultDnsServers();
  SetDnsServers(servers.primary, servers.secondary, servers.port);
}

void CWinsockEx::SetDnsServers(const std::string& primary, const std::string& secondary, uint16_t port) {
  m_primary = primary;
  m_secondary = secondary;
  m_port = port;
}

bool CWinsockEx::Resolve(const std::string& server, int timeoutMs) {
  IPraseDomainName* resolver = CreatePraseDomainName();
  if (!resolver) return false;
  resolver->SetDnsPort(m_port);
  resolver->SetStopFlag(m_stop);
  DnsResult result;
  std::string error;
  bool ok = resolver->PraseWithServer(m_name, server, &result, &error, timeoutMs);
  resolver->Release();
  if (!ok) return false;
  m_addressCount = 0;
  for (const std::string& text : result.addresses) {
    if (m_addressCount == m_addresses.size()) break;
    if (inet_pton(AF_INET, text.c_str(), &m_addresses[m_addressCount]) == 1) ++m_addressCount;
  }
  return m_addressCount > 0;
}

hostent* CWinsockEx::GetHostByName(const char* host, int timeoutMs) {
  if (!host) return nullptr;
  m_addressCount = 0;
  m_name = host;
  m_host = hostent{};
  m_host.h_name = m_name.data();
  m_host.h_aliases = m_aliases;
  m_host.h_addrtype = AF_INET;
  m_host.h_length = 4;
  m_host.h_addr_list = m_addressList;
  m_addressList[0] = nullptr;
  if (!Resolve(m_primary, timeoutMs)) {
    // A stopped lookup asks nobody else.
    if ((m_stop && m_stop->load()) || !Resolve(m_secondary, timeoutMs)) return nullptr;
  }
  m_addressList[0] = reinterpret_cast<char*>(&m_addresses[0]);
  return &m_host;
}
