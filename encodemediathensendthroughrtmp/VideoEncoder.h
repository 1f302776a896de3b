// The x264 side of the encoder object: a settings record the object owns and
// four plain functions that open, reconfigure, feed and close an x264 encoder
// from it. The encoder object calls them under its video lock; tests call them
// directly to check the settings that reach x264.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <utility>
// x264.h expects the fixed-width types to be declared already.
#include <x264.h>

struct X264Session;

struct VideoEncoderSettings {
  int width = 320;
  int height = 240;
  int colourSpace = 4106;  // carried for the manager, never used here

  const uint8_t* input = nullptr;  // I420 picture of width x height
  int inputLength = 0;
  uint32_t inputTimestamp = 0;  // capture time of `input` in ms

  uint8_t* output = nullptr;  // Annex-B access unit of the last EncodeVideoFrame
  int outputCapacity = 0;
  int outputLength = 0;
  // The picture in `output` is not always the one just put in: x264 may hold
  // pictures back and, with B-frames, sends them in decode order. Its own
  // capture time, and how long after its decode time it is shown.
  uint32_t outputTimestamp = 0;
  int outputCompositionMs = 0;

  int frameRate = 10;
  int keyInterval = 30;
  int rateControlMode = 1;  // 1 bit rate (CRF capped by VBV), 0 constant quality
  int bitrateKbps = 160;
  int vbrQuality = 26;
  float rfConstant = 0.0f;
  float rfConstantMax = 0.0f;
  int bframeCount = 5;
  int abrQmin = 0;
  bool lastFrameIdr = false;
  // The next picture put in is coded as an IDR; cleared once it is.
  bool keyFrameRequested = false;
  uint32_t openTime = 0;  // tick of the last open, 0 when closed
  int frameCount = 0;     // pictures since the last open

  std::unique_ptr<X264Session> session;

  VideoEncoderSettings();
  ~VideoEncoderSettings();
  VideoEncoderSettings(const VideoEncoderSettings&) = delete;
  VideoEncoderSettings& operator=(const VideoEncoderSettings&) = delete;
};

// The open encoder: its handle, the parameter set it was opened with (kept for
// reconfiguring in place), the picture counter and the capture times of the
// recent pictures by counter value.
struct X264Session {
  int64_t ptsCounter = 0;
  int fpsDenominator = 1;
  x264_t* handle = nullptr;
  x264_param_t params{};
  int openedWidth = 0;  // x264 cannot change the picture size in place
  int openedHeight = 0;
  std::deque<std::pair<int64_t, uint32_t>> captureTimes;
};

// 0 on success, -1 when x264 refused the settings (the record stays closed).
int OpenVideoEncoder(VideoEncoderSettings* record);
// Copies the record's settings into p (the fields the encoder controls only).
void ApplyVideoEncoderSettings(const VideoEncoderSettings* record, x264_param_t* p);
// 0 when an access unit was produced (output length may be 0: x264 held the
// picture back), -1 when the picture was not encoded. Every 100000 pictures
// or 30 minutes the encoder is reopened instead and that picture is lost.
int EncodeVideoFrame(VideoEncoderSettings* record);
void CloseVideoEncoder(VideoEncoderSettings* record);

// The lowest H.264 level whose frame size, macroblock rate, decoded picture
// buffer (dpbFrames pictures) and (High profile) bit rate limits hold the
// given stream; 52 when nothing smaller fits.
int H264LevelFor(int width, int height, int fps, int maxKbps, int dpbFrames);
// The pictures x264 will ask the decoder to keep for these parameters (its
// max_num_ref_frames), which the level must have room for.
int DecodedPictureBufferFrames(const x264_param_t* p);
