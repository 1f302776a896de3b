#include "platform/vexa/media_item_source.h"

#include <algorithm>

MediaItemSource::MediaItemSource(std::unique_ptr<MediaFileReader> reader, int width, int height,
                                 bool stretch, int sampleRate, int channels)
    : m_reader(std::move(reader)),
      m_fitter(width, height, stretch),
      m_converter(sampleRate, channels),
      m_sampleRate(sampleRate),
      m_channels(channels) {}

bool MediaItemSource::SilenceDue() const {
  if (m_reader->HasAudio()) return false;
  const int64_t next = m_soundBaseMs + m_soundFrames * 1000 / m_sampleRate;
  // Silence runs as long as the file: its length, or else its pictures.
  const int64_t end = m_reader->DurationMs() > 0 ? m_reader->DurationMs() : m_lastVideoMs;
  return next < end || (!m_readerEnd && m_reader->DurationMs() <= 0);
}

void MediaItemSource::MakeSilence() {
  const int frames = m_sampleRate * kSilenceBlockMs / 1000;
  MediaItem item;
  item.positionMs = m_soundBaseMs + m_soundFrames * 1000 / m_sampleRate;
  item.sampleFrames = frames;
  item.data.assign(static_cast<size_t>(frames) * m_channels * 2, 0);
  m_soundFrames += frames;
  m_queuedBytes += item.data.size();
  m_audio.push_back(std::move(item));
}

void MediaItemSource::TakePicture(AVFrame* frame, int64_t positionMs) {
  if (positionMs < 0) positionMs = m_lastVideoMs < 0 ? m_skipBeforeMs : m_lastVideoMs + 1;
  if (positionMs < m_skipBeforeMs) return;
  MediaItem item;
  item.video = true;
  item.positionMs = positionMs;
  if (!m_fitter.Fit(frame, &item.data)) return;
  m_lastVideoMs = std::max(m_lastVideoMs, positionMs);
  m_queuedBytes += item.data.size();
  m_video.push_back(std::move(item));
}

void MediaItemSource::TakeSound(AVFrame* frame, int64_t positionMs) {
  if (positionMs >= 0 && frame->sample_rate > 0 &&
      positionMs + int64_t{frame->nb_samples} * 1000 / frame->sample_rate <= m_skipBeforeMs) {
    return;
  }
  MediaItem item;
  if (!m_converter.Convert(frame, &item.data) || item.data.empty()) return;
  if (!m_soundBaseSet) {
    m_soundBaseSet = true;
    m_soundBaseMs = positionMs >= 0 ? std::max(positionMs, m_skipBeforeMs) : m_skipBeforeMs;
    m_soundFrames = 0;
  }
  item.sampleFrames = static_cast<int>(item.data.size() / (static_cast<size_t>(m_channels) * 2));
  item.positionMs = m_soundBaseMs + m_soundFrames * 1000 / m_sampleRate;
  m_soundFrames += item.sampleFrames;
  m_queuedBytes += item.data.size();
  m_audio.push_back(std::move(item));
}

void MediaItemSource::ReadOne() {
  AVFrame* frame = nullptr;
  int64_t positionMs = -1;
  switch (m_reader->Next(&frame, &positionMs)) {
    case MediaFileReader::Kind::kVideo:
      TakePicture(frame, positionMs);
      break;
    case MediaFileReader::Kind::kAudio:
      TakeSound(frame, positionMs);
      break;
    default:
      m_readerEnd = true;
      break;
  }
}

MediaItem* MediaItemSource::Peek() {
  for (;;) {
    if (!m_reader->HasAudio() && m_audio.empty() && SilenceDue()) MakeSilence();
    const bool wantVideo = m_reader->HasVideo() && m_video.empty();
    const bool wantAudio = m_reader->HasAudio() && m_audio.empty();
    const bool overfull = m_video.size() > kMaxQueued || m_audio.size() > kMaxQueued ||
                          m_queuedBytes > kMaxQueuedBytes;
    if (m_readerEnd || overfull || (!wantVideo && !wantAudio)) break;
    ReadOne();
  }
  if (m_video.empty() && m_audio.empty()) return nullptr;
  if (m_video.empty()) return &m_audio.front();
  if (m_audio.empty()) return &m_video.front();
  return m_audio.front().positionMs < m_video.front().positionMs ? &m_audio.front()
                                                                  : &m_video.front();
}

void MediaItemSource::Pop() {
  MediaItem* item = Peek();
  if (!item) return;
  m_queuedBytes -= item->data.size();
  if (item->video) {
    m_video.pop_front();
  } else {
    m_audio.pop_front();
  }
}

bool MediaItemSource::SeekTo(int64_t positionMs) {
  if (m_reader->DurationMs() > 0) positionMs = std::min(positionMs, m_reader->DurationMs());
  positionMs = std::max<int64_t>(0, positionMs);
  const bool ok = m_reader->Seek(positionMs);
  m_video.clear();
  m_audio.clear();
  m_queuedBytes = 0;
  m_converter.Reset();
  m_readerEnd = false;
  m_skipBeforeMs = positionMs;
  m_lastVideoMs = -1;
  m_soundBaseSet = false;
  m_soundBaseMs = positionMs;
  m_soundFrames = 0;
  return ok;
}
