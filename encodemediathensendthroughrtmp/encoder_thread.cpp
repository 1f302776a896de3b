// The encoder thread and the queues that feed it: per pass one audio block
// (every whole AAC frame it completes) and one picture, both sent relative
// to the shared time base.
#include <cstring>
#include <new>

#include "common/Log.h"
#include "encodemediathensendthroughrtmp/EncoderMediaThenSendThroughRtmp.h"
#include "encodemediathensendthroughrtmp/RgbToI420.h"
#include "platform/base/tick.h"

namespace {
constexpr uint32_t kSendBufferReportMs = 49999;
}

bool CEncoderMediaThenSendThroughRtmp::SendRawAudio(const unsigned char* pcm, unsigned length,
                                                    unsigned timestampMs) {
  if (!m_connected || !pcm || length > kMaxAudioBlockBytes) return false;
  std::unique_ptr<AudioBlock> block;
  try {
    block = std::make_unique<AudioBlock>();
    block->pcm.assign(pcm, pcm + length);
  } catch (const std::bad_alloc&) {
    return false;
  }
  block->timestamp = timestampMs;
  m_lastQueuedAudioTs = timestampMs;
  std::lock_guard<std::mutex> lock(m_audioQueueLock);
  try {
    m_audioQueue.push_back(std::move(block));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool CEncoderMediaThenSendThroughRtmp::SendRawVideo(const unsigned char* rgb24, unsigned length,
                                                    unsigned timestampMs) {
  if (!m_connected || !rgb24 || length >= kMaxVideoFrameBytes) return false;
  RawFrame* frame = m_framePool.Acquire(static_cast<size_t>(length) + 9);
  if (!frame) return false;
  frame->inUse = true;
  frame->length = length;
  frame->timestamp = timestampMs;
  std::memcpy(frame->bytes.data(), rgb24, length);
  std::lock_guard<std::mutex> lock(m_videoQueueLock);
  m_videoQueue.push_back(frame);  // never more than the pool's 8: no allocation failure in practice
  return true;
}

uint32_t CEncoderMediaThenSendThroughRtmp::EnsureTimeBase(uint32_t ts) {
  uint32_t expected = kNoTimeBase;
  if (m_timeBase.compare_exchange_strong(expected, ts)) return ts;
  return expected;
}

void CEncoderMediaThenSendThroughRtmp::SafeThreadProcMain() {
  if (!platform::SetCurrentThreadPriority(platform::ThreadPriority::TimeCritical)) {
    STRIVON_LOG(kLogFatal, "CEncoderMediaThenSendThroughRtmp::SafeThreadProcMain",
                "Failed to set encoder thread mode (%d)", errno);
  }
  m_reportTick = platform::TickCount();
  while (IsRunning()) {
    if (m_connected) {
      if (m_aacOpen) {
        RunAudioStep();
        MaybeReportSendBuffer();
      }
      if (m_videoOpen) RunVideoStep();
      RunCommandStep();
    }
    platform::SleepMs(1);
  }
}

void CEncoderMediaThenSendThroughRtmp::MaybeReportSendBuffer() {
  const uint32_t now = platform::TickCount();
  if (now - m_reportTick <= kSendBufferReportMs) return;
  m_reportTick = now;
  if (!m_notify) return;
  const int lag = static_cast<int>(m_lastQueuedAudioTs.load() - m_lastTakenAudioTs.load());
  std::string json;
  FormatString(&json, "{\n   \"MaxSendBuffSize\" : %d\n}\n", lag);
  m_notify->OnEncoderMediaThenSendThroughRtmpReport(json.c_str());
}

void CEncoderMediaThenSendThroughRtmp::RunCommandStep() {
  int command = 0;
  {
    std::lock_guard<std::mutex> lock(m_commandLock);
    if (m_commands.empty()) return;
    command = m_commands.front();
    m_commands.pop_front();
  }
  if (command == kCommandPing) {
    if (IRtmpLib* transport = Transport()) transport->SendPing();
  }
}

void CEncoderMediaThenSendThroughRtmp::RunAudioStep() {
  std::unique_ptr<AudioBlock> block;
  {
    std::lock_guard<std::mutex> lock(m_audioQueueLock);
    if (m_audioQueue.empty()) return;
    block = std::move(m_audioQueue.front());
    m_audioQueue.pop_front();
  }
  m_lastTakenAudioTs = block->timestamp;
  if (block->pcm.empty()) return;

  int frameBytes = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(m_aacLock);
    if (!m_aacOpen && m_connected && m_audioFormatSet) ReopenAacLocked();
    frameBytes = m_frameBytes;
  }
  IRtmpLib* transport = Transport();
  if (!m_audioFormatSet || !m_aacOpen || !transport) return;
  if (frameBytes <= 0 || static_cast<size_t>(frameBytes) > m_pcmFrame.size()) return;

  const int written = m_ring.Write(reinterpret_cast<const char*>(block->pcm.data()),
                                   static_cast<int>(block->pcm.size()));
  short* frame = reinterpret_cast<short*>(m_pcmFrame.data());
  bool haveFrame = m_ring.Read(frame, frameBytes) == frameBytes;
  if (written == 0 || !haveFrame) return;

  while (haveFrame && m_connected) {
    bool ok = false;
    {
      std::lock_guard<std::recursive_mutex> lock(m_aacLock);
      if (!m_aacOpen || m_frameBytes != frameBytes) break;
      BufferDesc in{m_pcmFrame.data(), static_cast<int>(m_pcmFrame.size()), frameBytes};
      BufferDesc out;
      const bool encoded = EncodeAudioFrame(&m_pcmFormat, &m_aacConfig, &in, &out) == 0;
      const uint32_t base = EnsureTimeBase(block->timestamp);
      if (encoded && block->timestamp >= base) {
        // The encoder primes for a few frames; an empty frame is not a frame.
        ok = out.length <= 0 ||
             transport->SendAAC(out.data, out.length, block->timestamp - base);
      }
    }
    if (!ok) break;
    haveFrame = m_ring.Read(frame, frameBytes) == frameBytes;
  }
}

void CEncoderMediaThenSendThroughRtmp::RunVideoStep() {
  RawFrame* frame = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_videoQueueLock);
    if (m_videoQueue.empty()) return;
    frame = m_videoQueue.front();
    m_videoQueue.pop_front();
  }
  if (frame->inUse && frame->length != 0) {
    int width = 0;
    int height = 0;
    bool open = false;
    {
      std::lock_guard<std::recursive_mutex> lock(m_videoLock);
      if (!m_videoOpen && m_connected && m_videoFormatSet) ReopenVideoLocked();
      open = m_videoOpen;
      width = m_video.width;
      height = m_video.height;
    }
    IRtmpLib* transport = Transport();
    const size_t expected = static_cast<size_t>(width) * height * 3;
    // A frame queued for another picture size cannot be converted safely.
    if (open && transport && m_connected && frame->length == expected) {
      bool converted = true;
      try {
        if (m_i420.size() < I420Size(width, height)) m_i420.assign(I420Size(width, height), 0);
      } catch (const std::bad_alloc&) {
        converted = false;
      }
      if (converted) {
        FlipAndConvertRgbToI420(m_i420.data(), frame->bytes.data(), width, height);
        std::lock_guard<std::recursive_mutex> lock(m_videoLock);
        if (m_videoOpen && m_video.width == width && m_video.height == height) {
          m_video.input = m_i420.data();
          m_video.inputLength = static_cast<int>(I420Size(width, height));
          if (EncodeVideoFrame(&m_video) == 0 && m_video.outputLength > 0) {
            const uint32_t base = EnsureTimeBase(frame->timestamp);
            if (frame->timestamp >= base &&
                !transport->SendVideoH264(m_video.output, m_video.outputLength, frame->timestamp - base)) {
              STRIVON_LOG(kLogInfo, "CEncoderMediaThenSendThroughRtmp::RunVideoStep", "SendVideoH264 failed");
            }
          }
          m_video.input = nullptr;
          m_videoOpen = m_video.session != nullptr;
        }
      }
    } else if (open && frame->length != expected) {
      STRIVON_LOG(kLogWarning, "CEncoderMediaThenSendThroughRtmp::RunVideoStep",
                  "frame of %u bytes does not match %dx%d, dropped", frame->length, width, height);
    }
    frame->inUse = false;
  }
  m_framePool.Return(frame);
}
