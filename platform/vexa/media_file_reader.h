// Opens a media file and hands out its decoded pictures and sound frames in
// file order, with their positions in milliseconds. Seeks by position. Used
// only by the file source's decode thread; not thread-safe on its own.
//
// Only regular files are opened (a FIFO or a device would block the open
// for as long as nobody writes), and every open and read has a deadline,
// so a file on a stalled disk or share ends in a failure instead of a hang.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

class MediaFileReader {
 public:
  enum class Kind { kVideo, kAudio, kEnd, kError };

  // The longest the open (with the probing of the streams) may take, and
  // each later read or seek.
  static constexpr int64_t kOpenDeadlineMs = 5000;
  static constexpr int64_t kReadDeadlineMs = 5000;

  // clock: monotonic milliseconds for the deadlines; tests pass their own.
  explicit MediaFileReader(std::function<int64_t()> clock = {});
  ~MediaFileReader();
  MediaFileReader(const MediaFileReader&) = delete;
  MediaFileReader& operator=(const MediaFileReader&) = delete;

  // Opens and probes; false (with *error, a short reason such as "No such
  // file or directory" or "timed out") when the path is not a regular file,
  // cannot be read in time, or has neither a picture nor a sound stream that
  // can be decoded.
  bool Open(const std::string& path, std::string* error);

  bool HasVideo() const { return m_video.codec != nullptr; }
  bool HasAudio() const { return m_audio.codec != nullptr; }
  // Length of the file in ms, 0 when unknown.
  int64_t DurationMs() const { return m_durationMs; }

  // The next decoded frame: kVideo or kAudio with *frame filled (owned by the
  // reader, valid until the next call) and *positionMs its start; kEnd after
  // the last one. A read that passes its deadline ends the file early.
  Kind Next(AVFrame** frame, int64_t* positionMs);
  // A read passed its deadline (the file then ended early).
  bool ReadTimedOut() const { return m_readTimedOut; }

  // Moves to the key frame at or before positionMs and drops decoder state.
  bool Seek(int64_t positionMs);

  const AVCodecContext* VideoCodec() const { return m_video.codec; }
  const AVCodecContext* AudioCodec() const { return m_audio.codec; }

 private:
  struct Stream {
    int index = -1;
    AVCodecContext* codec = nullptr;
    bool drained = false;  // flushed and emptied at the end of the file
  };
  bool OpenStream(AVMediaType type, Stream* stream);
  // Tries to take a frame that a decoder already holds.
  bool Receive(Stream* stream, Kind kind, AVFrame** frame, int64_t* positionMs, Kind* out);
  int64_t PositionMs(const Stream& stream, const AVFrame* frame) const;
  // FFmpeg asks this between its steps; non-zero ends the step.
  static int Interrupt(void* self);
  void StartDeadline(int64_t ms);
  int64_t NowMs() const;

  std::function<int64_t()> m_clock;
  int64_t m_deadlineMs = 0;
  bool m_interrupted = false;  // since the last StartDeadline
  bool m_readTimedOut = false;

  AVFormatContext* m_format = nullptr;
  AVPacket* m_packet = nullptr;
  AVFrame* m_frame = nullptr;
  Stream m_video;
  Stream m_audio;
  bool m_endOfFile = false;
  int64_t m_durationMs = 0;
};
