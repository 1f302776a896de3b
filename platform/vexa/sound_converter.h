// Converts decoded sound frames of any layout, rate and sample format into
// interleaved signed 16-bit PCM of the publish format. Used by the file
// source's decode thread.
#pragma once
#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

class SoundConverter {
 public:
  SoundConverter(int outRate, int outChannels);
  ~SoundConverter();
  SoundConverter(const SoundConverter&) = delete;
  SoundConverter& operator=(const SoundConverter&) = delete;

  // Appends the converted samples to *out; false when the frame's format
  // cannot be converted.
  bool Convert(const AVFrame* frame, std::vector<uint8_t>* out);
  // Forgets buffered samples (after a seek).
  void Reset();

 private:
  bool Configure(const AVFrame* frame);

  int m_outRate;
  int m_outChannels;
  SwrContext* m_resampler = nullptr;
  int m_inRate = 0, m_inFormat = -1;
  AVChannelLayout m_inLayout{};
};
