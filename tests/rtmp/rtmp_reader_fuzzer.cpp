// libFuzzer target: arbitrary server bytes through the RTMP client's chunk
// reader and message dispatcher, with the command sequence's pending calls in
// place so replies reach the code that acts on them.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "RtmpLib/jni/Rtmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return 0;
  // Room for the whole input and for everything the client answers.
  int buffer = 4 << 20;
  ::setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof(buffer));
  ::setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof(buffer));
  size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(pair[1], data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  ::shutdown(pair[1], SHUT_WR);
  {
    std::unique_ptr<CRtmp> client(new CRtmp(nullptr));
    client->AdoptSocketForTest(pair[0]);
    client->ExpectResultForTest("connect", 1);
    client->ExpectResultForTest("createStream", 4);
    client->ExpectResultForTest("publish", 5);
    client->ReadAndDispatchForTest();
  }
  ::close(pair[1]);
  return 0;
}
