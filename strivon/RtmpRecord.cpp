#include "strivon/RtmpRecord.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/base/tick.h"

namespace {

void Put24(std::vector<uint8_t>* out, uint32_t v) {
  out->push_back(static_cast<uint8_t>(v >> 16));
  out->push_back(static_cast<uint8_t>(v >> 8));
  out->push_back(static_cast<uint8_t>(v));
}

void Put32(std::vector<uint8_t>* out, uint32_t v) {
  out->push_back(static_cast<uint8_t>(v >> 24));
  Put24(out, v);
}

void PutDouble(std::vector<uint8_t>* out, double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  for (int shift = 56; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(bits >> shift));
}

void PutName(std::vector<uint8_t>* out, const char* name) {
  const size_t length = std::strlen(name);
  out->push_back(static_cast<uint8_t>(length >> 8));
  out->push_back(static_cast<uint8_t>(length));
  out->insert(out->end(), name, name + length);
}

// FLV header, PreviousTagSize0, the script tag and its PreviousTagSize:
// 124 bytes. "onMetaData" gives the duration (filled in at completion), the
// video codec and the picture size, without which FLV checkers call the file
// faulty. The duration keeps its place from the files of two properties.
constexpr long kDurationOffset = 53;
constexpr uint32_t kScriptDataSize = 96;
constexpr uint32_t kTagHeaderSize = 11;

std::vector<uint8_t> HeaderBytes(int width, int height) {
  std::vector<uint8_t> out{'F', 'L', 'V', 1, 5};
  Put32(&out, 9);
  Put32(&out, 0);
  out.push_back(18);
  Put24(&out, kScriptDataSize);
  Put32(&out, 0);  // time stamp and its extension
  Put24(&out, 0);  // stream id
  out.push_back(2);
  PutName(&out, "onMetaData");
  out.push_back(8);
  Put32(&out, 4);
  PutName(&out, "duration");
  out.push_back(0);
  PutDouble(&out, 0.0);  // unknown until the recording ends
  PutName(&out, "videocodecid");
  out.push_back(0);
  PutDouble(&out, 7.0);
  PutName(&out, "width");
  out.push_back(0);
  PutDouble(&out, width);
  PutName(&out, "height");
  out.push_back(0);
  PutDouble(&out, height);
  out.insert(out.end(), {0, 0, 9});
  Put32(&out, kTagHeaderSize + kScriptDataSize);
  return out;
}

// One write for all of it: on an unbuffered stream nothing is left behind
// in a buffer to go out later at the wrong place.
bool WriteWhole(FILE* file, const std::vector<uint8_t>& bytes) {
  errno = 0;
  return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

}  // namespace

RtmpRecord::RtmpRecord(std::function<uint32_t()> clock) : m_clock(std::move(clock)) {}

RtmpRecord::~RtmpRecord() { Close(); }

uint32_t RtmpRecord::Now() const { return m_clock ? m_clock() : platform::TickCount(); }

bool RtmpRecord::SetRecordedFilePath(const char* path) {
  if (!path) return false;
  Close();  // the previous recording is completed first
  m_path = path;
  m_durationPosition = 0;
  m_completeSize = 0;
  m_writeError = 0;
  m_basePending = true;
  m_shift = 0;
  m_newTimeLine = false;
  m_haveWritten = false;
  m_lastWritten = m_lastAudio = m_lastVideo = m_firstAudio = m_firstVideo = 0;
  m_hasAudio = m_hasVideo = false;
  m_file = std::fopen(path, "wb");
  if (!m_file) return false;
  std::setvbuf(m_file, nullptr, _IONBF, 0);
  const std::vector<uint8_t> header = HeaderBytes(m_width, m_height);
  if (!WriteWhole(m_file, header)) {
    std::fclose(m_file);
    m_file = nullptr;
    return false;
  }
  m_durationPosition = kDurationOffset;
  m_completeSize = static_cast<long long>(header.size());
  return true;
}

void RtmpRecord::SetVideoSize(int width, int height) {
  m_width = std::max(width, 0);
  m_height = std::max(height, 0);
}

void RtmpRecord::StartNewTimeLine() { m_newTimeLine = true; }

uint32_t RtmpRecord::RelativeTime(double timeMs, bool isAudio) {
  const int64_t t = static_cast<int64_t>(timeMs);
  if (m_basePending) {
    // The first tag of the recording is time 0.
    m_shift = -t;
    m_basePending = false;
  } else if (m_newTimeLine) {
    // A new encoder counts from its own start: continue after the last tag,
    // with the time that really passed while the connection was down.
    const uint32_t pause = m_haveWritten ? std::max<uint32_t>(Now() - m_lastWriteWall, 1) : 0;
    m_shift = int64_t{m_lastWritten} + pause - t;
  }
  m_newTimeLine = false;
  int64_t relative = std::max<int64_t>(t + m_shift, 0);
  // Each stream's times never go back in the file.
  const uint32_t last = isAudio ? m_lastAudio : m_lastVideo;
  const bool seen = isAudio ? m_hasAudio : m_hasVideo;
  if (seen && relative < last) relative = last;
  return static_cast<uint32_t>(std::min<int64_t>(relative, UINT32_MAX));
}

bool RtmpRecord::SetMediaData(const unsigned char* body, int size, bool isAudio, double timeMs) {
  if (!m_file || !body || size <= 0 || size > 0xFFFFFF) return false;
  const uint32_t relative = RelativeTime(timeMs, isAudio);
  m_tag.clear();
  m_tag.push_back(isAudio ? 8 : 9);
  Put24(&m_tag, static_cast<uint32_t>(size));
  Put24(&m_tag, relative & 0xFFFFFF);
  m_tag.push_back(static_cast<uint8_t>(relative >> 24));
  Put24(&m_tag, 0);
  m_tag.insert(m_tag.end(), body, body + size);
  Put32(&m_tag, kTagHeaderSize + static_cast<uint32_t>(size));
  if (!WriteWhole(m_file, m_tag)) {
    EndAfterFailedWrite(errno != 0 ? errno : EIO);
    return false;
  }
  m_completeSize += static_cast<long long>(m_tag.size());
  if (isAudio) {
    if (!m_hasAudio) m_firstAudio = relative;
    m_hasAudio = true;
    m_lastAudio = relative;
  } else {
    if (!m_hasVideo) m_firstVideo = relative;
    m_hasVideo = true;
    m_lastVideo = relative;
  }
  m_lastWritten = std::max(m_lastWritten, relative);
  m_lastWriteWall = Now();
  m_haveWritten = true;
  return true;
}

void RtmpRecord::EndAfterFailedWrite(int error) {
  m_writeError = error;
  // Part of the tag may have reached the disk, which a reader takes for a
  // damaged last tag. When even the cut fails, the duration is still written.
  std::clearerr(m_file);
  const int cut = ::ftruncate(::fileno(m_file), static_cast<off_t>(m_completeSize));
  static_cast<void>(cut);
  Close();
}

double RtmpRecord::DurationSeconds() const {
  uint32_t first = 0;
  uint32_t last = 0;
  if (m_hasAudio && m_hasVideo) {
    first = std::min(m_firstAudio, m_firstVideo);
    last = std::max(m_lastAudio, m_lastVideo);
  } else if (m_hasAudio) {
    first = m_firstAudio;
    last = m_lastAudio;
  } else if (m_hasVideo) {
    first = m_firstVideo;
    last = m_lastVideo;
  }
  return static_cast<double>(last >= first ? last - first : 0) / 1000.0;
}

bool RtmpRecord::Close() {
  if (!m_file) return true;
  bool ok = true;
  if (m_durationPosition != 0) {
    // A file that cannot seek back keeps the placeholder: its duration was
    // not written, which is a failure like any other write.
    std::vector<uint8_t> duration;
    PutDouble(&duration, DurationSeconds());
    ok = std::fseek(m_file, m_durationPosition, SEEK_SET) == 0 && WriteWhole(m_file, duration);
  }
  if (std::fclose(m_file) != 0) ok = false;
  m_file = nullptr;
  return ok;
}
