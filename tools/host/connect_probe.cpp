#include "connect_probe.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

constexpr const char* kDefaultPort = "1935";

struct HostPort {
  std::string host;
  std::string port;
};

HostPort SplitServer(const std::string& server) {
  const size_t scheme = server.find("://");
  std::string rest = scheme == std::string::npos ? server : server.substr(scheme + 3);
  HostPort result;
  if (!rest.empty() && rest[0] == '[') {
    const size_t close = rest.find(']');
    result.host = rest.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    if (close != std::string::npos && close + 1 < rest.size() && rest[close + 1] == ':')
      result.port = rest.substr(close + 2);
  } else {
    const size_t colon = rest.rfind(':');
    result.host = rest.substr(0, colon);
    if (colon != std::string::npos) result.port = rest.substr(colon + 1);
  }
  if (result.port.empty()) result.port = kDefaultPort;
  return result;
}

std::string Lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The error of one non-blocking connect within timeoutMs; 0 when connected.
int TryConnect(const addrinfo& address, int timeoutMs) {
  const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
  if (fd < 0) return errno;
  int error = 0;
  if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
    error = errno;
    if (error == EINPROGRESS) {
      pollfd waiting{fd, POLLOUT, 0};
      int ready = -1;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
      do {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        ready = ::poll(&waiting, 1, static_cast<int>(left.count() > 0 ? left.count() : 0));
      } while (ready < 0 && errno == EINTR);
      socklen_t length = sizeof error;
      if (ready == 0) {
        error = ETIMEDOUT;
      } else if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
      }
    }
  }
  ::close(fd);
  return error;
}

}  // namespace

std::string ServerHostPort(const std::string& server) {
  const HostPort split = SplitServer(server);
  const bool v6 = split.host.find(':') != std::string::npos;
  return (v6 ? "[" + split.host + "]" : split.host) + ":" + split.port;
}

std::string WhyUnreachable(const std::string& server, int timeoutMs) {
  const HostPort split = SplitServer(server);
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int resolved = ::getaddrinfo(split.host.c_str(), split.port.c_str(), &hints, &found);
  if (resolved != 0 || !found) return "cannot resolve " + split.host + " (" + Lowercase(gai_strerror(resolved)) + ")";
  const int error = TryConnect(*found, timeoutMs);
  ::freeaddrinfo(found);
  if (error == 0) return {};
  if (error == ETIMEDOUT) {
    return "no answer within " +
           (timeoutMs % 1000 == 0 ? std::to_string(timeoutMs / 1000) + " s" : std::to_string(timeoutMs) + " ms");
  }
  return Lowercase(std::strerror(error));
}
