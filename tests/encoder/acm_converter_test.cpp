// The format converter: stream reuse, capacity check and real conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "encodemediathensendthroughrtmp/AcmConverter.h"

namespace {

std::vector<uint8_t> Tone16(int rate, int channels, int samples, double hz = 1000.0) {
  std::vector<uint8_t> bytes(static_cast<size_t>(samples) * channels * 2);
  auto* s = reinterpret_cast<int16_t*>(bytes.data());
  for (int i = 0; i < samples; ++i)
    for (int c = 0; c < channels; ++c)
      s[i * channels + c] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * hz * i / rate));
  return bytes;
}

TEST(AcmConverter, SameFormatsReuseTheStreamAndANewRateReopensIt) {
  AcmConverter converter;
  WAVEFORMATEX src = MakeWaveFormat(WAVE_FORMAT_PCM, 2, 48000, 16);
  WAVEFORMATEX dst = MakeWaveFormat(WAVE_FORMAT_PCM, 2, 44100, 16);
  std::vector<uint8_t> in = Tone16(48000, 2, 4800);
  std::vector<uint8_t> out(64 * 1024);
  int produced = 0;
  const int opened = acm_testing::StreamsOpened();
  ASSERT_TRUE(converter.Convert(&src, in.data(), static_cast<int>(in.size()), &dst, out.data(),
                                static_cast<int>(out.size()), &produced));
  ASSERT_TRUE(converter.Convert(&src, in.data(), static_cast<int>(in.size()), &dst, out.data(),
                                static_cast<int>(out.size()), &produced));
  EXPECT_EQ(acm_testing::StreamsOpened(), opened + 1);
  dst = MakeWaveFormat(WAVE_FORMAT_PCM, 2, 32000, 16);
  ASSERT_TRUE(converter.Convert(&src, in.data(), static_cast<int>(in.size()), &dst, out.data(),
                                static_cast<int>(out.size()), &produced));
  EXPECT_EQ(acm_testing::StreamsOpened(), opened + 2);
}

TEST(AcmConverter, CapacityBelowTheEstimateWritesNothing) {
  AcmConverter converter;
  WAVEFORMATEX src = MakeWaveFormat(WAVE_FORMAT_PCM, 1, 44100, 16);
  WAVEFORMATEX dst = MakeWaveFormat(WAVE_FORMAT_PCM, 2, 48000, 16);
  std::vector<uint8_t> in = Tone16(44100, 1, 441);
  HACMSTREAM probe = nullptr;
  ASSERT_EQ(acmStreamOpen(&probe, nullptr, &src, &dst, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
  uint32_t needed = 0;
  ASSERT_EQ(acmStreamSize(probe, static_cast<uint32_t>(in.size()), &needed, ACM_STREAMSIZEF_SOURCE),
            MMSYSERR_NOERROR);
  acmStreamClose(probe, 0);
  std::vector<uint8_t> out(needed + 8, 0x5A);
  int produced = -1;
  EXPECT_FALSE(converter.Convert(&src, in.data(), static_cast<int>(in.size()), &dst, out.data(),
                                 static_cast<int>(needed) - 1, &produced));
  EXPECT_EQ(produced, -1);
  for (uint8_t b : out) ASSERT_EQ(b, 0x5A);
  EXPECT_TRUE(converter.Convert(&src, in.data(), static_cast<int>(in.size()), &dst, out.data(),
                                static_cast<int>(needed), &produced));
  EXPECT_LE(produced, static_cast<int>(needed));
  EXPECT_EQ(produced % 4, 0);
}

TEST(AcmConverter, BadArgumentsAndUnsupportedFormatsFail) {
  AcmConverter converter;
  WAVEFORMATEX src = MakeWaveFormat(WAVE_FORMAT_PCM, 2, 44100, 16);
  WAVEFORMATEX dst = src;
  std::vector<uint8_t> in(400), out(400);
  int produced = -1;
  EXPECT_FALSE(converter.Convert(&src, in.data(), 0, &dst, out.data(), 400, &produced));
  EXPECT_FALSE(converter.Convert(&src, nullptr, 400, &dst, out.data(), 400, &produced));
  EXPECT_FALSE(converter.Convert(&src, in.data(), 400, &dst, nullptr, 400, &produced));
  EXPECT_FALSE(converter.Convert(&src, in.data(), 400, &dst, out.data(), 0, &produced));
  EXPECT_EQ(converter.Close(), MMSYSERR_NOERROR) << "no stream was opened by refused calls";
  WAVEFORMATEX six = MakeWaveFormat(WAVE_FORMAT_PCM, 6, 44100, 16);
  EXPECT_FALSE(converter.Convert(&six, in.data(), 396, &dst, out.data(), 400, &produced));
  WAVEFORMATEX badAlign = src;
  badAlign.nBlockAlign = 3;
  EXPECT_FALSE(converter.Convert(&badAlign, in.data(), 400, &dst, out.data(), 400, &produced));
  EXPECT_EQ(produced, -1);
}

TEST(AcmConverter, FloatAndEightBitInputBecomeSixteenBitStereo) {
  AcmConverter converter;
  WAVEFORMATEX dst = MakeWaveFormat(WAVE_FORMAT_PCM, 2, 44100, 16);
  std::vector<float> floats(4410);
  for (size_t i = 0; i < floats.size(); ++i) floats[i] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 1000.0 * i / 44100));
  WAVEFORMATEX fsrc = MakeWaveFormat(WAVE_FORMAT_IEEE_FLOAT, 1, 44100, 32);
  std::vector<uint8_t> out(64 * 1024);
  int produced = 0;
  ASSERT_TRUE(converter.Convert(&fsrc, reinterpret_cast<const uint8_t*>(floats.data()),
                                static_cast<int>(floats.size() * 4), &dst, out.data(), static_cast<int>(out.size()),
                                &produced));
  ASSERT_EQ(produced, 4410 * 4);
  const auto* s = reinterpret_cast<const int16_t*>(out.data());
  int peak = 0;
  for (int i = 0; i < 4410; ++i) {
    EXPECT_EQ(s[2 * i], s[2 * i + 1]) << "mono is copied to both channels";
    peak = std::max(peak, std::abs(static_cast<int>(s[2 * i])));
  }
  EXPECT_NEAR(peak, 16384, 300);

  std::vector<uint8_t> eight(882, 128);  // unsigned silence
  WAVEFORMATEX esrc = MakeWaveFormat(WAVE_FORMAT_PCM, 2, 44100, 8);
  ASSERT_TRUE(converter.Convert(&esrc, eight.data(), static_cast<int>(eight.size()), &dst, out.data(),
                                static_cast<int>(out.size()), &produced));
  EXPECT_EQ(produced, 441 * 4);
  for (int i = 0; i < 882; ++i) ASSERT_EQ(s[i], 0);
}

TEST(AcmConverter, ResamplingKeepsStateAcrossBlocks) {
  AcmConverter converter;
  WAVEFORMATEX src = MakeWaveFormat(WAVE_FORMAT_PCM, 1, 48000, 16);
  WAVEFORMATEX dst = MakeWaveFormat(WAVE_FORMAT_PCM, 1, 16000, 16);
  std::vector<uint8_t> tone = Tone16(48000, 1, 48000);
  std::vector<uint8_t> out(64 * 1024);
  long total = 0;
  for (int block = 0; block < 100; ++block) {
    int produced = 0;
    ASSERT_TRUE(converter.Convert(&src, tone.data() + block * 960, 960, &dst, out.data(),
                                  static_cast<int>(out.size()), &produced));
    total += produced / 2;
  }
  // One second in, about one second out (less what the filter still holds).
  EXPECT_NEAR(total, 16000, 64);
}

}  // namespace
