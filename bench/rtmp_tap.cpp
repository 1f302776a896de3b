#include "bench/rtmp_tap.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "bench/rtmp_message_splitter.h"

namespace {

constexpr uint8_t kVideoMessage = 9;
constexpr uint8_t kFlvVideoTag = 9;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void PutBe(std::string* out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

bool SendAll(int fd, const char* bytes, size_t count) {
  while (count > 0) {
    const ssize_t sent = ::send(fd, bytes, count, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes += sent;
    count -= static_cast<size_t>(sent);
  }
  return true;
}

int ConnectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

bool RtmpTap::Start(int serverPort, const std::string& flvPath) {
  m_serverPort = serverPort;
  m_flv = std::fopen(flvPath.c_str(), "wb");
  if (!m_flv) return false;
  // FLV header (video only) and the first, empty previous-tag size.
  static const char kHeader[] = {'F', 'L', 'V', 1, 1, 0, 0, 0, 9, 0, 0, 0, 0};
  std::fwrite(kHeader, 1, sizeof(kHeader), m_flv);

  m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listen < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(m_listen, 1) != 0 ||
      ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return false;
  }
  m_port = ntohs(address.sin_port);
  m_thread = std::thread(&RtmpTap::Run, this);
  return true;
}

void RtmpTap::Stop() {
  m_stopping = true;
  if (m_thread.joinable()) m_thread.join();
  if (m_listen >= 0) ::close(m_listen);
  m_listen = -1;
  if (m_flv) std::fclose(m_flv);
  m_flv = nullptr;
}

std::vector<TappedPicture> RtmpTap::Pictures() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_pictures;
}

void RtmpTap::Run() {
  pollfd waiting{m_listen, POLLIN, 0};
  while (!m_stopping) {
    const int ready = ::poll(&waiting, 1, 50);
    if (ready <= 0) continue;
    const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    const int server = ConnectLoopback(m_serverPort);
    if (server >= 0) {
      const int on = 1;
      ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
      ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
      Relay(client, server);
      ::close(server);
    }
    ::close(client);
    return;
  }
}

void RtmpTap::Relay(int client, int server) {
  RtmpMessageSplitter splitter([this](const RtmpWatchedMessage& message) {
    if (message.type == kVideoMessage) OnVideo(message.body, message.timestamp, NowNs());
  });
  pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
  char buffer[65536];
  while (!m_stopping) {
    const int ready = ::poll(fds, 2, 50);
    if (ready < 0 && errno != EINTR) return;
    if (ready <= 0) continue;
    for (int side = 0; side < 2; ++side) {
      if (!(fds[side].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t got = ::recv(fds[side].fd, buffer, sizeof(buffer), 0);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return;
      if (side == 0) {
        splitter.Feed(buffer, static_cast<size_t>(got));
        if (splitter.Broken()) m_broken = true;
      }
      if (!SendAll(fds[1 - side].fd, buffer, static_cast<size_t>(got))) return;
    }
  }
}

void RtmpTap::OnVideo(const std::string& body, uint32_t timestamp, int64_t nowNs) {
  // An AVC sequence header (packet type 0) carries no picture.
  const bool picture = body.size() > 5 && body[1] == 1;
  if (picture) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_pictures.push_back({nowNs, timestamp});
    if (m_firstPictureNs.load() < 0) m_firstPictureNs = nowNs;
  }
  if (!m_flv) return;
  const uint32_t stamp = picture ? m_flvTags++ * kFlvStepMs : (m_flvTags == 0 ? 0 : (m_flvTags - 1) * kFlvStepMs);
  std::string tag;
  tag.push_back(static_cast<char>(kFlvVideoTag));
  PutBe(&tag, static_cast<uint32_t>(body.size()), 3);
  PutBe(&tag, stamp & 0xffffff, 3);
  tag.push_back(static_cast<char>((stamp >> 24) & 0xff));
  PutBe(&tag, 0, 3);
  const size_t bodyAt = tag.size();
  tag += body;
  // The stamp is the decode order; a composition offset would move it.
  if (picture) tag.replace(bodyAt + 2, 3, 3, '\0');
  PutBe(&tag, static_cast<uint32_t>(body.size() + 11), 4);
  std::fwrite(tag.data(), 1, tag.size(), m_flv);
}
