// The publish parameters a host sets before a run (sound format and bit rate,
// picture size, rate and bit rate, preview window) and the rules that clamp
// and derive them. The manager keeps one AudioParams and one VideoParams
// under its parameter lock; the publish run reads copies when it connects.
#pragma once
#include <cstdint>

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

// Largest picture side accepted; keeps every byte count of a picture well
// inside 32 bits.
inline constexpr int kMaxPictureSide = 8192;

void ApplyAudioPara(AudioParams* audio, int samplerate, int channels, int bitpersample, int bitrate, int volum,
                    bool bMute);

// Returns the picture's byte count width x height x 3 of the stored size.
int ApplyVideoPara(VideoParams* video, int width, int height, int framerate, int bitrate, HWND display,
                   int keyInterval);
