#include "tests/support/tls_server.h"

#include "tests/support/free_port.h"

namespace test_support {

bool TlsServer::Start() {
  const CommandResult made =
      RunCommand({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                  "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", m_dir.File("key.pem"), "-out",
                  CertificatePath()},
                 60000);
  if (made.exitCode != 0) {
    m_error = "no certificate: " + made.err;
    return false;
  }
  // Another test may take the port between the check and the bind: try again.
  for (int attempt = 0; attempt < 5; ++attempt) {
    m_port = FindFreeLoopbackPort();
    if (m_port == 0 || !m_process.Start({"openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(m_port),
                                         "-cert", CertificatePath(), "-key", m_dir.File("key.pem"), "-www", "-quiet"},
                                        m_dir.File("server.log")))
      continue;
    if (WaitForLoopbackPort(m_port, 10000)) return true;
    m_process.Stop(SIGTERM, 2000);
  }
  m_error = "openssl s_server did not start: " + ReadFileBytes(m_dir.File("server.log"));
  return false;
}

}  // namespace test_support
