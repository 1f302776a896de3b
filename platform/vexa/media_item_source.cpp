#include "platform/vexa/media_item_source.h"

#include <algorithm>

MediaItemSource::MediaItemSource(std::unique_ptr<MediaFileReader> reader, int width, int height,
                                 bool stretch, int sampleRate, int channels)
    : m_reader(std::move(reader)),
      m_fitter(width, height, stretch),
      m_converter(sampleRate, channels),
      m_sound(sampleRate, channels) {}

void MediaItemSource::FillMissingSound(bool overfull) {
  // Sound is missing when the file has none, has no more, or is so far
  // behind the pictures that the read-ahead is full while waiting for it.
  if (!m_audio.empty() || !(!m_reader->HasAudio() || m_readerEnd || overfull)) return;
  if (!m_video.empty()) {
    // Silence goes as far as the next picture, never beyond it.
    const int64_t pictureMs = m_video.front().positionMs;
    // A picture far ahead is a jump in the file, which silence must not
    // play out in real time.
    if (pictureMs - m_sound.NextMs() > kMediaJumpMs) m_sound.Restart(pictureMs);
    if (m_sound.NextMs() <= pictureMs) m_queuedBytes += m_sound.PlaceSilenceBlock(&m_audio);
    return;
  }
  // After the last picture: silence until it has been shown. (The file's
  // stated length is no guide: one damaged time stamp stretches it.)
  if (!m_readerEnd || m_lastPictureMs < 0) return;
  const int64_t endMs = m_lastPictureMs + m_pictureStepMs;
  if (endMs - m_sound.NextMs() > kMediaJumpMs) return;
  if (m_sound.NextMs() < endMs) m_queuedBytes += m_sound.PlaceSilenceBlock(&m_audio);
}

void MediaItemSource::TakePicture(AVFrame* frame, int64_t positionMs) {
  if (positionMs < 0) positionMs = m_lastVideoMs < 0 ? m_skipBeforeMs : m_lastVideoMs + 1;
  if (positionMs < m_skipBeforeMs) return;
  MediaItem item;
  item.video = true;
  item.positionMs = positionMs;
  if (!m_fitter.Fit(frame, &item.data)) return;
  m_lastVideoMs = std::max(m_lastVideoMs, positionMs);
  if (m_lastPictureMs >= 0 && positionMs > m_lastPictureMs) m_pictureStepMs = positionMs - m_lastPictureMs;
  m_lastPictureMs = positionMs;
  m_queuedBytes += item.data.size();
  m_video.push_back(std::move(item));
}

void MediaItemSource::TakeSound(AVFrame* frame, int64_t positionMs) {
  if (positionMs >= 0 && frame->sample_rate > 0 &&
      positionMs + int64_t{frame->nb_samples} * 1000 / frame->sample_rate <= m_skipBeforeMs) {
    return;
  }
  std::vector<uint8_t> pcm;
  if (!m_converter.Convert(frame, &pcm) || pcm.empty()) return;
  m_queuedBytes += m_sound.Place(std::move(pcm), positionMs, &m_audio);
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
  bool overfull = false;
  for (;;) {
    const bool wantVideo = m_reader->HasVideo() && m_video.empty();
    const bool wantAudio = m_reader->HasAudio() && m_audio.empty();
    overfull = m_video.size() > kMaxQueued || m_audio.size() > kMaxQueued ||
               m_queuedBytes > kMaxQueuedBytes;
    if (m_readerEnd || overfull || (!wantVideo && !wantAudio)) break;
    ReadOne();
  }
  FillMissingSound(overfull);
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
  m_lastPictureMs = -1;
  // Sound starts at the new position, silent until the file has some there.
  m_sound.Restart(positionMs);
  return ok;
}
