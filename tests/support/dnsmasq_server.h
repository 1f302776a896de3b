// dnsmasq as a real DNS server for the resolver's tests: runs in the
// foreground on a free loopback port in its own temp folder, reads no system
// files and forwards nothing; it answers only the names it is given.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_support {

class DnsmasqServer {
 public:
  DnsmasqServer() = default;
  ~DnsmasqServer() { Stop(); }
  DnsmasqServer(const DnsmasqServer&) = delete;
  DnsmasqServer& operator=(const DnsmasqServer&) = delete;

  // names: name -> dotted address. False (see error()) when it did not come up.
  bool Start(const std::vector<std::pair<std::string, std::string>>& names);
  void Stop();
  int port() const { return m_port; }
  const std::string& error() const { return m_error; }

 private:
  TempDir m_dir{"strivon-dnsmasq"};
  ChildProcess m_process;
  int m_port = 0;
  std::string m_error;
};

}  // namespace test_support
