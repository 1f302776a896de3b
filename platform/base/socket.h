// Socket basics over POSIX sockets. "No socket" is -1 (descriptor 0 is a
// valid socket when standard input is closed). Sends never raise SIGPIPE and
// interrupted calls are retried.
#pragma once
#include <cstddef>
#include <sys/types.h>

namespace platform {

using SocketHandle = int;
constexpr SocketHandle kNoSocket = -1;

// Sends all of len bytes unless the connection fails; returns bytes sent
// (len on success) or -1 when nothing could be sent.
ssize_t SendAll(SocketHandle s, const void* data, size_t len);
// Like SendAll, but never waits without end for a peer that stopped reading:
// fails with ETIMEDOUT once no byte has been accepted for stallTimeoutMs, or
// once totalTimeoutMs have passed (< 0: no total limit). Returns len, or -1
// with errno set. The descriptor may stay in blocking mode.
ssize_t SendAllBounded(SocketHandle s, const void* data, size_t len, int stallTimeoutMs, int totalTimeoutMs);
// One recv, retried on EINTR. 0 = peer closed, -1 = error.
ssize_t RecvSome(SocketHandle s, void* data, size_t len);
// Waits until s is readable; false on time-out or error. timeoutMs < 0 waits forever.
bool WaitReadable(SocketHandle s, int timeoutMs);
// Wakes blocked readers and writers of s without releasing the descriptor.
void ShutdownSocket(SocketHandle s);
// Closes s (if not kNoSocket) and sets it to kNoSocket.
void CloseSocket(SocketHandle& s);

}  // namespace platform
