// Opens a media file and hands out its decoded pictures and sound frames in
// file order, with their positions in milliseconds. Seeks by position. Used
// only by the file source's decode thread; not thread-safe on its own.
#pragma once
#include <cstdint>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

class MediaFileReader {
 public:
  enum class Kind { kVideo, kAudio, kEnd, kError };

  MediaFileReader() = default;
  ~MediaFileReader();
  MediaFileReader(const MediaFileReader&) = delete;
  MediaFileReader& operator=(const MediaFileReader&) = delete;

  // Opens and probes; false (with *error) when the file cannot be read or
  // has neither a picture nor a sound stream that can be decoded.
  bool Open(const std::string& path, std::string* error);

  bool HasVideo() const { return m_video.codec != nullptr; }
  bool HasAudio() const { return m_audio.codec != nullptr; }
  // Length of the file in ms, 0 when unknown.
  int64_t DurationMs() const { return m_durationMs; }

  // The next decoded frame: kVideo or kAudio with *frame filled (owned by the
  // reader, valid until the next call) and *positionMs its start; kEnd after
  // the last one.
  Kind Next(AVFrame** frame, int64_t* positionMs);

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

  AVFormatContext* m_format = nullptr;
  AVPacket* m_packet = nullptr;
  AVFrame* m_frame = nullptr;
  Stream m_video;
  Stream m_audio;
  bool m_endOfFile = false;
  int64_t m_durationMs = 0;
};
