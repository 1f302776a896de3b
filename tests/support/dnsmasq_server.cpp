#include "tests/support/dnsmasq_server.h"

#include <signal.h>

#include "tests/support/free_port.h"

namespace test_support {

bool DnsmasqServer::Start(const std::vector<std::pair<std::string, std::string>>& names) {
  m_port = FindFreeLoopbackPort();
  if (m_port == 0 || m_dir.path().empty()) {
    m_error = "no port or folder";
    return false;
  }
  std::vector<std::string> argv = {"dnsmasq", "--keep-in-foreground", "--conf-file=/dev/null", "--no-resolv",
                                   "--no-hosts", "--no-poll", "--bind-interfaces", "--listen-address=127.0.0.1",
                                   "--port=" + std::to_string(m_port), "--pid-file=" + m_dir.File("dnsmasq.pid"),
                                   "--dhcp-leasefile=" + m_dir.File("leases"), "--log-facility=-"};
  // Stay as the user that started it: a private namespace refuses the
  // group change dnsmasq would otherwise make.
  argv.push_back("--user=");
  argv.push_back("--group=");
  for (const auto& n : names) argv.push_back("--address=/" + n.first + "/" + n.second);
  if (!m_process.Start(argv, m_dir.File("dnsmasq.log"))) {
    m_error = "dnsmasq did not start";
    return false;
  }
  // It answers on TCP too, so an open TCP port means it is ready.
  if (!WaitForLoopbackPort(m_port, 10000)) {
    m_error = "dnsmasq did not listen: " + ReadFileBytes(m_dir.File("dnsmasq.log"));
    Stop();
    return false;
  }
  return true;
}

void DnsmasqServer::Stop() { m_process.Stop(SIGTERM, 3000); }

}  // namespace test_support
