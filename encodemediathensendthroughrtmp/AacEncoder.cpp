#include "encodemediathensendthroughrtmp/AacEncoder.h"

#include <fdk-aac/aacenc_lib.h>

#include <cstring>
#include <vector>

#include "encodemediathensendthroughrtmp/EncoderLimits.h"

struct AacEncoderState {
  HANDLE_AACENCODER handle = nullptr;
  std::vector<uint8_t> output;
  ~AacEncoderState() {
    if (handle) aacEncClose(&handle);
  }
};

AacConfig::AacConfig() = default;
AacConfig::~AacConfig() = default;

int ClampAacBitrate(int sampleRate, int bitRate) {
  switch (sampleRate) {
    case 32000:
      if (bitRate >= 20000) return 19000;
      if (bitRate < 10000) return 10000;
      return bitRate;
    case 44100:
    case 48000:
      if (bitRate > 44000) return 44000;
      if (bitRate < 12000) return 12000;
      return bitRate;
    default:
      return bitRate;
  }
}

int InitAudioEncoder(const PcmFormat* pcm, AacConfig* cfg) {
  if (!pcm || !cfg) return 1;
  cfg->state.reset();
  cfg->parametricStereo = false;
  if (pcm->bitsPerSample != kEncodableBitsPerSample || !IsEncodableSampleRate(pcm->sampleRate) ||
      !IsEncodableChannelCount(pcm->channels))
    return 1;

  cfg->inputChannels = pcm->channels;
  cfg->outputChannels = pcm->channels;
  cfg->bandwidth = 0;
  cfg->parametricStereo = pcm->channels == 2;
  cfg->bitRate = ClampAacBitrate(pcm->sampleRate, cfg->bitRate);

  auto state = std::make_unique<AacEncoderState>();
  if (aacEncOpen(&state->handle, 0, static_cast<UINT>(pcm->channels)) != AACENC_OK) return 1;
  const bool ok =
      aacEncoder_SetParam(state->handle, AACENC_AOT, cfg->parametricStereo ? AOT_PS : AOT_SBR) == AACENC_OK &&
      aacEncoder_SetParam(state->handle, AACENC_SAMPLERATE, static_cast<UINT>(pcm->sampleRate)) == AACENC_OK &&
      aacEncoder_SetParam(state->handle, AACENC_CHANNELMODE, pcm->channels == 2 ? MODE_2 : MODE_1) == AACENC_OK &&
      aacEncoder_SetParam(state->handle, AACENC_CHANNELORDER, 1) == AACENC_OK &&
      aacEncoder_SetParam(state->handle, AACENC_BITRATEMODE, 0) == AACENC_OK &&
      aacEncoder_SetParam(state->handle, AACENC_BITRATE, static_cast<UINT>(cfg->bitRate)) == AACENC_OK &&
      aacEncoder_SetParam(state->handle, AACENC_TRANSMUX, TT_MP4_RAW) == AACENC_OK &&
      // The SBR and stereo headers in every frame rather than every tenth:
      // a viewer who joins a live stream, or a stream whose first packets
      // are not sent, decodes its full band and both channels at once.
      aacEncoder_SetParam(state->handle, AACENC_HEADER_PERIOD, 1) == AACENC_OK &&
      aacEncoder_SetParam(state->handle, AACENC_AFTERBURNER, 1) == AACENC_OK;
  if (!ok) return 1;
  if (aacEncEncode(state->handle, nullptr, nullptr, nullptr, nullptr) != AACENC_OK) return 1;
  AACENC_InfoStruct info{};
  if (aacEncInfo(state->handle, &info) != AACENC_OK) return 1;
  // One HE-AAC frame is 1024 core samples at half the rate, i.e. 2048 input
  // samples per channel; anything else would break the caller's framing.
  if (info.frameLength != static_cast<UINT>(kAacInputSamplesPerChannel)) return 1;
  cfg->coreSampleRate = pcm->sampleRate / 2;
  cfg->delaySamples = static_cast<int>(info.nDelay);
  state->output.resize(info.maxOutBufBytes > 0 ? info.maxOutBufBytes : 8192);
  cfg->state = std::move(state);
  return 0;
}

int EncodeAudioFrame(const PcmFormat* pcm, const AacConfig* cfg, BufferDesc* in, BufferDesc* out) {
  if (!pcm || !cfg || !in || !out || !cfg->state || !cfg->state->handle || !in->data) return 1;
  AacEncoderState* s = cfg->state.get();
  const int frameBytes = pcm->channels * kAacInputSamplesPerChannel * 2;
  if (in->length < frameBytes) return 1;

  void* inPtr = in->data;
  INT inId = IN_AUDIO_DATA;
  INT inSize = frameBytes;
  INT inElementSize = 2;
  AACENC_BufDesc inDesc{};
  inDesc.numBufs = 1;
  inDesc.bufs = &inPtr;
  inDesc.bufferIdentifiers = &inId;
  inDesc.bufSizes = &inSize;
  inDesc.bufElSizes = &inElementSize;

  void* outPtr = s->output.data();
  INT outId = OUT_BITSTREAM_DATA;
  INT outSize = static_cast<INT>(s->output.size());
  INT outElementSize = 1;
  AACENC_BufDesc outDesc{};
  outDesc.numBufs = 1;
  outDesc.bufs = &outPtr;
  outDesc.bufferIdentifiers = &outId;
  outDesc.bufSizes = &outSize;
  outDesc.bufElSizes = &outElementSize;

  AACENC_InArgs inArgs{};
  inArgs.numInSamples = frameBytes / 2;
  AACENC_OutArgs outArgs{};
  if (aacEncEncode(s->handle, &inDesc, &outDesc, &inArgs, &outArgs) != AACENC_OK) return 1;
  out->data = s->output.data();
  out->capacity = static_cast<int>(s->output.size());
  out->length = outArgs.numOutBytes;
  return 0;
}

void CloseAudioEncoder(AacConfig* cfg) {
  if (cfg) cfg->state.reset();
}
