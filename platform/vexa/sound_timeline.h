// Places the file's sound on the file's own time line. Blocks are numbered by
// their sample count, so resampling never makes positions jitter, and are put
// back onto a block's time stamp when the count drifts from it: a hole in the
// sound is filled with silence, an overlap is cut, a jump starts the count
// again at the stamp. Silence also stands in for sound that does not come (a
// file without sound, a sound track that ends before the picture). Used by
// MediaItemSource on the decode thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/vexa/media_item.h"

class SoundTimeline {
 public:
  SoundTimeline(int sampleRate, int channels) : m_sampleRate(sampleRate), m_channels(channels) {}

  // The next block starts at positionMs (a start, a seek, a jump).
  void Restart(int64_t positionMs);
  // Where the next block goes.
  int64_t NextMs() const { return m_baseMs + m_frames * 1000 / m_sampleRate; }

  // Queues a converted block whose first sample the file stamps at stampMs
  // (negative: no stamp, it follows the previous block). Returns the bytes
  // queued, silence before it included.
  size_t Place(std::vector<uint8_t> pcm, int64_t stampMs, std::deque<MediaItem>* out);
  // Queues one short block of silence; returns its bytes.
  size_t PlaceSilenceBlock(std::deque<MediaItem>* out);

 private:
  static constexpr int kSilenceBlockMs = 20;
  // Drift up to this is the resampler's delay and rounding, left alone.
  static constexpr int64_t kToleranceMs = 20;

  size_t Silence(int64_t frames, std::deque<MediaItem>* out);

  int m_sampleRate;
  int m_channels;
  int64_t m_baseMs = 0;
  int64_t m_frames = 0;  // since m_baseMs
};
