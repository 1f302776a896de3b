// Which DNS servers the library's resolver (CWinsockEx) asks when its caller
// does not say: two public resolvers unless the process sets others, as the
// tests do with their own servers on loopback.
#pragma once
#include <cstdint>
#include <string>

struct DnsServerSet {
  std::string primary;
  std::string secondary;
  uint16_t port = 53;
};

DnsServerSet DefaultDnsServers();
// Applies to resolvers made from now on. Process-wide.
void SetDefaultDnsServers(const DnsServerSet& servers);
