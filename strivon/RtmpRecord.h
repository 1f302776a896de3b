// The local FLV recording of a publish run: the same FLV tag bodies the RTMP
// connection sends, written behind an FLV header and an "onMetaData" script
// tag. The file is readable at every moment: the header's sizes are final
// from the start and only the duration is filled in when it closes, so a
// crash, a kill or a full disk leaves a file that plays up to the cut.
// Reconnections start a new encoder whose times begin again; the recording
// continues its own time line across them.
//
// Owned by the publish manager, which serialises every call under its
// recording lock.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

class RtmpRecord {
 public:
  // clock: wall time in ms for the pause across a reconnection (tests pass
  // their own).
  explicit RtmpRecord(std::function<uint32_t()> clock = {});
  ~RtmpRecord();  // completes an open file
  RtmpRecord(const RtmpRecord&) = delete;
  RtmpRecord& operator=(const RtmpRecord&) = delete;

  // Completes an open file, then starts a new one at path (truncating it).
  // False for a null path or when the file cannot be created or its header
  // cannot be written.
  bool SetRecordedFilePath(const char* path);
  // Appends one tag. False when no file is open or the write failed.
  bool SetMediaData(const unsigned char* body, int size, bool isAudio, double timeMs);
  // The next tag comes from a new encoder whose clock started again.
  void StartNewTimeLine();
  // Completes (duration) and closes the file; true when none is open or
  // the completion was written.
  bool Close();
  bool IsOpen() const { return m_file != nullptr; }

 private:
  uint32_t Now() const;
  uint32_t RelativeTime(double timeMs, bool isAudio);

  std::function<uint32_t()> m_clock;
  FILE* m_file = nullptr;
  std::string m_path;
  uint32_t m_previousTagSize = 0;
  long m_durationPosition = 0;
  // Time line: an encoder time t is written as t + m_shift (>= 0).
  bool m_basePending = true;
  int64_t m_shift = 0;
  bool m_newTimeLine = false;
  uint32_t m_lastWriteWall = 0;
  bool m_haveWritten = false;
  uint32_t m_lastWritten = 0;  // largest relative time written
  uint32_t m_lastAudio = 0, m_lastVideo = 0;
  bool m_hasAudio = false, m_hasVideo = false;
  uint32_t m_firstAudio = 0, m_firstVideo = 0;
};
