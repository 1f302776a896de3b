#include "schedule/DnsServers.h"

#include <mutex>

namespace {

std::mutex g_lock;
DnsServerSet g_servers{"8.8.8.8", "8.8.4.4", 53};

}  // namespace

DnsServerSet DefaultDnsServers() {
  std::lock_guard<std::mutex> lock(g_lock);
  return g_servers;
}

void SetDefaultDnsServers(const DnsServerSet& servers) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_servers = servers;
}
