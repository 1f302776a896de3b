#include "strivon/RtmpRecord.h"

#include <algorithm>
#include <cmath>
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

// FLV header, PreviousTagSize0 and the script tag: "onMetaData" with the
// duration (filled in at close) and the video codec. 91 bytes.
constexpr long kDurationOffset = 53;
constexpr uint32_t kScriptDataSize = 63;

std::vector<uint8_t> HeaderBytes() {
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
  Put32(&out, 2);
  PutName(&out, "duration");
  out.push_back(0);
  PutDouble(&out, 0.0);  // unknown until the recording ends
  PutName(&out, "videocodecid");
  out.push_back(0);
  PutDouble(&out, 7.0);
  out.insert(out.end(), {0, 0, 9});
  return out;
}

}  // namespace

RtmpRecord::RtmpRecord(std::function<uint32_t()> clock) : m_clock(std::move(clock)) {}

RtmpRecord::~RtmpRecord() { Close(); }

uint32_t RtmpRecord::Now() const { return m_clock ? m_clock() : platform::TickCount(); }

bool RtmpRecord::SetRecordedFilePath(const char* path) {
  if (!path) return false;
  Close();  // the previous recording is completed first
  m_path = path;
  m_previousTagSize = 0;
  m_durationPosition = 0;
  m_basePending = true;
  m_shift = 0;
  m_newTimeLine = false;
  m_haveWritten = false;
  m_lastWritten = m_lastAudio = m_lastVideo = m_firstAudio = m_firstVideo = 0;
  m_hasAudio = m_hasVideo = false;
  m_file = std::fopen(path, "wb");
  if (!m_file) return false;
  const std::vector<uint8_t> header = HeaderBytes();
  if (std::fwrite(header.data(), 1, header.size(), m_file) != header.size() || std::fflush(m_file) != 0) {
    std::fclose(m_file);
    m_file = nullptr;
    return false;
  }
  m_durationPosition = kDurationOffset;
  m_previousTagSize = 11 + kScriptDataSize;
  return true;
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
  std::vector<uint8_t> tag;
  tag.reserve(15);
  Put32(&tag, m_previousTagSize);
  tag.push_back(isAudio ? 8 : 9);
  Put24(&tag, static_cast<uint32_t>(size));
  Put24(&tag, relative & 0xFFFFFF);
  tag.push_back(static_cast<uint8_t>(relative >> 24));
  Put24(&tag, 0);
  if (std::fwrite(tag.data(), 1, tag.size(), m_file) != tag.size() ||
      std::fwrite(body, 1, static_cast<size_t>(size), m_file) != static_cast<size_t>(size) ||
      std::fflush(m_file) != 0) {
    return false;
  }
  m_previousTagSize = static_cast<uint32_t>(size) + 11;
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

bool RtmpRecord::Close() {
  if (!m_file) return true;
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
  const double seconds = static_cast<double>((last >= first ? last - first : 0) / 1000);
  bool ok = true;
  if (m_durationPosition != 0) {
    // A file that cannot seek back keeps the placeholder: its duration was
    // not written, which is a failure like any other write.
    std::vector<uint8_t> duration;
    PutDouble(&duration, seconds);
    ok = std::fseek(m_file, m_durationPosition, SEEK_SET) == 0 &&
         std::fwrite(duration.data(), 1, duration.size(), m_file) == duration.size();
  }
  if (std::fclose(m_file) != 0) ok = false;
  m_file = nullptr;
  return ok;
}
