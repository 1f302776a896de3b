#include "tests/support/flv_arrivals.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace test_support {

namespace {

uint32_t Be24(const uint8_t* p) { return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]; }
uint32_t Be32(const uint8_t* p) { return uint32_t{p[0]} << 24 | Be24(p + 1); }

// The FLV header and the first PreviousTagSize.
constexpr size_t kFileHeaderBytes = 13;
constexpr size_t kTagHeaderBytes = 11;
constexpr size_t kMaxTagBytes = 16 * 1024 * 1024;

}  // namespace

bool FlvArrivalWatcher::Start(const std::string& path, Clock::time_point origin) {
  if (m_thread.joinable()) return false;
  m_path = path;
  m_origin = origin;
  m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (m_inotify < 0) return false;
  m_stop = false;
  m_thread = std::thread([this] { Run(); });
  return true;
}

void FlvArrivalWatcher::Stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  if (m_inotify >= 0) close(m_inotify);
  m_inotify = -1;
}

std::vector<FlvTagArrival> FlvArrivalWatcher::Tags() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_tags;
}

std::string FlvArrivalWatcher::Error() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_error;
}

void FlvArrivalWatcher::Run() {
  int fd = -1;
  while (!m_stop) {
    if (fd < 0) {
      fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
      // Not there yet: looked for again at the next time-out.
      if (fd >= 0 && inotify_add_watch(m_inotify, m_path.c_str(), IN_MODIFY) < 0) {
        close(fd);
        fd = -1;
      }
    }
    if (fd >= 0) ReadNew(fd);
    pollfd pfd{m_inotify, POLLIN, 0};
    if (poll(&pfd, 1, 20) > 0) {
      char events[4096];
      while (read(m_inotify, events, sizeof events) > 0) {
      }
    }
  }
  if (fd >= 0) {
    ReadNew(fd);
    close(fd);
  }
}

void FlvArrivalWatcher::ReadNew(int fd) {
  if (m_failed) return;
  char buffer[65536];
  ssize_t n = 0;
  bool grew = false;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) {
    m_pending.append(buffer, static_cast<size_t>(n));
    grew = true;
  }
  if (!grew) return;
  const double now = std::chrono::duration<double, std::milli>(Clock::now() - m_origin).count();
  const auto* bytes = reinterpret_cast<const uint8_t*>(m_pending.data());
  size_t at = 0;
  std::vector<FlvTagArrival> found;
  std::string error;
  if (!m_headerDone) {
    if (m_pending.size() < kFileHeaderBytes) return;
    if (m_pending.compare(0, 3, "FLV") != 0) error = "not an FLV file";
    at = kFileHeaderBytes;
    m_headerDone = true;
  }
  while (error.empty() && m_pending.size() - at >= kTagHeaderBytes) {
    const uint8_t* tag = bytes + at;
    const uint32_t size = Be24(tag + 1);
    if (size > kMaxTagBytes) {
      error = "a tag of " + std::to_string(size) + " bytes";
      break;
    }
    if (m_pending.size() - at < kTagHeaderBytes + size + 4) break;
    FlvTagArrival arrival;
    arrival.type = tag[0] & 0x1f;
    arrival.stampMs = static_cast<long long>(Be24(tag + 4) | uint32_t{tag[7]} << 24);
    arrival.arrivedMs = now;
    const uint8_t* body = tag + kTagHeaderBytes;
    // AVC (codec 7) and AAC (format 10) say in their second byte whether
    // the tag is a sequence header (0) or media.
    if (size >= 2 && ((arrival.type == 9 && (body[0] & 0x0f) == 7) || (arrival.type == 8 && body[0] >> 4 == 10)))
      arrival.codecConfig = body[1] == 0;
    if (Be32(body + size) != kTagHeaderBytes + size) {
      error = "a tag whose trailing size does not match";
      break;
    }
    found.push_back(arrival);
    at += kTagHeaderBytes + size + 4;
  }
  m_pending.erase(0, at);
  m_failed = !error.empty();
  std::lock_guard<std::mutex> lock(m_lock);
  m_tags.insert(m_tags.end(), found.begin(), found.end());
  if (m_error.empty()) m_error = error;
}

}  // namespace test_support
