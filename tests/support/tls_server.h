// An https peer for tests: openssl s_server on a free loopback port with a
// throwaway self-signed certificate for 127.0.0.1, made when it starts. It
// answers every request with its status page (a body holding "s_server").
// A client trusts it by taking CertificatePath() as its authority.
#pragma once
#include <csignal>
#include <string>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_support {

class TlsServer {
 public:
  TlsServer() = default;
  ~TlsServer() { m_process.Stop(SIGTERM, 2000); }
  TlsServer(const TlsServer&) = delete;
  TlsServer& operator=(const TlsServer&) = delete;

  bool Start();
  int port() const { return m_port; }
  std::string CertificatePath() const { return m_dir.File("cert.pem"); }
  const std::string& error() const { return m_error; }

 private:
  TempDir m_dir{"tls-server"};
  ChildProcess m_process;
  int m_port = 0;
  std::string m_error;
};

}  // namespace test_support
