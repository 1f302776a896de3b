#include "platform/vexa/media_file_reader.h"

#include <chrono>

#include "platform/vexa/regular_file.h"

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/dict.h>
#include <libavutil/mathematics.h>
}

namespace {

std::string AvErrorText(int code) {
  if (code == AVERROR_EXIT) return "timed out";
  char text[AV_ERROR_MAX_STRING_SIZE] = {0};
  av_strerror(code, text, sizeof(text));
  return text;
}

}  // namespace

MediaFileReader::MediaFileReader(std::function<int64_t()> clock) : m_clock(std::move(clock)) {}

int64_t MediaFileReader::NowMs() const {
  if (m_clock) return m_clock();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void MediaFileReader::StartDeadline(int64_t ms) {
  m_deadlineMs = NowMs() + ms;
  m_interrupted = false;
}

int MediaFileReader::Interrupt(void* self) {
  auto* reader = static_cast<MediaFileReader*>(self);
  // Demuxers pass the interruption on as various errors (end of file,
  // invalid data): the flag says what really happened.
  if (reader->NowMs() > reader->m_deadlineMs) reader->m_interrupted = true;
  return reader->m_interrupted ? 1 : 0;
}

MediaFileReader::~MediaFileReader() {
  avcodec_free_context(&m_video.codec);
  avcodec_free_context(&m_audio.codec);
  avformat_close_input(&m_format);
  av_packet_free(&m_packet);
  av_frame_free(&m_frame);
}

bool MediaFileReader::Open(const std::string& path, std::string* error) {
  // The deadline below cannot end an open() the kernel blocks in.
  if (!CheckRegularFile(path, error)) return false;
  m_format = avformat_alloc_context();
  if (!m_format) {
    *error = "out of memory";
    return false;
  }
  m_format->interrupt_callback.callback = &MediaFileReader::Interrupt;
  m_format->interrupt_callback.opaque = this;
  // The name is the file itself, never a protocol ("http:..."), and nothing
  // in it (a playlist) may reach beyond local files.
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  StartDeadline(kOpenDeadlineMs);
  int rc = avformat_open_input(&m_format, ("file:" + path).c_str(), nullptr, &options);
  av_dict_free(&options);
  if (rc < 0) {  // the context is freed and null again
    *error = AvErrorText(m_interrupted ? AVERROR_EXIT : rc);
    return false;
  }
  rc = avformat_find_stream_info(m_format, nullptr);
  // Probing may also give up on a stream quietly when interrupted.
  if (rc < 0 || m_interrupted) {
    *error = "its streams cannot be read: " + AvErrorText(m_interrupted ? AVERROR_EXIT : rc);
    return false;
  }
  OpenStream(AVMEDIA_TYPE_VIDEO, &m_video);
  OpenStream(AVMEDIA_TYPE_AUDIO, &m_audio);
  if (!HasVideo() && !HasAudio()) {
    *error = "no picture or sound that can be decoded";
    return false;
  }
  m_packet = av_packet_alloc();
  m_frame = av_frame_alloc();
  if (!m_packet || !m_frame) {
    *error = "out of memory";
    return false;
  }
  if (m_format->duration > 0) m_durationMs = m_format->duration / (AV_TIME_BASE / 1000);
  return true;
}

bool MediaFileReader::OpenStream(AVMediaType type, Stream* stream) {
  const AVCodec* decoder = nullptr;
  const int index = av_find_best_stream(m_format, type, -1, -1, &decoder, 0);
  if (index < 0 || !decoder) return false;
  AVCodecContext* codec = avcodec_alloc_context3(decoder);
  if (!codec) return false;
  if (avcodec_parameters_to_context(codec, m_format->streams[index]->codecpar) < 0 ||
      avcodec_open2(codec, decoder, nullptr) < 0) {
    avcodec_free_context(&codec);
    return false;
  }
  // A picture stream without a size or a sound stream without a rate cannot
  // be converted later; treat it as absent.
  if ((type == AVMEDIA_TYPE_VIDEO && (codec->width <= 0 || codec->height <= 0)) ||
      (type == AVMEDIA_TYPE_AUDIO && (codec->sample_rate <= 0 || codec->ch_layout.nb_channels <= 0))) {
    avcodec_free_context(&codec);
    return false;
  }
  stream->index = index;
  stream->codec = codec;
  return true;
}

int64_t MediaFileReader::PositionMs(const Stream& stream, const AVFrame* frame) const {
  int64_t pts = frame->best_effort_timestamp;
  if (pts == AV_NOPTS_VALUE) pts = frame->pts;
  if (pts == AV_NOPTS_VALUE) return -1;
  const AVStream* s = m_format->streams[stream.index];
  int64_t start = s->start_time == AV_NOPTS_VALUE ? 0 : s->start_time;
  if (s->time_base.num <= 0 || s->time_base.den <= 0) return -1;
  // A damaged time stamp must not overflow the pacing arithmetic later.
  constexpr int64_t kLimitMs = int64_t{1} << 40;
  const int64_t ms = av_rescale_q(pts - start, s->time_base, AVRational{1, 1000});
  return ms > kLimitMs ? kLimitMs : (ms < -kLimitMs ? -1 : ms);
}

bool MediaFileReader::Receive(Stream* stream, Kind kind, AVFrame** frame, int64_t* positionMs,
                              Kind* out) {
  if (!stream->codec || stream->drained) return false;
  av_frame_unref(m_frame);
  const int rc = avcodec_receive_frame(stream->codec, m_frame);
  if (rc == AVERROR_EOF) {
    stream->drained = true;
    return false;
  }
  if (rc < 0) {
    // After the end of the file a decoder that has nothing more and does not
    // say so (it refused the flush) would otherwise be asked forever.
    if (m_endOfFile) stream->drained = true;
    return false;
  }
  *frame = m_frame;
  *positionMs = PositionMs(*stream, m_frame);
  *out = kind;
  return true;
}

MediaFileReader::Kind MediaFileReader::Next(AVFrame** frame, int64_t* positionMs) {
  Kind kind = Kind::kEnd;
  for (;;) {
    if (Receive(&m_video, Kind::kVideo, frame, positionMs, &kind)) return kind;
    if (Receive(&m_audio, Kind::kAudio, frame, positionMs, &kind)) return kind;
    if (m_endOfFile) {
      const bool videoDone = !m_video.codec || m_video.drained;
      const bool audioDone = !m_audio.codec || m_audio.drained;
      if (videoDone && audioDone) return Kind::kEnd;
      continue;  // the flushed decoders still hold frames
    }
    StartDeadline(kReadDeadlineMs);
    const int rc = av_read_frame(m_format, m_packet);
    if (rc < 0 && m_interrupted) m_readTimedOut = true;
    if (rc < 0) {
      // End of file or an unreadable rest: let the decoders give up what
      // they hold, then stop.
      m_endOfFile = true;
      if (m_video.codec) avcodec_send_packet(m_video.codec, nullptr);
      if (m_audio.codec) avcodec_send_packet(m_audio.codec, nullptr);
      continue;
    }
    Stream* target = m_packet->stream_index == m_video.index   ? &m_video
                     : m_packet->stream_index == m_audio.index ? &m_audio
                                                               : nullptr;
    // A damaged packet is skipped; the decoder resynchronises on the next.
    if (target) avcodec_send_packet(target->codec, m_packet);
    av_packet_unref(m_packet);
  }
}

bool MediaFileReader::Seek(int64_t positionMs) {
  if (positionMs < 0) positionMs = 0;
  const int64_t target = av_rescale(positionMs, AV_TIME_BASE, 1000) +
                         (m_format->start_time == AV_NOPTS_VALUE ? 0 : m_format->start_time);
  StartDeadline(kReadDeadlineMs);
  const int rc = avformat_seek_file(m_format, -1, INT64_MIN, target, target, 0);
  if (rc < 0) return false;
  for (Stream* s : {&m_video, &m_audio}) {
    if (!s->codec) continue;
    avcodec_flush_buffers(s->codec);
    s->drained = false;
  }
  m_endOfFile = false;
  m_readTimedOut = false;
  return true;
}
