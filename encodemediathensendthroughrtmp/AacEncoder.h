// The HE-AAC wrapper the encoder object encodes its PCM frames with: HE-AAC
// (SBR) for one channel, HE-AAC v2 (SBR + parametric stereo) for two, raw
// frames without ADTS. Backed by fdk-aac; every encoder object owns its own
// state inside its AacConfig, so several objects can encode side by side.
// Not thread-safe per state: the encoder object serialises calls with its
// AAC lock.
#pragma once
#include <cstdint>
#include <memory>

struct PcmFormat {
  int bitsPerSample = 16;
  int sampleRate = 44100;
  int channels = 2;
};

struct AacEncoderState;

struct AacConfig {
  int bitRate = 64000;
  int inputChannels = 0;
  int outputChannels = 0;
  int coreSampleRate = 0;  // filled by InitAudioEncoder: half the input rate
  int bandwidth = 0;       // 0 = encoder's choice
  bool parametricStereo = false;
  // Filled by InitAudioEncoder: how many samples per channel a sound comes
  // out of a decoder later than it went into the encoder.
  int delaySamples = 0;
  std::unique_ptr<AacEncoderState> state;

  AacConfig();
  ~AacConfig();
  AacConfig(const AacConfig&) = delete;
  AacConfig& operator=(const AacConfig&) = delete;
};

struct BufferDesc {
  uint8_t* data = nullptr;
  int capacity = 0;
  int length = 0;
};

// Samples per channel that one EncodeAudioFrame call consumes.
inline constexpr int kAacInputSamplesPerChannel = 2048;

// Applies the rate clamps to cfg->bitRate and opens an encoder in cfg.
// 0 on success, 1 on failure (unsupported format, or the library refused).
int InitAudioEncoder(const PcmFormat* pcm, AacConfig* cfg);
// Encodes in (channels x 2048 16-bit samples). On success out->data points
// at a buffer inside cfg's state, valid until the next call, and
// out->length is the frame's size, which is 0 while the encoder primes.
// 0 on success, 1 on a null or short argument or an encoder error.
int EncodeAudioFrame(const PcmFormat* pcm, const AacConfig* cfg, BufferDesc* in, BufferDesc* out);
void CloseAudioEncoder(AacConfig* cfg);

// The rate InitAudioEncoder will use for a requested rate at a sample rate.
int ClampAacBitrate(int sampleRate, int bitRate);
