#include "strivon/PublishParams.h"

#include <algorithm>
#include <climits>

namespace {

int ClampToInt(int64_t value) { return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX)); }

}  // namespace

void ApplyAudioPara(AudioParams* audio, int samplerate, int channels, int bitpersample, int bitrate, int volum,
                    bool bMute) {
  audio->sampleRate = samplerate;
  audio->channels = channels;
  audio->bitsPerSample = bitpersample;
  int64_t bitsPerSecond = 0;
  if (__builtin_mul_overflow(int64_t{channels} * bitpersample, int64_t{samplerate}, &bitsPerSecond))
    bitsPerSecond = INT64_MAX;
  audio->bytesPerSecond = ClampToInt(bitsPerSecond / 8);
  audio->mute = bMute;
  audio->volume = volum;
  audio->bitrate = std::clamp(bitrate, 16000, 64000);
}

int ApplyVideoPara(VideoParams* video, int width, int height, int framerate, int bitrate, HWND display,
                   int keyInterval) {
  // Nonsense sizes and rates keep what was there: the run divides by the
  // frame rate and allocates by the size.
  if (width >= 1) video->outputWidth = std::min(width, kMaxPictureSide);
  if (height >= 1) video->outputHeight = std::min(height, kMaxPictureSide);
  if (framerate >= 1) video->frameRate = framerate;
  video->areaWidth = video->outputWidth;
  video->areaHeight = video->outputHeight;

  const int64_t pictureBytes = int64_t{video->outputWidth} * video->outputHeight * 3;
  video->frameBytes = static_cast<int>((pictureBytes + 3) & ~int64_t{3});
  video->keyInterval = keyInterval > 0 ? keyInterval : ClampToInt(int64_t{3} * video->frameRate);
  video->bitrate = (bitrate >= 1 && bitrate < 64000) ? 64000 : bitrate;
  if (display != 0) {
    video->display = display;
    video->preview = true;
  }
  return static_cast<int>(pictureBytes);
}
