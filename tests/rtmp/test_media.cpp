#include "tests/rtmp/test_media.h"


#include <cmath>

#include "encodemediathensendthroughrtmp/AacEncoder.h"
#include "tests/support/media_tools.h"

namespace rtmp_test {

bool MakeH264AnnexB(const std::string& path, int seconds, int width, int height, std::string* error) {
  const auto result = test_support::RunFfmpeg(
      {"-f", "lavfi", "-i",
       "testsrc2=s=" + std::to_string(width) + "x" + std::to_string(height) + ":r=25", "-t",
       std::to_string(seconds), "-c:v", "libx264", "-bf", "0", "-g", "25", "-pix_fmt", "yuv420p", "-bsf:v",
       "h264_mp4toannexb", "-f", "h264", path});
  if (result.exitCode != 0 && error) *error = result.err;
  return result.exitCode == 0;
}

std::vector<std::string> SplitAccessUnits(const std::string& annexB) {
  std::vector<std::string> units;
  size_t unitStart = 0;
  size_t i = 0;
  const size_t n = annexB.size();
  auto startCodeAt = [&](size_t p) {
    return p + 2 < n && annexB[p] == 0 && annexB[p + 1] == 0 && annexB[p + 2] == 1;
  };
  // Walk NAL units; an access unit ends after each slice (one slice per picture).
  bool sliceSeen = false;
  while (i < n) {
    if (!startCodeAt(i)) {
      ++i;
      continue;
    }
    size_t codeStart = i;
    if (codeStart > 0 && annexB[codeStart - 1] == 0) --codeStart;
    if (sliceSeen) {
      units.push_back(annexB.substr(unitStart, codeStart - unitStart));
      unitStart = codeStart;
      sliceSeen = false;
    }
    i += 3;
    if (i < n) {
      const int type = annexB[i] & 0x1f;
      if (type == 1 || type == 5) sliceSeen = true;
    }
  }
  if (unitStart < n) units.push_back(annexB.substr(unitStart));
  return units;
}

std::vector<std::string> EncodeHeAacFrames(int sampleRate, int channels, double seconds) {
  // The encoder's own HE-AAC wrapper, so the client is fed what it gets in a live run.
  std::vector<std::string> frames;
  PcmFormat pcm;
  pcm.sampleRate = sampleRate;
  pcm.channels = channels;
  AacConfig config;
  config.bitRate = 48000;
  if (InitAudioEncoder(&pcm, &config) != 0) return frames;
  std::vector<int16_t> block(static_cast<size_t>(kAacInputSamplesPerChannel * channels));
  const long totalSamples = static_cast<long>(seconds * sampleRate);
  for (long position = 0; position < totalSamples;) {
    for (int s = 0; s < kAacInputSamplesPerChannel; ++s, ++position) {
      const auto value = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440.0 * position / sampleRate));
      for (int c = 0; c < channels; ++c) block[static_cast<size_t>(s * channels + c)] = value;
    }
    BufferDesc in;
    in.data = reinterpret_cast<uint8_t*>(block.data());
    in.capacity = in.length = static_cast<int>(block.size() * sizeof(int16_t));
    BufferDesc out;
    if (EncodeAudioFrame(&pcm, &config, &in, &out) != 0) break;
    if (out.length > 0) frames.emplace_back(reinterpret_cast<const char*>(out.data), static_cast<size_t>(out.length));
  }
  CloseAudioEncoder(&config);
  return frames;
}

}  // namespace rtmp_test
