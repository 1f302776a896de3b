#include "tests/support/fake_rtmp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <algorithm>
#include <cstring>

namespace test_support {
namespace {

uint32_t Get24(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2]; }

bool WaitIn(int fd, int timeoutMs) {
  pollfd pfd{fd, POLLIN, 0};
  for (;;) {
    const int r = ::poll(&pfd, 1, timeoutMs);
    if (r < 0 && errno == EINTR) continue;
    return r > 0;
  }
}

}  // namespace

std::string Be32(uint32_t v) {
  std::string s(4, '\0');
  s[0] = static_cast<char>(v >> 24);
  s[1] = static_cast<char>(v >> 16);
  s[2] = static_cast<char>(v >> 8);
  s[3] = static_cast<char>(v);
  return s;
}

std::string Be16(uint16_t v) { return std::string{static_cast<char>(v >> 8), static_cast<char>(v)}; }

namespace amf0 {
std::string String(const std::string& value) { return std::string(1, '\x02') + Be16(static_cast<uint16_t>(value.size())) + value; }
std::string Number(double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof(bits));
  std::string s(1, '\x00');
  for (int i = 7; i >= 0; --i) s.push_back(static_cast<char>(bits >> (i * 8)));
  return s;
}
std::string Boolean(bool value) { return std::string{'\x01', static_cast<char>(value ? 1 : 0)}; }
std::string Null() { return std::string(1, '\x05'); }
std::string Object(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string s(1, '\x03');
  for (const auto& [name, value] : members) s += Be16(static_cast<uint16_t>(name.size())) + name + String(value);
  return s + std::string("\x00\x00\x09", 3);
}
std::string FirstString(const std::string& body) {
  if (body.size() < 3 || body[0] != '\x02') return {};
  const size_t length = static_cast<uint8_t>(body[1]) << 8 | static_cast<uint8_t>(body[2]);
  return body.size() < 3 + length ? std::string() : body.substr(3, length);
}
}  // namespace amf0

std::string RtmpChunks(int chunkStreamId, uint8_t type, uint32_t timestamp, uint32_t messageStreamId,
                       const std::string& body, uint32_t chunkSize) {
  std::string out;
  out.push_back(static_cast<char>(chunkStreamId & 0x3f));
  const bool extended = timestamp >= 0xFFFFFF;
  out += Be32(extended ? 0xFFFFFF : timestamp).substr(1);
  out += Be32(static_cast<uint32_t>(body.size())).substr(1);
  out.push_back(static_cast<char>(type));
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(messageStreamId >> (8 * i)));
  if (extended) out += Be32(timestamp);
  size_t sent = 0;
  do {
    const size_t piece = std::min<size_t>(body.size() - sent, chunkSize);
    if (sent > 0) {
      out.push_back(static_cast<char>(0xC0 | (chunkStreamId & 0x3f)));
      // As nginx-rtmp and FFmpeg write it: the extended value follows every
      // continuation header too.
      if (extended) out += Be32(timestamp);
    }
    out += body.substr(sent, piece);
    sent += piece;
  } while (sent < body.size());
  return out;
}

std::string RtmpCommand(const std::string& name, double transaction, const std::string& arguments,
                        uint32_t messageStreamId) {
  return RtmpChunks(3, 20, 0, messageStreamId, amf0::String(name) + amf0::Number(transaction) + amf0::Null() + arguments);
}

std::string RtmpOnStatus(const std::string& code, const std::string& level, uint32_t messageStreamId) {
  return RtmpChunks(5, 20, 0, messageStreamId,
                    amf0::String("onStatus") + amf0::Number(0) + amf0::Null() +
                        amf0::Object({{"level", level}, {"code", code}, {"description", "scripted"}}));
}

FakeRtmpServer::FakeRtmpServer() {
  m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listen < 0) return;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof(addr);
  if (::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(m_listen, 4) != 0 ||
      ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(m_listen);
    m_listen = -1;
    return;
  }
  m_port = ntohs(addr.sin_port);
}

FakeRtmpServer::~FakeRtmpServer() {
  CloseClient();
  if (m_listen >= 0) ::close(m_listen);
}

std::string FakeRtmpServer::Url(const std::string& app, const std::string& stream) const {
  return "rtmp://127.0.0.1:" + std::to_string(m_port) + "/" + app + "/" + stream;
}

bool FakeRtmpServer::Accept(int timeoutMs) {
  if (m_listen < 0 || !WaitIn(m_listen, timeoutMs)) return false;
  m_client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
  return m_client >= 0;
}

void FakeRtmpServer::CloseClient() {
  if (m_client >= 0) ::close(m_client);
  m_client = -1;
}

bool FakeRtmpServer::ReadExact(size_t n, std::string* out, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (m_buffer.size() < n) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (m_client < 0 || left.count() <= 0 || !WaitIn(m_client, static_cast<int>(left.count()))) return false;
    char chunk[65536];
    const ssize_t got = ::recv(m_client, chunk, sizeof(chunk), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    m_buffer.append(chunk, static_cast<size_t>(got));
  }
  *out = m_buffer.substr(0, n);
  m_buffer.erase(0, n);
  return true;
}

bool FakeRtmpServer::Send(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(m_client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool FakeRtmpServer::NothingArrives(int timeoutMs) {
  if (!m_buffer.empty()) return false;
  return !WaitIn(m_client, timeoutMs);
}

bool FakeRtmpServer::ClientClosed(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !WaitIn(m_client, static_cast<int>(left.count()))) return false;
    char chunk[65536];
    const ssize_t got = ::recv(m_client, chunk, sizeof(chunk), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return true;
    m_buffer.append(chunk, static_cast<size_t>(got));
  }
}

bool FakeRtmpServer::Handshake(bool corruptS2, std::string* c1Out, int timeoutMs) {
  std::string c0c1;
  if (!ReadExact(1537, &c0c1, timeoutMs) || c0c1[0] != '\x03') return false;
  const std::string c1 = c0c1.substr(1);
  if (c1Out) *c1Out = c1;
  std::string s1(1536, '\0');
  for (size_t i = 8; i < s1.size(); ++i) s1[i] = static_cast<char>(i * 7);
  std::string s2 = c1;
  if (corruptS2) {
    for (char& c : s2) c = static_cast<char>(~c);
  }
  if (!Send(std::string(1, '\x03') + s1 + s2)) return false;
  std::string c2;
  return ReadExact(1536, &c2, timeoutMs) && c2 == s1;
}

bool FakeRtmpServer::ReadMessage(FakeRtmpMessage* message, int timeoutMs) {
  for (;;) {
    std::string first;
    if (!ReadExact(1, &first, timeoutMs)) return false;
    std::string raw = first;
    const uint8_t format = static_cast<uint8_t>(first[0]) >> 6;
    int id = first[0] & 0x3f;
    std::string extra;
    if (id == 0) {
      if (!ReadExact(1, &extra, timeoutMs)) return false;
      id = 64 + static_cast<uint8_t>(extra[0]);
    } else if (id == 1) {
      if (!ReadExact(2, &extra, timeoutMs)) return false;
      id = 64 + static_cast<uint8_t>(extra[0]) + 256 * static_cast<uint8_t>(extra[1]);
    }
    raw += extra;
    static constexpr size_t kSizes[4] = {11, 7, 3, 0};
    std::string header;
    if (kSizes[format] > 0 && !ReadExact(kSizes[format], &header, timeoutMs)) return false;
    raw += header;
    StreamState& s = m_streams[id];
    const auto* h = reinterpret_cast<const uint8_t*>(header.data());
    const bool newMessage = s.partial.empty() && s.headers.empty();
    uint32_t field = 0;
    if (format <= 2) {
      field = Get24(h);
      s.extended = field == 0xFFFFFF;
    }
    // After an extended header, 1-byte headers carry the value again.
    if (s.extended) {
      std::string ext;
      if (!ReadExact(4, &ext, timeoutMs)) return false;
      raw += ext;
      const auto* e = reinterpret_cast<const uint8_t*>(ext.data());
      field = static_cast<uint32_t>(e[0]) << 24 | Get24(e + 1);
    }
    if (format <= 1) {
      s.length = Get24(h + 3);
      s.type = h[6];
    }
    if (format == 0) s.messageStreamId = static_cast<uint32_t>(h[7] | h[8] << 8 | h[9] << 16 | h[10] << 24);
    if (newMessage) {
      s.ambiguous = false;
      if (format == 0) {
        s.timestamp = field;
        s.deltaValid = false;
      } else if (format <= 2) {
        s.delta = field;
        s.deltaValid = true;
        s.timestamp += field;
      } else {
        s.ambiguous = !s.deltaValid;
        s.timestamp += s.delta;
      }
    }
    s.headers.push_back(raw);
    std::string piece;
    const size_t want = std::min<size_t>(s.length - s.partial.size(), m_inChunkSize);
    if (want > 0 && !ReadExact(want, &piece, timeoutMs)) return false;
    s.partial += piece;
    if (s.partial.size() < s.length) continue;
    message->chunkStreamId = id;
    message->type = s.type;
    message->timestamp = s.timestamp;
    message->messageStreamId = s.messageStreamId;
    message->body = std::move(s.partial);
    message->chunkHeaders = std::move(s.headers);
    message->ambiguousDelta = s.ambiguous;
    s.partial.clear();
    s.headers.clear();
    if (message->type == 1 && message->body.size() >= 4) {
      const auto* b = reinterpret_cast<const uint8_t*>(message->body.data());
      m_inChunkSize = static_cast<uint32_t>(b[0]) << 24 | Get24(b + 1);
    }
    return true;
  }
}

bool FakeRtmpServer::ReadCommand(FakeRtmpMessage* message, std::string* method, int timeoutMs) {
  for (;;) {
    if (!ReadMessage(message, timeoutMs)) return false;
    if (message->type != 20) continue;
    *method = amf0::FirstString(message->body);
    return true;
  }
}

}  // namespace test_support
