// The encoder thread and the queues that feed it: per pass all queued sound
// (every whole AAC frame it completes) and one picture, both sent relative
// to the shared time base. Codecs are used under their locks; sends happen
// outside them.
#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <utility>

#include "common/Log.h"
#include "encodemediathensendthroughrtmp/EncoderMediaThenSendThroughRtmp.h"
#include "encodemediathensendthroughrtmp/RgbToI420.h"
#include "platform/base/tick.h"

namespace {
constexpr uint32_t kSendBufferReportMs = 49999;
}

bool CEncoderMediaThenSendThroughRtmp::SendRawAudio(const unsigned char* pcm, unsigned length,
                                                    unsigned timestampMs) {
  // Without a sound format nothing could encode the block: refusing it is
  // the honest answer, accepting it would report a loss as success.
  if (!m_connected || !m_audioFormatSet || !pcm || length > kMaxAudioBlockBytes) return false;
  std::unique_ptr<AudioBlock> block;
  try {
    block = std::make_unique<AudioBlock>();
    block->pcm.assign(pcm, pcm + length);
  } catch (const std::bad_alloc&) {
    return false;
  }
  block->timestamp = timestampMs;
  int refused = 0;
  int refusedBefore = 0;
  {
    std::lock_guard<std::mutex> lock(m_audioQueueLock);
    // When the encoder falls behind (a server that stops reading), new sound
    // is refused rather than old sound dropped: the picture pool refuses new
    // pictures the same way, so what stays queued of both is the same stretch
    // of time and the stream goes on in sync; the caller sees the loss.
    if (m_queuedAudioBytes + length > kMaxQueuedAudioBytes || m_audioQueue.size() >= kMaxQueuedAudioBlocks) {
      refused = ++m_refusedAudioBlocks;
    } else {
      try {
        m_audioQueue.push_back(std::move(block));
      } catch (const std::bad_alloc&) {
        return false;
      }
      m_queuedAudioBytes += length;
      refusedBefore = std::exchange(m_refusedAudioBlocks, 0);
    }
  }
  if (refused == 1) {
    STRIVON_LOG(kLogWarning, "CEncoderMediaThenSendThroughRtmp::SendRawAudio",
                "audio queue full (%u bytes), refusing new sound until the encoder catches up",
                static_cast<unsigned>(kMaxQueuedAudioBytes));
  }
  if (refused > 0) return false;
  if (refusedBefore > 0) {
    STRIVON_LOG(kLogInfo, "CEncoderMediaThenSendThroughRtmp::SendRawAudio",
                "audio queue accepts again after %d refused blocks", refusedBefore);
  }
  m_lastQueuedAudioTs = timestampMs;
  WakeEncoderThread();
  return true;
}

bool CEncoderMediaThenSendThroughRtmp::SendRawVideo(const unsigned char* rgb24, unsigned length,
                                                    unsigned timestampMs) {
  if (!m_connected || !rgb24 || length >= kMaxVideoFrameBytes) return false;
  // A picture of the configured size is converted here, straight from the
  // caller's buffer while it is still in cache: copying the RGB24 for the
  // encoder thread to convert later cost a second pass over twice the bytes.
  // Pictures of another size wait as they came, for a format set later.
  const uint64_t size = m_pictureSize.load();
  const int width = static_cast<int>(size >> 32);
  const int height = static_cast<int>(size & 0xFFFFFFFFu);
  const bool convertNow = width > 0 && height > 0 && length == static_cast<uint64_t>(width) * height * 3;
  RawFrame* frame = m_framePool.Acquire(convertNow ? I420Size(width, height) : static_cast<size_t>(length) + 9);
  if (!frame) return false;
  frame->inUse = true;
  frame->length = length;
  frame->timestamp = timestampMs;
  frame->queuedAt = m_clock();
  frame->i420Width = convertNow ? width : 0;
  frame->i420Height = convertNow ? height : 0;
  if (convertNow) {
    FlipAndConvertRgbToI420(frame->bytes.data(), rgb24, width, height);
  } else {
    std::memcpy(frame->bytes.data(), rgb24, length);
  }
  {
    std::lock_guard<std::mutex> lock(m_videoQueueLock);
    m_videoQueue.push_back(frame);  // never more than the pool's 8: no allocation failure in practice
  }
  WakeEncoderThread();
  return true;
}

void CEncoderMediaThenSendThroughRtmp::WakeEncoderThread() {
  {
    std::lock_guard<std::mutex> lock(m_wakeLock);
    ++m_inputs;
  }
  m_wake.notify_one();
}

void CEncoderMediaThenSendThroughRtmp::WaitForInput(uint32_t ms) {
  std::unique_lock<std::mutex> lock(m_wakeLock);
  m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_inputs != m_seenInputs; });
  m_seenInputs = m_inputs;
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
    // Sleeps until new input (or a ping) arrives rather than polling; the
    // limit bounds how long a stop or a left-over picture waits.
    WaitForInput(kIdleWaitMs);
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
  // Every queued block goes out before the next picture: with one block per
  // pass, sound would fall behind whenever a picture takes longer to encode
  // than a block lasts.
  std::deque<std::unique_ptr<AudioBlock>> blocks;
  {
    std::lock_guard<std::mutex> lock(m_audioQueueLock);
    blocks.swap(m_audioQueue);
    m_queuedAudioBytes = 0;
  }
  for (const auto& block : blocks) {
    if (!m_connected || !IsRunning()) break;
    EncodeAndSendAudioBlock(*block);
  }
}

void CEncoderMediaThenSendThroughRtmp::EncodeAndSendAudioBlock(const AudioBlock& block) {
  m_lastTakenAudioTs = block.timestamp;
  if (block.pcm.empty()) return;

  int frameBytes = 0;
  int bytesPerSecond = 0;
  int64_t leadMs = 0;
  {
    std::lock_guard<std::mutex> lock(m_aacLock);
    if (!m_aacOpen && m_connected && m_audioFormatSet) ReopenAacLocked();
    frameBytes = m_frameBytes;
    bytesPerSecond = m_pcmFormat.sampleRate * m_pcmFormat.channels * m_pcmFormat.bitsPerSample / 8;
    leadMs = PacketLeadMsLocked();
  }
  IRtmpLib* transport = Transport();
  if (!m_audioFormatSet || !m_aacOpen || !transport) return;
  if (frameBytes <= 0 || static_cast<size_t>(frameBytes) > m_pcmFrame.size()) return;

  const int written = m_ring.Write(reinterpret_cast<const char*>(block.pcm.data()),
                                   static_cast<int>(block.pcm.size()));
  // The block's stamp is the time of its end. A frame cut from the ring ends
  // as long before that as the sound still buffered behind it lasts, so the
  // frames of one long block get their own rising stamps instead of sharing
  // one. Its packet is stamped with the capture time of the first sample it
  // decodes into, so that a player sounds it with the picture of that time;
  // negative for the encoder's first packets, whose sound precedes the run.
  auto packetStart = [&]() -> int64_t {
    const int64_t behind = bytesPerSecond > 0 ? int64_t{m_ring.Buffered()} * 1000 / bytesPerSecond : 0;
    return int64_t{block.timestamp} - behind - leadMs;
  };
  short* frame = reinterpret_cast<short*>(m_pcmFrame.data());
  bool haveFrame = m_ring.Read(frame, frameBytes) == frameBytes;
  if (written == 0 || !haveFrame) return;

  while (haveFrame && m_connected) {
    // Before the time base exists, sound that began before the line's start
    // (negative) gives none; after it, stamps compare by wrap-safe
    // difference, so the 32-bit line may roll over.
    const int64_t start = packetStart();
    const auto stamp = static_cast<uint32_t>(start);
    bool encoded = false;
    int length = 0;
    uint32_t base = 0;
    {
      std::lock_guard<std::mutex> lock(m_aacLock);
      if (!m_aacOpen || m_frameBytes != frameBytes) break;
      BufferDesc in{m_pcmFrame.data(), static_cast<int>(m_pcmFrame.size()), frameBytes};
      BufferDesc out;
      encoded = EncodeAudioFrame(&m_pcmFormat, &m_aacConfig, &in, &out) == 0;
      if (encoded && out.length > 0) {
        // The encoder's buffer is only valid until its next call, and the
        // send happens outside the lock.
        try {
          m_aacToSend.assign(out.data, out.data + out.length);
          length = out.length;
        } catch (const std::bad_alloc&) {
          encoded = false;
        }
      }
      base = start >= 0 || m_timeBase.load() != kNoTimeBase ? EnsureTimeBase(stamp) : kNoTimeBase;
    }
    if (!encoded) break;
    // The encoder primes for a few frames; an empty frame is not a frame. A
    // packet whose sound began before the stream's first media is not sent.
    if (length > 0 && base != kNoTimeBase && static_cast<int32_t>(stamp - base) >= 0) {
      if (!transport->SendAAC(m_aacToSend.data(), length, stamp - base)) break;
      m_audioSentOnConnection = true;
    }
    haveFrame = m_ring.Read(frame, frameBytes) == frameBytes;
  }
}

void CEncoderMediaThenSendThroughRtmp::RunVideoStep() {
  RawFrame* frame = nullptr;
  // The queue holds the pool's buffers only: no allocation on this path.
  std::array<RawFrame*, RawFramePool::kCapacity> late{};
  size_t lateCount = 0;
  bool caughtUp = false;
  {
    std::lock_guard<std::mutex> lock(m_videoQueueLock);
    if (m_videoQueue.empty()) return;
    // The newest picture is always encoded: it is the freshest there is.
    const uint32_t now = m_clock();
    while (m_videoQueue.size() > 1 && lateCount < late.size() &&
           now - m_videoQueue.front()->queuedAt > kMaxPictureWaitMs) {
      late[lateCount++] = m_videoQueue.front();
      m_videoQueue.pop_front();
    }
    frame = m_videoQueue.front();
    m_videoQueue.pop_front();
    m_latePicturesDropped += static_cast<int>(lateCount);
    caughtUp = m_videoQueue.empty();
  }
  // Unencoded, a dropped picture leaves nothing for the decoder to miss.
  for (size_t i = 0; i < lateCount; ++i) {
    late[i]->inUse = false;
    m_framePool.Return(late[i]);
  }
  if (lateCount > 0 && !m_droppingLatePictures) {
    m_droppingLatePictures = true;
    STRIVON_LOG(kLogWarning, "CEncoderMediaThenSendThroughRtmp::RunVideoStep",
                "pictures waited over %u ms for the encoder, dropping the older ones", kMaxPictureWaitMs);
  } else if (lateCount == 0 && caughtUp) {
    m_droppingLatePictures = false;
  }
  EncodedPicture encoded;
  if (frame->inUse && frame->length != 0) encoded = EncodePicture(frame);
  // x264 has its own copy of the picture once the encode returns: the buffer
  // goes back to the pool before the send, still in cache for the next one.
  frame->inUse = false;
  m_framePool.Return(frame);
  if (encoded.length > 0) SendPicture(encoded);
}

CEncoderMediaThenSendThroughRtmp::EncodedPicture CEncoderMediaThenSendThroughRtmp::EncodePicture(RawFrame* frame) {
  int width = 0;
  int height = 0;
  bool open = false;
  {
    std::lock_guard<std::mutex> lock(m_videoLock);
    if (!m_videoOpen && m_connected && m_videoFormatSet) ReopenVideoLocked();
    open = m_videoOpen;
    width = m_video.width;
    height = m_video.height;
  }
  IRtmpLib* transport = Transport();
  if (!open || !transport || !m_connected) return {};
  // A picture taken before the stream's first media is dropped before x264
  // sees it: dropped once encoded, it would take with it the key frame that
  // the following pictures depend on.
  if (const uint32_t base = m_timeBase.load(); base != kNoTimeBase && static_cast<int32_t>(frame->timestamp - base) < 0)
    return {};
  // A frame queued for another picture size cannot be converted safely.
  const bool converted = frame->i420Width != 0;
  if (converted ? frame->i420Width != width || frame->i420Height != height
                : frame->length != static_cast<size_t>(width) * height * 3) {
    STRIVON_LOG(kLogWarning, "CEncoderMediaThenSendThroughRtmp::RunVideoStep",
                "frame of %u bytes does not match %dx%d, dropped", frame->length, width, height);
    return {};
  }
  const uint8_t* i420 = frame->bytes.data();
  if (!converted) {
    try {
      if (m_i420.size() < I420Size(width, height)) m_i420.assign(I420Size(width, height), 0);
    } catch (const std::bad_alloc&) {
      return {};
    }
    FlipAndConvertRgbToI420(m_i420.data(), frame->bytes.data(), width, height);
    i420 = m_i420.data();
  }

  EncodedPicture encoded;
  encoded.transport = transport;
  {
    std::lock_guard<std::mutex> lock(m_videoLock);
    if (!m_videoOpen || m_video.width != width || m_video.height != height) return {};
    m_video.input = i420;
    m_video.inputLength = static_cast<int>(I420Size(width, height));
    m_video.inputTimestamp = frame->timestamp;
    if (EncodeVideoFrame(&m_video) == 0 && m_video.outputLength > 0) {
      // The record's buffer is the setters' to replace while this thread
      // sends outside the lock: the access unit leaves with its buffer and
      // the record takes the spare one, which must be as large.
      try {
        if (m_videoToSend.size() < m_videoOutput.size()) m_videoToSend.resize(m_videoOutput.size());
        m_videoOutput.swap(m_videoToSend);
        m_video.output = m_videoOutput.data();
        m_video.outputCapacity = static_cast<int>(m_videoOutput.size());
        encoded.length = m_video.outputLength;
        encoded.shownAt = m_video.outputTimestamp;
        encoded.compositionMs = m_video.outputCompositionMs;
      } catch (const std::bad_alloc&) {
        encoded.length = 0;
      }
    }
    m_video.input = nullptr;
    m_videoOpen = m_video.session != nullptr;
  }
  return encoded;
}

void CEncoderMediaThenSendThroughRtmp::SendPicture(const EncodedPicture& encoded) {
  const uint32_t base = EnsureTimeBase(encoded.shownAt);
  // Taken before the stream's first media (by wrap-safe difference).
  if (static_cast<int32_t>(encoded.shownAt - base) < 0) return;
  const uint32_t decodeStamp = VideoMessageStamp(base, encoded.shownAt, encoded.compositionMs);
  const uint32_t shown = encoded.shownAt - base;
  const int composition = shown > decodeStamp ? static_cast<int>(shown - decodeStamp) : 0;
  if (!encoded.transport->SendVideoH264(m_videoToSend.data(), encoded.length, decodeStamp, composition)) {
    STRIVON_LOG(kLogInfo, "CEncoderMediaThenSendThroughRtmp::RunVideoStep", "SendVideoH264 failed");
  }
}

uint32_t CEncoderMediaThenSendThroughRtmp::VideoMessageStamp(uint32_t base, uint32_t shownAt, int compositionMs) {
  if (m_restartVideoStamps.exchange(false) || base != m_lastVideoStampBase) {
    m_lastVideoStamp = 0;
    m_haveVideoStamp = false;
  }
  m_lastVideoStampBase = base;
  const uint32_t shown = shownAt - base;
  // A reordered stream decodes its first pictures before the first one is
  // shown, i.e. before the time base; it may neither start below the base
  // nor go back.
  const uint32_t decoded = shown > static_cast<uint32_t>(compositionMs) ? shown - compositionMs : 0;
  // Each picture decodes strictly after the one before: the first pictures
  // of a reordered stream, all clamped to the base, step by a millisecond.
  m_lastVideoStamp = m_haveVideoStamp ? std::max(decoded, m_lastVideoStamp + 1) : decoded;
  m_haveVideoStamp = true;
  return m_lastVideoStamp;
}
