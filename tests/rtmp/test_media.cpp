#include "tests/rtmp/test_media.h"

#include <fdk-aac/aacenc_lib.h>

#include <cmath>

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
  std::vector<std::string> frames;
  HANDLE_AACENCODER encoder = nullptr;
  if (aacEncOpen(&encoder, 0, static_cast<UINT>(channels)) != AACENC_OK) return frames;
  aacEncoder_SetParam(encoder, AACENC_AOT, AOT_SBR);
  aacEncoder_SetParam(encoder, AACENC_SAMPLERATE, static_cast<UINT>(sampleRate));
  aacEncoder_SetParam(encoder, AACENC_CHANNELMODE, channels == 1 ? MODE_1 : MODE_2);
  aacEncoder_SetParam(encoder, AACENC_BITRATE, 48000);
  aacEncoder_SetParam(encoder, AACENC_TRANSMUX, TT_MP4_RAW);
  if (aacEncEncode(encoder, nullptr, nullptr, nullptr, nullptr) != AACENC_OK) {
    aacEncClose(&encoder);
    return frames;
  }
  AACENC_InfoStruct info{};
  aacEncInfo(encoder, &info);
  const int frameLength = static_cast<int>(info.frameLength);
  const long totalSamples = static_cast<long>(seconds * sampleRate);
  std::vector<INT_PCM> pcm(static_cast<size_t>(frameLength * channels));
  std::vector<UCHAR> out(8192);
  long position = 0;
  bool flushing = false;
  for (int guard = 0; guard < 100000; ++guard) {
    int samples = 0;
    if (!flushing) {
      for (int s = 0; s < frameLength && position < totalSamples; ++s, ++position) {
        const auto value = static_cast<INT_PCM>(8000 * std::sin(2 * M_PI * 440.0 * position / sampleRate));
        for (int c = 0; c < channels; ++c) pcm[static_cast<size_t>(s * channels + c)] = value;
        samples += channels;
      }
      if (samples == 0) flushing = true;
    }
    void* inPtr = pcm.data();
    INT inId = IN_AUDIO_DATA;
    INT inSize = samples * static_cast<INT>(sizeof(INT_PCM));
    INT inElSize = sizeof(INT_PCM);
    AACENC_BufDesc inBuf{};
    inBuf.numBufs = 1;
    inBuf.bufs = &inPtr;
    inBuf.bufferIdentifiers = &inId;
    inBuf.bufSizes = &inSize;
    inBuf.bufElSizes = &inElSize;
    void* outPtr = out.data();
    INT outId = OUT_BITSTREAM_DATA;
    INT outSize = static_cast<INT>(out.size());
    INT outElSize = 1;
    AACENC_BufDesc outBuf{};
    outBuf.numBufs = 1;
    outBuf.bufs = &outPtr;
    outBuf.bufferIdentifiers = &outId;
    outBuf.bufSizes = &outSize;
    outBuf.bufElSizes = &outElSize;
    AACENC_InArgs inArgs{};
    inArgs.numInSamples = flushing ? -1 : samples;
    AACENC_OutArgs outArgs{};
    const AACENC_ERROR err = aacEncEncode(encoder, &inBuf, &outBuf, &inArgs, &outArgs);
    if (err == AACENC_ENCODE_EOF || err != AACENC_OK) break;
    if (outArgs.numOutBytes > 0) {
      frames.emplace_back(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(outArgs.numOutBytes));
    }
  }
  aacEncClose(&encoder);
  return frames;
}

}  // namespace rtmp_test
