// The publish parameters a host sets before a run (sound format and bit rate,
// picture size, rate and bit rate, preview window) and the rules that clamp
// and derive them. The manager keeps one AudioParams and one VideoParams
// under its parameter lock; the publish run reads copies when it connects.
//
// Whatever a host passes, what is stored can be captured and encoded:
// - sound: a sample rate, channel count or sample size the HE-AAC encoder
//   cannot take is refused (logged, the previous value stays);
// - picture size: below 1 keeps the previous side, otherwise each side is
//   clamped to kMinPictureSide..1920 (width) and ..1080 (height) and rounded
//   down to an even number (the encoder works on 2 x 2 blocks);
// - frame rate: below 1 keeps the previous rate, above kMaxFrameRate is
//   capped to it (no capture delivers more, and the screen is pulled at the
//   rate).
#pragma once
#include <cstdint>

#include "encodemediathensendthroughrtmp/EncoderLimits.h"
#include "strivon/WindowHandle.h"

struct AudioParams {
  int sampleRate = 44100;
  int channels = 2;
  int bitsPerSample = 16;
  int bytesPerSecond = 176400;
  int bitrate = 0;
  int volume = 80;  // percent, as the host gave it
  bool mute = false;
};

struct VideoParams {
  int outputWidth = 320;
  int outputHeight = 240;
  int areaWidth = 0;
  int areaHeight = 0;
  int frameRate = 10;
  int keyInterval = 30;
  int bitrate = 0;  // 0: quality-driven
  int frameBytes = 244800;
  HWND display = 0;
  bool preview = false;
};

// Encoder settings stored by the JSON channel and SetVideoBitrate; applied
// when an encoder is configured.
struct EncoderSettings {
  int vbrQuality = -1;
  int bframeCount = 0;
  float rfConstant = 0.0f;
  float rfConstantMax = 0.0f;
  int abrQmin = 0;
};

inline constexpr int kMinPictureSide = 16;
inline constexpr int kMaxPictureWidth = 1920;
inline constexpr int kMaxPictureHeight = 1080;
inline constexpr int kMaxFrameRate = 60;
static_assert(IsEncodablePictureSize(kMinPictureSide, kMinPictureSide) &&
              IsEncodablePictureSize(kMaxPictureWidth, kMaxPictureHeight));

// A requested picture side (>= 1) as the library stores it: clamped to
// kMinPictureSide..maximum and rounded down to even.
int PublishablePictureSide(int requested, int maximum);
// A requested frame rate (>= 1) capped to kMaxFrameRate.
int PublishableFrameRate(int requested);

void ApplyAudioPara(AudioParams* audio, int samplerate, int channels, int bitpersample, int bitrate, int volum,
                    bool bMute);

// Returns the picture's byte count width x height x 3 of the stored size.
int ApplyVideoPara(VideoParams* video, int width, int height, int framerate, int bitrate, HWND display,
                   int keyInterval);
