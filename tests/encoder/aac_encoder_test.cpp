// The HE-AAC wrapper: accepted formats, rate clamps and real frames.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "encodemediathensendthroughrtmp/AacEncoder.h"

namespace {

TEST(AacEncoder, RefusesFormatsItCannotEncode) {
  AacConfig cfg;
  PcmFormat pcm;
  pcm.sampleRate = 22050;
  EXPECT_EQ(InitAudioEncoder(&pcm, &cfg), 1);
  pcm = PcmFormat{};
  pcm.bitsPerSample = 8;
  EXPECT_EQ(InitAudioEncoder(&pcm, &cfg), 1);
  pcm = PcmFormat{};
  pcm.channels = 3;
  EXPECT_EQ(InitAudioEncoder(&pcm, &cfg), 1);
  EXPECT_EQ(InitAudioEncoder(nullptr, &cfg), 1);
  EXPECT_EQ(InitAudioEncoder(&pcm, nullptr), 1);
}

TEST(AacEncoder, ClampsPerSampleRate) {
  EXPECT_EQ(ClampAacBitrate(32000, 20000), 19000);
  EXPECT_EQ(ClampAacBitrate(32000, 9000), 10000);
  EXPECT_EQ(ClampAacBitrate(44100, 64000), 44000);
  EXPECT_EQ(ClampAacBitrate(48000, 11000), 12000);
  EXPECT_EQ(ClampAacBitrate(24000, 64000), 64000);
}

TEST(AacEncoder, StereoAt44100UsesParametricStereoAt44000) {
  AacConfig cfg;
  cfg.bitRate = 64000;
  PcmFormat pcm;
  ASSERT_EQ(InitAudioEncoder(&pcm, &cfg), 0);
  EXPECT_EQ(cfg.bitRate, 44000);
  EXPECT_TRUE(cfg.parametricStereo);
  EXPECT_EQ(cfg.coreSampleRate, 22050);
  CloseAudioEncoder(&cfg);
}

// Feeds `frames` frames of a 1 kHz tone; returns the byte count of each output.
std::vector<int> EncodeTone(int channels, int rate, int frames) {
  AacConfig cfg;
  cfg.bitRate = 32000;
  PcmFormat pcm;
  pcm.channels = channels;
  pcm.sampleRate = rate;
  EXPECT_EQ(InitAudioEncoder(&pcm, &cfg), 0);
  std::vector<int16_t> samples(static_cast<size_t>(kAacInputSamplesPerChannel) * channels);
  std::vector<int> sizes;
  long t = 0;
  for (int f = 0; f < frames; ++f) {
    for (int i = 0; i < kAacInputSamplesPerChannel; ++i, ++t)
      for (int c = 0; c < channels; ++c)
        samples[static_cast<size_t>(i) * channels + c] =
            static_cast<int16_t>(10000 * std::sin(2 * M_PI * 1000.0 * t / rate));
    BufferDesc in{reinterpret_cast<uint8_t*>(samples.data()), static_cast<int>(samples.size() * 2),
                  static_cast<int>(samples.size() * 2)};
    BufferDesc out;
    EXPECT_EQ(EncodeAudioFrame(&pcm, &cfg, &in, &out), 0);
    sizes.push_back(out.length);
  }
  // A frame shorter than channels x 4096 bytes is refused, not over-read.
  BufferDesc shortIn{reinterpret_cast<uint8_t*>(samples.data()), 100, 100};
  BufferDesc out;
  EXPECT_EQ(EncodeAudioFrame(&pcm, &cfg, &shortIn, &out), 1);
  return sizes;
}

TEST(AacEncoder, EveryFrameAfterPrimingProducesOutput) {
  for (int channels : {1, 2}) {
    std::vector<int> sizes = EncodeTone(channels, 44100, 40);
    int produced = 0;
    for (int s : sizes) produced += s > 0 ? 1 : 0;
    EXPECT_GE(produced, 36) << channels << " channel(s)";
    EXPECT_GT(sizes.back(), 0);
  }
}

TEST(AacEncoder, TwoEncodersRunSideBySide) {
  AacConfig a, b;
  PcmFormat stereo;
  PcmFormat mono;
  mono.channels = 1;
  ASSERT_EQ(InitAudioEncoder(&stereo, &a), 0);
  ASSERT_EQ(InitAudioEncoder(&mono, &b), 0);
  std::vector<int16_t> pcm(kAacInputSamplesPerChannel * 2, 1000);
  BufferDesc in{reinterpret_cast<uint8_t*>(pcm.data()), 8192, 8192};
  BufferDesc outA, outB;
  EXPECT_EQ(EncodeAudioFrame(&stereo, &a, &in, &outA), 0);
  EXPECT_EQ(EncodeAudioFrame(&mono, &b, &in, &outB), 0);
  EXPECT_NE(outA.data, outB.data) << "each encoder writes its own buffer";
}

}  // namespace
