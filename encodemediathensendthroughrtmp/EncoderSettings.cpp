// Configuration operations of the encoder object. Every codec change happens
// under that codec's lock, so a change waits for the frame being encoded, but
// never for a send.
#include <algorithm>
#include <new>

#include "common/Log.h"
#include "encodemediathensendthroughrtmp/EncoderMediaThenSendThroughRtmp.h"

namespace {
constexpr unsigned kMinAudioBps = 16000;
constexpr unsigned kMaxAudioBps = 64000;
}  // namespace

void CEncoderMediaThenSendThroughRtmp::ReopenAacLocked() {
  CloseAudioEncoder(&m_aacConfig);
  m_aacConfig.bitRate = static_cast<int>(m_currentAudioBitrate);
  m_aacOpens += 1;
  m_aacOpen = InitAudioEncoder(&m_pcmFormat, &m_aacConfig) == 0;
}

uint32_t CEncoderMediaThenSendThroughRtmp::PacketLeadMsLocked() const {
  // What a packet decodes into went into the encoder the codec's delay
  // before the frame it was encoded from began (HE-AAC v2: 7106 samples).
  if (m_pcmFormat.sampleRate <= 0) return 0;
  return static_cast<uint32_t>((int64_t{kAacInputSamplesPerChannel + m_aacConfig.delaySamples} * 1000 +
                                m_pcmFormat.sampleRate / 2) / m_pcmFormat.sampleRate);
}

void CEncoderMediaThenSendThroughRtmp::ReopenVideoLocked() {
  CloseVideoEncoder(&m_video);
  m_videoOpens += 1;
  m_videoOpen = OpenVideoEncoder(&m_video) == 0;
  // The client sizes its socket's buffer by the rate in force (lowered by
  // the adaptation, restored, or the host's), not the first one configured.
  if (IRtmpLib* transport = Transport())
    transport->SetVideoParams(m_video.width, m_video.height, m_video.frameRate,
                              m_video.rateControlMode == 1 ? m_video.bitrateKbps * 1000 : 0);
}

void CEncoderMediaThenSendThroughRtmp::SetAudioBitrate(unsigned bps) {
  STRIVON_LOG(kLogInfo, "CEncoderMediaThenSendThroughRtmp::SetAudioBitrate", "audio bitrate: %u", bps);
  bps = std::clamp(bps, kMinAudioBps, kMaxAudioBps);
  std::lock_guard<std::mutex> lock(m_aacLock);
  m_configuredAudioBitrate = bps;
  m_currentAudioBitrate = bps;
  ReopenAacLocked();
}

void CEncoderMediaThenSendThroughRtmp::SetLowAudioBitrate(bool low) {
  std::lock_guard<std::mutex> lock(m_aacLock);
  m_currentAudioBitrate = low ? kMinAudioBps : m_configuredAudioBitrate;
  ReopenAacLocked();
}

bool CEncoderMediaThenSendThroughRtmp::SetAudioFormat(int channels, int sampleRate, int bitsPerSample) {
  STRIVON_LOG(kLogInfo, "CEncoderMediaThenSendThroughRtmp::SetAudioFormat", "audio format: %d/%d/%d", channels,
              sampleRate, bitsPerSample);
  // Every one of the three must be usable: the ring's frame size and the AAC
  // encoder both depend on all of them.
  if (!IsEncodableChannelCount(channels) || !IsEncodableSampleRate(sampleRate) ||
      bitsPerSample != kEncodableBitsPerSample)
    return false;
  if (m_audioSentOnConnection) {
    std::lock_guard<std::mutex> lock(m_aacLock);
    // The client announced the format with the first frame of this
    // connection; frames of another format would not decode.
    if (channels != m_pcmFormat.channels || sampleRate != m_pcmFormat.sampleRate) {
      STRIVON_LOG(kLogWarning, "CEncoderMediaThenSendThroughRtmp::SetAudioFormat",
                  "sound already sent as %d/%d on this connection, format refused", m_pcmFormat.channels,
                  m_pcmFormat.sampleRate);
      return false;
    }
  }
  if (IRtmpLib* transport = Transport(); transport && !transport->SetAudioParams(channels, sampleRate)) return false;
  std::lock_guard<std::mutex> lock(m_aacLock);
  m_ring.Uninit();
  m_ring.Init();
  m_pcmFormat.channels = channels;
  m_pcmFormat.sampleRate = sampleRate;
  m_pcmFormat.bitsPerSample = bitsPerSample;
  m_frameBytes = channels * 4096;
  // An encoder opened for the previous format would take the new PCM for the
  // old one (another pitch, another frame length); a closed one opens with
  // the next block.
  if (m_aacOpen) ReopenAacLocked();
  m_audioFormatSet = true;
  return true;
}

void CEncoderMediaThenSendThroughRtmp::SetVideoBitrate(unsigned bps, int vbrQuality) {
  std::lock_guard<std::mutex> lock(m_videoLock);
  m_video.rateControlMode = 1;
  if (bps == 0) {
    m_video.rateControlMode = 0;
    if (vbrQuality != 0) m_video.vbrQuality = vbrQuality;
  }
  m_configuredVideoBitrate = bps;
  m_video.bitrateKbps = static_cast<int>(bps / 1000);
  STRIVON_LOG(kLogInfo, "CEncoderMediaThenSendThroughRtmp::SetVideoBitrate", "video bitrate: %u", bps);
  ReopenVideoLocked();
}

void CEncoderMediaThenSendThroughRtmp::ApplyFrameRateAndGop(int fps, int keyInterval, bool asConfigured) {
  if (fps <= 0) fps = 10;
  if (keyInterval <= 0) keyInterval = 3 * fps;
  std::lock_guard<std::mutex> lock(m_videoLock);
  if (asConfigured) {
    m_configuredFrameRate = fps;
    m_configuredKeyInterval = keyInterval;
  }
  m_video.frameRate = fps;
  m_video.keyInterval = keyInterval;
}

void CEncoderMediaThenSendThroughRtmp::SetFrameRateAndGop(int fps, int keyInterval) {
  ApplyFrameRateAndGop(fps, keyInterval, true);
}

void CEncoderMediaThenSendThroughRtmp::SetStaticScreenMode(bool on) {
  // The static-screen values are temporary: they must not replace the
  // configured ones that switching the mode off goes back to.
  if (on) {
    ApplyFrameRateAndGop(1, 3, false);
    return;
  }
  int fps = 0;
  int keyInterval = 0;
  {
    std::lock_guard<std::mutex> lock(m_videoLock);
    fps = m_configuredFrameRate;
    keyInterval = m_configuredKeyInterval;
  }
  ApplyFrameRateAndGop(fps, keyInterval, true);
}

bool CEncoderMediaThenSendThroughRtmp::SetVideoFormat(int width, int height, int colourSpace, int fps, unsigned bps,
                                                      int vbrQuality) {
  if (m_connected && m_videoFormatSet && width != 0 && height != 0) return false;
  STRIVON_LOG(kLogInfo, "CEncoderMediaThenSendThroughRtmp::SetVideoFormat", "video format: %d/%d/%d/%d/%d", width,
              height, colourSpace, fps, static_cast<int>(bps));
  if (!IsEncodablePictureSize(width, height)) {
    STRIVON_LOG(kLogWarning, "CEncoderMediaThenSendThroughRtmp::SetVideoFormat", "%dx%d cannot be encoded, refused",
                width, height);
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(m_videoLock);
    const size_t outputBytes = static_cast<size_t>(width) * height * 4;
    try {
      if (m_videoOutput.size() < outputBytes) m_videoOutput.resize(outputBytes);
    } catch (const std::bad_alloc&) {
      return false;
    }
    m_video.vbrQuality = vbrQuality;
    m_video.width = width;
    m_video.height = height;
    m_pictureSize = static_cast<uint64_t>(width) << 32 | static_cast<uint32_t>(height);
    m_video.colourSpace = colourSpace;
    m_video.output = m_videoOutput.data();
    m_video.outputCapacity = static_cast<int>(m_videoOutput.size());
    m_video.outputLength = 0;
  }
  IRtmpLib* transport = Transport();
  const bool result = transport ? transport->SetVideoParams(width, height, fps, static_cast<int>(bps)) : false;
  int keyInterval = 0;
  {
    std::lock_guard<std::mutex> lock(m_videoLock);
    keyInterval = m_configuredKeyInterval;
  }
  SetFrameRateAndGop(fps, keyInterval);
  SetVideoBitrate(bps, 0);
  m_videoFormatSet = true;
  return result;
}

void CEncoderMediaThenSendThroughRtmp::SetBframeCount(int count) {
  if (count > 0) {
    STRIVON_LOG(kLogInfo, "CEncoderMediaThenSendThroughRtmp::SetBframeCount",
                "%d B-frames asked; pictures go out in decode order with their composition times", count);
  }
  std::lock_guard<std::mutex> lock(m_videoLock);
  m_video.bframeCount = count;
}

void CEncoderMediaThenSendThroughRtmp::SetAbrQmin(int qmin) {
  std::lock_guard<std::mutex> lock(m_videoLock);
  m_video.abrQmin = qmin;
}

void CEncoderMediaThenSendThroughRtmp::SetRfConstant(float rfConstant, float rfConstantMax) {
  if (rfConstant < 0 && rfConstantMax < 0) return;
  std::lock_guard<std::mutex> lock(m_videoLock);
  m_video.rfConstant = rfConstantMax;
}

void CEncoderMediaThenSendThroughRtmp::RequestKeyFrame() {
  std::lock_guard<std::mutex> lock(m_videoLock);
  m_video.keyFrameRequested = true;
}

void CEncoderMediaThenSendThroughRtmp::ReopenVideoEncoder() {
  std::lock_guard<std::mutex> lock(m_videoLock);
  ReopenVideoLocked();
}

void CEncoderMediaThenSendThroughRtmp::SetAutoCtrlBitrate(bool on) {
  std::pair<unsigned, unsigned> restored;
  {
    // Under the lock a round trip decides and applies in: a lowering decided
    // just before the switch is either applied before the restore below or
    // not at all.
    std::lock_guard<std::mutex> lock(m_adaptiveLock);
    m_autoCtrl = on;
    if (on) return;
    m_adaptive.Reset();
    restored = RestoreConfiguredBitrates();
  }
  RaiseBitrateStatus(restored.first, restored.second);
}

std::pair<unsigned, unsigned> CEncoderMediaThenSendThroughRtmp::RestoreConfiguredBitrates() {
  unsigned audio = 0;
  unsigned video = 0;
  {
    std::lock_guard<std::mutex> lock(m_aacLock);
    audio = m_configuredAudioBitrate;
  }
  {
    std::lock_guard<std::mutex> lock(m_videoLock);
    video = m_configuredVideoBitrate;
  }
  SetAudioBitrate(audio);
  SetVideoBitrate(video, 0);
  return {audio, video};
}
