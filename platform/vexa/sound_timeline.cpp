#include "platform/vexa/sound_timeline.h"

#include <algorithm>

void SoundTimeline::Restart(int64_t positionMs) {
  m_baseMs = positionMs;
  m_frames = 0;
}

size_t SoundTimeline::Silence(int64_t frames, std::deque<MediaItem>* out) {
  const int64_t blockFrames = int64_t{m_sampleRate} * kSilenceBlockMs / 1000;
  size_t bytes = 0;
  while (frames > 0) {
    const int64_t n = std::min(frames, blockFrames);
    MediaItem item;
    item.positionMs = NextMs();
    item.sampleFrames = static_cast<int>(n);
    item.data.assign(static_cast<size_t>(n) * m_channels * 2, 0);
    bytes += item.data.size();
    m_frames += n;
    frames -= n;
    out->push_back(std::move(item));
  }
  return bytes;
}

size_t SoundTimeline::PlaceSilenceBlock(std::deque<MediaItem>* out) {
  return Silence(int64_t{m_sampleRate} * kSilenceBlockMs / 1000, out);
}

size_t SoundTimeline::Place(std::vector<uint8_t> pcm, int64_t stampMs, std::deque<MediaItem>* out) {
  const size_t frameBytes = static_cast<size_t>(m_channels) * 2;
  size_t bytes = 0;
  if (stampMs >= 0) {
    const int64_t drift = stampMs - NextMs();
    if (drift > kMediaJumpMs || drift < -kMediaJumpMs) {
      Restart(stampMs);
    } else if (drift > kToleranceMs) {
      bytes += Silence(drift * m_sampleRate / 1000, out);
    } else if (drift < -kToleranceMs) {
      // Sound already placed covers the start of this block.
      const size_t cut = std::min(pcm.size() / frameBytes, static_cast<size_t>(-drift * m_sampleRate / 1000));
      pcm.erase(pcm.begin(), pcm.begin() + static_cast<std::ptrdiff_t>(cut * frameBytes));
    }
  }
  const size_t frames = pcm.size() / frameBytes;
  if (frames == 0) return bytes;
  MediaItem item;
  item.positionMs = NextMs();
  item.sampleFrames = static_cast<int>(frames);
  item.data = std::move(pcm);
  item.data.resize(frames * frameBytes);
  m_frames += static_cast<int64_t>(frames);
  bytes += item.data.size();
  out->push_back(std::move(item));
  return bytes;
}
