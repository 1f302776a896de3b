// The local FLV recording of a publish run: the same FLV tag bodies the RTMP
// connection sends, written behind an FLV header and an "onMetaData" script
// tag (duration, video codec, picture size). Every tag goes out with its
// PreviousTagSize behind it, so after each tag the file is a whole FLV file:
// a crash or a kill leaves one that plays up to the cut. The header's sizes
// are final from the start; only the duration is filled in when the file is
// completed. A write that fails (a full disk) ends the recording: the partial
// tag is cut off again, the file completed and closed, and the cause kept
// for the caller to report.
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
#include <vector>

class RtmpRecord {
 public:
  // clock: wall time in ms for the pause across a reconnection (tests pass
  // their own).
  explicit RtmpRecord(std::function<uint32_t()> clock = {});
  ~RtmpRecord();  // completes an open file
  RtmpRecord(const RtmpRecord&) = delete;
  RtmpRecord& operator=(const RtmpRecord&) = delete;

  // The picture size the metadata of the next file gives (0 x 0 until told).
  void SetVideoSize(int width, int height);
  // Completes an open file, then starts a new one at path (truncating it).
  // False for a null path or when the file cannot be created or its header
  // cannot be written.
  bool SetRecordedFilePath(const char* path);
  // Appends one tag. False when no file is open, the tag is refused, or the
  // write failed; after a failed write the file is closed (see above).
  bool SetMediaData(const unsigned char* body, int size, bool isAudio, double timeMs);
  // The next tag comes from a new encoder whose clock started again.
  void StartNewTimeLine();
  // Completes (duration) and closes the file; true when none is open or
  // the completion was written.
  bool Close();
  bool IsOpen() const { return m_file != nullptr; }
  // The errno of the write that ended this recording (ENOSPC for a full
  // disk), 0 while none failed.
  int WriteError() const { return m_writeError; }
  // Bytes of whole tags in the file (header included).
  long long CompleteSize() const { return m_completeSize; }

 private:
  uint32_t Now() const;
  uint32_t RelativeTime(double timeMs, bool isAudio);
  double DurationSeconds() const;
  // Cuts the file back to its last whole tag after a failed write, then
  // completes and closes it.
  void EndAfterFailedWrite(int error);

  std::function<uint32_t()> m_clock;
  FILE* m_file = nullptr;
  std::string m_path;
  int m_width = 0, m_height = 0;
  long m_durationPosition = 0;
  long long m_completeSize = 0;
  int m_writeError = 0;
  std::vector<uint8_t> m_tag;  // one tag as written, reused
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
