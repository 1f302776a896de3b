// The x264 settings that reach the encoder, the level chosen for the size,
// the configured rate's effect and the periodic reopen.
#include <gtest/gtest.h>

#include <vector>

#include "encodemediathensendthroughrtmp/RgbToI420.h"
#include "encodemediathensendthroughrtmp/VideoEncoder.h"

namespace {

x264_param_t PresetParams() {
  x264_param_t p;
  x264_param_default(&p);
  x264_param_default_preset(&p, "medium", "film");
  x264_param_apply_profile(&p, "high");
  return p;
}

TEST(VideoEncoderSettings, BframesFollowTheKeyInterval) {
  VideoEncoderSettings r;
  r.bframeCount = 5;
  r.keyInterval = 3;
  x264_param_t p = PresetParams();
  ApplyVideoEncoderSettings(&r, &p);
  EXPECT_EQ(p.i_bframe, 3);
  EXPECT_EQ(p.i_frame_reference, 4);
  EXPECT_EQ(p.i_keyint_max, 3);
  EXPECT_EQ(p.i_keyint_min, 3);
  r.keyInterval = 60;
  p = PresetParams();
  ApplyVideoEncoderSettings(&r, &p);
  EXPECT_EQ(p.i_frame_reference, 30);
  r.bframeCount = 0;
  p = PresetParams();
  ApplyVideoEncoderSettings(&r, &p);
  EXPECT_EQ(p.i_bframe, 0) << "a count of 0 means none, whatever the preset has";
}

TEST(VideoEncoderSettings, QualityModeClampsTheQuantiserToTheRange) {
  VideoEncoderSettings r;
  r.rateControlMode = 0;
  r.vbrQuality = 45;
  x264_param_t p = PresetParams();
  ApplyVideoEncoderSettings(&r, &p);
  EXPECT_EQ(p.rc.i_rc_method, X264_RC_CQP);
  EXPECT_EQ(p.rc.i_qp_constant, 45);
  r.rfConstant = 20;
  p = PresetParams();
  ApplyVideoEncoderSettings(&r, &p);
  EXPECT_EQ(p.rc.i_qp_max, 30);
  EXPECT_EQ(p.rc.i_qp_constant, 30);
}

TEST(VideoEncoderSettings, RateModeCapsCrfWithTheConfiguredRate) {
  VideoEncoderSettings r;
  r.bitrateKbps = 0;
  x264_param_t p = PresetParams();
  ApplyVideoEncoderSettings(&r, &p);
  EXPECT_EQ(p.rc.i_rc_method, X264_RC_CRF);
  EXPECT_EQ(p.rc.i_bitrate, 300);
  EXPECT_EQ(p.rc.i_vbv_max_bitrate, 300);
  EXPECT_EQ(p.rc.i_qp_min, 29);
  r.bitrateKbps = 1500;
  r.abrQmin = 20;
  p = PresetParams();
  ApplyVideoEncoderSettings(&r, &p);
  EXPECT_EQ(p.rc.i_vbv_max_bitrate, 1500);
  EXPECT_EQ(p.rc.i_vbv_buffer_size, 1500);
  EXPECT_EQ(p.rc.i_qp_min, 20);
  EXPECT_EQ(p.i_threads, 1);
  EXPECT_EQ(p.rc.i_lookahead, 0);
}

TEST(VideoEncoderSettings, LevelFitsSizeRateBitrateAndReferences) {
  EXPECT_EQ(H264LevelFor(320, 240, 10, 160, 3), 11);
  EXPECT_EQ(H264LevelFor(640, 480, 25, 800, 3), 30);
  EXPECT_EQ(H264LevelFor(1280, 720, 25, 2000, 3), 31);
  EXPECT_EQ(H264LevelFor(1280, 720, 60, 2000, 3), 32);
  EXPECT_EQ(H264LevelFor(1920, 1080, 30, 4000, 3), 40);
  EXPECT_EQ(H264LevelFor(1920, 1080, 30, 30000, 3), 41) << "the rate alone lifts the level";
  EXPECT_EQ(H264LevelFor(3840, 2160, 30, 8000, 3), 51);
  // The decoded picture buffer alone lifts these: 920 and 8160 macroblocks
  // a picture, 16 pictures kept.
  EXPECT_EQ(H264LevelFor(640, 360, 25, 800, 16), 31);
  EXPECT_EQ(H264LevelFor(1920, 1080, 30, 4000, 16), 51);
}

// Encodes `count` grey pictures; returns the total bytes and whether the
// last produced unit held an IDR with SPS and PPS.
struct EncodeRun {
  int bytes = 0;
  int failures = 0;
  std::vector<int> sizes;
};

EncodeRun EncodeFrames(VideoEncoderSettings* r, int count, int seed = 0) {
  std::vector<uint8_t> bgr(static_cast<size_t>(r->width) * r->height * 3);
  std::vector<uint8_t> i420(I420Size(r->width, r->height));
  EncodeRun run;
  unsigned state = 12345u + seed;
  for (int n = 0; n < count; ++n) {
    for (auto& b : bgr) {  // noise: hard to compress, so the rate shows
      state = state * 1103515245u + 12345u;
      b = static_cast<uint8_t>(state >> 24);
    }
    FlipAndConvertRgbToI420(i420.data(), bgr.data(), r->width, r->height);
    r->input = i420.data();
    r->inputLength = static_cast<int>(i420.size());
    if (EncodeVideoFrame(r) != 0) {
      run.failures++;
      run.sizes.push_back(-1);
      continue;
    }
    run.bytes += r->outputLength;
    run.sizes.push_back(r->outputLength);
  }
  return run;
}

bool HasNalType(const uint8_t* p, int n, int type) {
  for (int i = 0; i + 3 < n; ++i)
    if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1 && (p[i + 3] & 0x1F) == type) return true;
  return false;
}

// An encoder at 25 fps with a key frame every 250 pictures and no B-frames,
// writing into a buffer of its own that holds any picture of its size.
struct BufferedEncoder {
  BufferedEncoder() {
    r.output = out.data();
    r.outputCapacity = static_cast<int>(out.size());
    r.frameRate = 25;
    r.keyInterval = 250;
    r.bframeCount = 0;
  }
  std::vector<uint8_t> out = std::vector<uint8_t>(320 * 240 * 4);
  VideoEncoderSettings r;
};

TEST(VideoEncoder, ConfiguredRateChangesTheOutput) {
  auto bytesAt = [](int kbps) {
    BufferedEncoder encoder;
    encoder.r.bitrateKbps = kbps;
    EXPECT_EQ(OpenVideoEncoder(&encoder.r), 0);
    return EncodeFrames(&encoder.r, 50).bytes;
  };
  const int high = bytesAt(2000);
  const int low = bytesAt(64);
  EXPECT_LT(low * 3, high) << "64 kbps should give far fewer bytes than 2000 kbps";
}

TEST(VideoEncoder, PictureAfterTheFrameLimitReopensWithAKeyFrame) {
  BufferedEncoder encoder;
  VideoEncoderSettings& r = encoder.r;
  ASSERT_EQ(OpenVideoEncoder(&r), 0);
  EncodeRun first = EncodeFrames(&r, 3);
  EXPECT_EQ(first.failures, 0);
  EXPECT_TRUE(r.session != nullptr);
  r.frameCount = 100000;  // as if 100000 pictures had gone through
  EncodeRun reopen = EncodeFrames(&r, 1);
  EXPECT_EQ(reopen.failures, 1) << "the 100001st picture is not encoded";
  EXPECT_EQ(r.outputLength, 0);
  EncodeRun next = EncodeFrames(&r, 1);
  ASSERT_EQ(next.failures, 0);
  ASSERT_GT(r.outputLength, 0);
  EXPECT_TRUE(r.lastFrameIdr);
  EXPECT_TRUE(HasNalType(r.output, r.outputLength, 7)) << "SPS";
  EXPECT_TRUE(HasNalType(r.output, r.outputLength, 8)) << "PPS";
  EXPECT_TRUE(HasNalType(r.output, r.outputLength, 5)) << "IDR";
}

TEST(VideoEncoder, AKeyFrameAskedForIsTheNextPictureAndOnlyThatOne) {
  BufferedEncoder encoder;
  VideoEncoderSettings& r = encoder.r;
  ASSERT_EQ(OpenVideoEncoder(&r), 0);
  ASSERT_EQ(EncodeFrames(&r, 5).failures, 0);
  EXPECT_FALSE(r.lastFrameIdr) << "a key frame every 250 pictures";
  r.keyFrameRequested = true;
  ASSERT_EQ(EncodeFrames(&r, 1, 1).failures, 0);
  EXPECT_TRUE(r.lastFrameIdr);
  EXPECT_TRUE(HasNalType(r.output, r.outputLength, 5)) << "IDR";
  EXPECT_FALSE(r.keyFrameRequested);
  ASSERT_EQ(EncodeFrames(&r, 1, 2).failures, 0);
  EXPECT_FALSE(r.lastFrameIdr);
}

TEST(VideoEncoder, AccessUnitLargerThanTheBufferIsDroppedNotCopied) {
  VideoEncoderSettings r;
  std::vector<uint8_t> out(64 + 16, 0xAB);
  r.output = out.data();
  r.outputCapacity = 64;
  r.bframeCount = 0;
  ASSERT_EQ(OpenVideoEncoder(&r), 0);
  EncodeRun run = EncodeFrames(&r, 2);
  EXPECT_EQ(run.failures, 2);
  for (size_t i = 64; i < out.size(); ++i) EXPECT_EQ(out[i], 0xAB);
}

}  // namespace
