#include "strivon/PublishParams.h"

#include <algorithm>
#include <climits>

#include "common/Log.h"

namespace {

int ClampToInt(int64_t value) { return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX)); }

// A sound format the encoder cannot take would leave the run live without
// sound: the stored value stays.
void StoreIfEncodable(int* stored, int requested, bool encodable, const char* name) {
  if (encodable) {
    *stored = requested;
    return;
  }
  STRIVON_LOG(kLogWarning, "RtmpPublishManager::SetPublishAudioPara", "%s %d cannot be encoded, %d kept", name,
              requested, *stored);
}

}  // namespace

int PublishablePictureSide(int requested, int maximum) {
  return std::clamp(requested, kMinPictureSide, maximum) & ~1;
}

int PublishableFrameRate(int requested) { return std::min(requested, kMaxFrameRate); }

void ApplyAudioPara(AudioParams* audio, int samplerate, int channels, int bitpersample, int bitrate, int volum,
                    bool bMute) {
  StoreIfEncodable(&audio->sampleRate, samplerate, IsEncodableSampleRate(samplerate), "sample rate");
  StoreIfEncodable(&audio->channels, channels, IsEncodableChannelCount(channels), "channel count");
  StoreIfEncodable(&audio->bitsPerSample, bitpersample, bitpersample == kEncodableBitsPerSample, "bits per sample");
  audio->bytesPerSecond = audio->channels * audio->bitsPerSample * audio->sampleRate / 8;
  audio->mute = bMute;
  audio->volume = volum;
  audio->bitrate = std::clamp(bitrate, 16000, 64000);
}

int ApplyVideoPara(VideoParams* video, int width, int height, int framerate, int bitrate, HWND display,
                   int keyInterval) {
  // Nonsense sizes and rates keep what was there: the run divides by the
  // frame rate and allocates by the size.
  if (width >= 1) video->outputWidth = PublishablePictureSide(width, kMaxPictureWidth);
  if (height >= 1) video->outputHeight = PublishablePictureSide(height, kMaxPictureHeight);
  if (framerate >= 1) video->frameRate = PublishableFrameRate(framerate);
  if (video->outputWidth != width || video->outputHeight != height || video->frameRate != framerate) {
    STRIVON_LOG(kLogInfo, "RtmpPublishManager::SetPublishVideoPara", "publishing %dx%d at %d fps", video->outputWidth,
                video->outputHeight, video->frameRate);
  }
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
