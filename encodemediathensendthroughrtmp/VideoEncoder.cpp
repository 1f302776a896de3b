#include "encodemediathensendthroughrtmp/VideoEncoder.h"

#include <algorithm>
#include <cstring>

#include "common/Log.h"
#include "platform/base/tick.h"

namespace {

constexpr int kReopenAfterFrames = 100000;
constexpr uint32_t kReopenAfterMs = 1800000;

struct LevelLimit {
  int idc;
  int maxMbPerSecond;
  int maxFrameMbs;
  int maxDpbMbs;
  int maxKbps;  // baseline/main; High allows 1.25 times this
};

constexpr LevelLimit kLevels[] = {
    {10, 1485, 99, 396, 64},              {11, 3000, 396, 900, 192},
    {12, 6000, 396, 2376, 384},           {13, 11880, 396, 2376, 768},
    {20, 11880, 396, 2376, 2000},         {21, 19800, 792, 4752, 4000},
    {22, 20250, 1620, 8100, 4000},        {30, 40500, 1620, 8100, 10000},
    {31, 108000, 3600, 18000, 14000},     {32, 216000, 5120, 20480, 20000},
    {40, 245760, 8192, 32768, 20000},     {41, 245760, 8192, 32768, 50000},
    {42, 522240, 8704, 34816, 50000},     {50, 589824, 22080, 110400, 135000},
    {51, 983040, 36864, 184320, 240000},  {52, 2073600, 36864, 184320, 240000},
};

// x264 never lets a stream reference more pictures than this.
constexpr int kMaxReferences = 16;
// Capture times kept per open encoder: more than x264 ever holds back.
constexpr size_t kCaptureTimesKept = 64;

// A level also bounds each side: sqrt(8 x MaxFS) macroblocks.
bool SideFits(int mbs, int maxFrameMbs) { return static_cast<int64_t>(mbs) * mbs <= 8LL * maxFrameMbs; }

}  // namespace

VideoEncoderSettings::VideoEncoderSettings() = default;
VideoEncoderSettings::~VideoEncoderSettings() { CloseVideoEncoder(this); }

int H264LevelFor(int width, int height, int fps, int maxKbps, int dpbFrames) {
  const int mbWide = (std::max(width, 1) + 15) / 16;
  const int mbHigh = (std::max(height, 1) + 15) / 16;
  const int64_t frameMbs = static_cast<int64_t>(mbWide) * mbHigh;
  const int64_t mbPerSecond = frameMbs * std::max(fps, 1);
  const int64_t dpbMbs = frameMbs * std::max(dpbFrames, 1);
  for (const LevelLimit& level : kLevels) {
    if (frameMbs <= level.maxFrameMbs && mbPerSecond <= level.maxMbPerSecond && dpbMbs <= level.maxDpbMbs &&
        SideFits(mbWide, level.maxFrameMbs) && SideFits(mbHigh, level.maxFrameMbs) &&
        static_cast<int64_t>(maxKbps) * 4 <= static_cast<int64_t>(level.maxKbps) * 5) {
      return level.idc;
    }
  }
  return 52;
}

int DecodedPictureBufferFrames(const x264_param_t* p) {
  if (!p) return 1;
  // x264's own rule for the sequence's max_num_ref_frames: the references
  // asked for, room for the pictures waiting to be shown, and the B-pyramid's
  // extra reference.
  if (p->i_keyint_max == 1) return 1;
  const int bframes = std::clamp(p->i_bframe, 0, kMaxReferences);
  const int pyramid = bframes > 1 ? p->i_bframe_pyramid : X264_B_PYRAMID_NONE;
  const int reorder = pyramid != X264_B_PYRAMID_NONE ? 2 : (bframes > 0 ? 1 : 0);
  int frames = std::max({std::clamp(p->i_frame_reference, 1, kMaxReferences), 1 + reorder,
                         pyramid != X264_B_PYRAMID_NONE ? 4 : 1, std::clamp(p->i_dpb_size, 1, kMaxReferences)});
  frames = std::min(frames, kMaxReferences);
  if (pyramid == X264_B_PYRAMID_STRICT) frames -= 1;
  return frames;
}

void ApplyVideoEncoderSettings(const VideoEncoderSettings* record, x264_param_t* p) {
  if (!record || !p) return;
  p->i_width = record->width;
  p->i_height = record->height;
  // Variable-rate input makes x264 hold each picture back until the next
  // one arrives; the sender would then stamp every access unit with the
  // following picture's time. The pictures come at the configured rate.
  p->b_vfr_input = 0;
  if (record->frameRate > 0) {
    p->i_fps_num = record->frameRate;
    p->i_fps_den = 1;
    p->i_timebase_num = 1;
    p->i_timebase_den = record->frameRate;
  }
  if (record->keyInterval > 0) {
    p->i_keyint_max = record->keyInterval;
    p->i_keyint_min = record->keyInterval;
  }
  if (record->bframeCount > 0) {
    p->i_frame_reference = p->i_keyint_max <= 30 ? p->i_keyint_max + 1 : 30;
    p->i_bframe_bias = 100;
    p->i_bframe = std::min(record->bframeCount, p->i_keyint_max);
    p->i_bframe_adaptive = 1;
    p->i_bframe_pyramid = 1;
    p->b_constrained_intra = 1;
  } else {
    // A count of 0 means none, whatever the preset has.
    p->i_bframe = 0;
  }
  int vbvKbps = 0;
  if (record->rateControlMode == 1) {
    p->rc.i_rc_method = X264_RC_CRF;
    p->rc.i_qp_min = record->abrQmin > 0 ? record->abrQmin : 29;
    if (record->rfConstant > 0 && record->rfConstant < 52) p->rc.f_rf_constant = record->rfConstant;
    if (record->rfConstantMax > 0 && record->rfConstantMax < 52) p->rc.f_rf_constant_max = record->rfConstantMax;
    p->rc.f_rate_tolerance = 4.0f;
    p->rc.i_bitrate = record->bitrateKbps != 0 ? record->bitrateKbps : 300;
    // CRF alone ignores i_bitrate; the VBV cap is what makes the configured
    // rate (and the adaptive floor) reach the stream.
    vbvKbps = p->rc.i_bitrate;
    p->rc.i_vbv_max_bitrate = vbvKbps;
    p->rc.i_vbv_buffer_size = vbvKbps;
  } else if (record->rateControlMode == 0) {
    p->rc.i_rc_method = X264_RC_CQP;
    if (record->rfConstant > 0 && record->rfConstant < 52) {
      p->rc.f_rf_constant = 30.0f;
      p->rc.i_qp_max = 30;
    }
    if (record->rfConstantMax > 0 && record->rfConstantMax < 52) p->rc.f_rf_constant_max = 40.0f;
    if (record->vbrQuality > 0) {
      p->rc.i_qp_constant = std::clamp(record->vbrQuality, p->rc.i_qp_min, std::max(p->rc.i_qp_min, p->rc.i_qp_max));
    }
  }
  p->b_deterministic = 0;
  p->i_scenecut_threshold = 15;
  p->i_csp = X264_CSP_I420;
  p->rc.i_lookahead = 0;
  // Without this x264 keeps one picture back even with no B-frames.
  p->i_sync_lookahead = 0;
  p->i_threads = 1;
  p->i_log_level = -1;
  // Last: the level depends on the references and B-frames set above.
  p->i_level_idc = H264LevelFor(record->width, record->height, record->frameRate > 0 ? record->frameRate : 10,
                                vbvKbps, DecodedPictureBufferFrames(p));
}

int OpenVideoEncoder(VideoEncoderSettings* record) {
  if (!record) return -1;
  if (record->width <= 0 || record->height <= 0) return -1;
  auto session = std::make_unique<X264Session>();
  x264_param_t* p = &session->params;
  x264_param_default(p);
  if (x264_param_default_preset(p, "medium", "film") < 0) return -1;
  if (x264_param_apply_profile(p, "high") < 0) return -1;
  ApplyVideoEncoderSettings(record, p);
  x264_param_apply_fastfirstpass(p);
  session->handle = x264_encoder_open(p);
  if (!session->handle) return -1;
  session->openedWidth = record->width;
  session->openedHeight = record->height;
  session->fpsDenominator = p->i_fps_den > 0 ? static_cast<int>(p->i_fps_den) : 1;
  record->session = std::move(session);
  record->openTime = platform::TickCount();
  if (record->openTime == 0) record->openTime = 1;  // 0 means "closed"
  record->frameCount = 0;
  return 0;
}

void CloseVideoEncoder(VideoEncoderSettings* record) {
  if (!record || !record->session) return;
  if (record->session->handle) x264_encoder_close(record->session->handle);
  record->session.reset();
  record->openTime = 0;
  record->frameCount = 0;
}

namespace {

// The capture time of the picture x264 numbered `pts`. Decode times may lie
// before the first picture (x264 starts them early to make room for
// reordering); those are counted back from the oldest known picture.
int64_t CaptureTimeOf(const X264Session& s, int64_t pts) {
  for (auto it = s.captureTimes.rbegin(); it != s.captureTimes.rend(); ++it) {
    if (it->first == pts) return it->second;
  }
  if (s.captureTimes.empty()) return 0;
  const auto& oldest = s.captureTimes.front();
  const double msPerUnit = 1000.0 * std::max(1u, s.params.i_fps_den) / std::max(1u, s.params.i_fps_num);
  return static_cast<int64_t>(oldest.second) -
         static_cast<int64_t>(static_cast<double>(oldest.first - pts) * msPerUnit + 0.5);
}

}  // namespace

int EncodeVideoFrame(VideoEncoderSettings* record) {
  if (!record || !record->session || !record->session->handle) return -1;
  record->outputLength = 0;
  record->frameCount += 1;
  const uint32_t now = platform::TickCount();
  if (record->frameCount > kReopenAfterFrames ||
      (record->openTime != 0 && now - record->openTime > kReopenAfterMs)) {
    CloseVideoEncoder(record);
    OpenVideoEncoder(record);
    return -1;
  }
  if (record->session->openedWidth != record->width || record->session->openedHeight != record->height) {
    CloseVideoEncoder(record);
    if (OpenVideoEncoder(record) != 0) return -1;
  }
  X264Session* s = record->session.get();
  const size_t lumaSize = static_cast<size_t>(record->width) * record->height;
  if (!record->input || record->inputLength < 0 ||
      static_cast<size_t>(record->inputLength) < lumaSize * 3 / 2) {
    return -1;
  }
  ApplyVideoEncoderSettings(record, &s->params);
  x264_encoder_reconfig(s->handle, &s->params);

  x264_picture_t picture;
  x264_picture_init(&picture);
  picture.img.i_csp = X264_CSP_I420;
  picture.img.i_plane = 3;
  uint8_t* base = const_cast<uint8_t*>(record->input);
  picture.img.plane[0] = base;
  picture.img.plane[1] = base + lumaSize;
  picture.img.plane[2] = base + lumaSize + lumaSize / 4;
  picture.img.i_stride[0] = record->width;
  picture.img.i_stride[1] = record->width / 2;
  picture.img.i_stride[2] = record->width / 2;
  picture.i_pts = s->ptsCounter * s->fpsDenominator;
  if (record->keyFrameRequested) {
    picture.i_type = X264_TYPE_IDR;
    record->keyFrameRequested = false;
  }
  s->captureTimes.emplace_back(picture.i_pts, record->inputTimestamp);
  if (s->captureTimes.size() > kCaptureTimesKept) s->captureTimes.pop_front();

  x264_nal_t* nals = nullptr;
  int nalCount = 0;
  x264_picture_t out;
  int size = x264_encoder_encode(s->handle, &nals, &nalCount, &picture, &out);
  if (size < 0) return -1;
  // A held-back picture comes out with a later call. Asking for it with a
  // null picture would put x264 into its end-of-stream flush, after which
  // every further picture is refused.
  s->ptsCounter += 1;
  if (size == 0 || nalCount <= 0) return 0;
  // x264 lays the NAL units of one access unit out back to back.
  if (size > record->outputCapacity || !record->output) {
    STRIVON_LOG(kLogWarning, "EncodeVideoFrame", "access unit of %d bytes exceeds the %d-byte buffer, dropped",
                size, record->outputCapacity);
    return -1;
  }
  std::memcpy(record->output, nals[0].p_payload, static_cast<size_t>(size));
  record->outputLength = size;
  record->lastFrameIdr = out.i_type == X264_TYPE_IDR;
  // Capture times are unsigned and may wrap; the picture's own time is
  // exact, the composition offset is a short signed span.
  const int64_t shown = CaptureTimeOf(*s, out.i_pts);
  const int64_t decoded = CaptureTimeOf(*s, out.i_dts);
  record->outputTimestamp = static_cast<uint32_t>(shown);
  record->outputCompositionMs =
      static_cast<int>(std::max<int64_t>(0, static_cast<int32_t>(static_cast<uint32_t>(shown - decoded))));
  return 0;
}
