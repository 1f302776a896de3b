// CEncoderMediaThenSendThroughRtmp: the encoder object behind
// IEncoderMediaThenSendThroughRtmp. It queues raw audio blocks and pooled
// RGB24 frames from the manager, encodes all queued sound and one picture per
// pass on its own thread (HE-AAC, x264), stamps both relative to one time
// base, sends them through its RTMP client and passes the client's events up.
// Only this folder's factory and the tests construct it directly.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "RtmpLib/jni/IRtmpLib.h"
#include "common/TVThread.h"
#include "encodemediathensendthroughrtmp/AacEncoder.h"
#include "encodemediathensendthroughrtmp/AdaptiveBitrate.h"
#include "encodemediathensendthroughrtmp/EncoderLimits.h"
#include "encodemediathensendthroughrtmp/IEncoderMediaThenSendThroughRtmp.h"
#include "encodemediathensendthroughrtmp/PcmRingBuffer.h"
#include "encodemediathensendthroughrtmp/RawFramePool.h"
#include "encodemediathensendthroughrtmp/UninitializedBytes.h"
#include "encodemediathensendthroughrtmp/VideoEncoder.h"

class CEncoderMediaThenSendThroughRtmp : public IEncoderMediaThenSendThroughRtmp,
                                         public IRtmpLibNotify,
                                         public CSafeThread {
 public:
  using TransportFactory = std::function<IRtmpLib*(IRtmpLibNotify*)>;
  using Clock = std::function<uint32_t()>;

  static constexpr unsigned kMaxAudioBlockBytes = 192000;
  // About 3 s of 48 kHz stereo; beyond it SendRawAudio refuses new blocks.
  static constexpr size_t kMaxQueuedAudioBytes = 576000;
  static constexpr size_t kMaxQueuedAudioBlocks = 1024;
  static constexpr unsigned kMaxVideoFrameBytes = kMaxEncodablePictureBytes;
  static constexpr uint32_t kNoTimeBase = 0xFFFFFFFFu;
  // A queued picture that waited this long while a newer one waits behind
  // it is dropped unencoded: on a way out slower than the stream the queue
  // would otherwise hold its eight pictures for as long as eight sends take.
  // A full queue at 25 pictures a second spans less, so a burst (x264's slow
  // first pictures) loses nothing.
  static constexpr uint32_t kMaxPictureWaitMs = 300;
  static constexpr int kCommandPing = 1;

  // transportFactory makes the RTMP client at Connect (CreateRtmpLib when
  // empty); clock is the tick source of the adaptive control (TickCount when
  // empty), and of how long pictures wait in the queue. Starts the encoder
  // thread.
  CEncoderMediaThenSendThroughRtmp(IEncoderMediaThenSendThroughRtmpNotify* notify,
                                   TransportFactory transportFactory = {}, Clock clock = {});
  ~CEncoderMediaThenSendThroughRtmp() override;

  // IEncoderMediaThenSendThroughRtmp
  bool Connect(const char* url) override;
  void SetAudioBitrate(unsigned bps) override;
  bool SetAudioFormat(int channels, int sampleRate, int bitsPerSample) override;
  void SetVideoBitrate(unsigned bps, int vbrQuality) override;
  void SetFrameRateAndGop(int fps, int keyInterval) override;
  bool SetVideoFormat(int width, int height, int colourSpace, int fps, unsigned bps, int vbrQuality) override;
  void SetBframeCount(int count) override;
  void SetAbrQmin(int qmin) override;
  void SetRfConstant(float rfConstant, float rfConstantMax) override;
  bool SendRawAudio(const unsigned char* pcm, unsigned length, unsigned timestampMs) override;
  bool SendRawVideo(const unsigned char* rgb24, unsigned length, unsigned timestampMs) override;
  void ReservedNoOperation() override {}
  void SetLowAudioBitrate(bool low) override;
  void SetStaticScreenMode(bool on) override;
  void GetStatistics(MediaInfo* out) override;
  bool SetUdpParam1(int value) override;
  bool SetUdpParam2(int value) override;
  bool SetParam(int value) override;
  bool SendString2(const char* method, const char* text) override;
  bool SetMediaInfo(MediaInfo* info) override;
  bool SetSessionInfo(const char* first, const char* second, const char* third) override;
  bool PostMediaInfo(MediaInfo info) override;
  void Release() override;
  void Disconnect() override;
  void QueuePing() override;
  void SetAutoCtrlBitrate(bool on) override;
  void ReopenVideoEncoder() override;
  const char* GetServerIP() override;
  void RequestKeyFrame() override;

  // IRtmpLibNotify (the RTMP client's threads)
  void OnRtmpDead() override;
  void OnRtmpConnected() override;
  void OnRtmpPublishFaild() override;
  void OnRtmpStatus(MediaInfo* status) override;
  void OnRtmpStatistics(MediaInfo* statistics) override;
  bool OnRtmpReserved() override { return true; }
  void OnPingRoundTrip(int ms) override;
  bool OnRtmpMediaData(const char* body, int size, double timestampMs, int kind) override;
  bool OnRtmpReport(const char* json) override;

  // Read-outs for tests and diagnostics.
  struct Snapshot {
    unsigned configuredAudioBitrate;
    unsigned currentAudioBitrate;
    int aacBitRate;  // after the wrapper's clamps
    bool aacOpen;
    unsigned configuredVideoBitrate;
    int videoKbps;
    int rateControlMode;
    int vbrQuality;
    int frameRate;
    int keyInterval;
    int configuredFrameRate;
    int configuredKeyInterval;
    int width;
    int height;
    bool videoOpen;
    int bframeCount;
    float rfConstant;
    int channels;
    int sampleRate;
    int frameBytes;
    uint32_t timeBase;
    uint32_t packetLeadMs;  // how long before its frame's end a packet's sound begins
    int aacOpens;    // codec (re)opens since construction
    int videoOpens;
    size_t queuedAudioBytes;
    int latePicturesDropped;  // since construction
  };
  Snapshot GetSnapshot();
  bool IsConnected() const { return m_connected.load(); }

 protected:
  void SafeThreadProcMain() override;

 private:
  struct AudioBlock {
    uint32_t timestamp = 0;
    std::vector<uint8_t> pcm;
  };

  IRtmpLib* Transport() const { return m_transport.load(); }
  // Hands a new client the formats configured before it existed.
  void PassFormatsTo(IRtmpLib* transport);
  void RunAudioStep();
  // How long before the end of the frame it was encoded from the sound of an
  // AAC packet begins: the frame and the codec's delay. Under the AAC lock.
  uint32_t PacketLeadMsLocked() const;
  void EncodeAndSendAudioBlock(const AudioBlock& block);
  // An access unit in m_videoToSend, between its encode and its send.
  struct EncodedPicture {
    IRtmpLib* transport = nullptr;
    int length = 0;  // 0: nothing to send
    uint32_t shownAt = 0;
    int compositionMs = 0;
  };
  void RunVideoStep();
  EncodedPicture EncodePicture(RawFrame* frame);
  void SendPicture(const EncodedPicture& encoded);
  // The message stamp of an access unit: its decode time on the stream's
  // time base, never below the base or the previous picture's stamp.
  uint32_t VideoMessageStamp(uint32_t base, uint32_t shownAt, int compositionMs);
  void RunCommandStep();
  void MaybeReportSendBuffer();
  // Sets the time base to ts if unset; the base in force afterwards.
  uint32_t EnsureTimeBase(uint32_t ts);
  void ResetConnectionState();
  // Both under the respective codec lock.
  void ReopenAacLocked();
  void ReopenVideoLocked();
  void ApplyFrameRateAndGop(int fps, int keyInterval, bool asConfigured);
  void RaiseBitrateStatus(unsigned audioBps, unsigned videoBps);
  // Back to the rates the owner configured (after a lowering, or when
  // automatic control is switched off); the two rates in force afterwards.
  std::pair<unsigned, unsigned> RestoreConfiguredBitrates();
  bool CodecsAtAdaptiveFloor();
  // Under m_adaptiveLock, so switching the control off cannot slip in
  // between a decision and its application.
  void LowerToAdaptiveFloorLocked();

  IEncoderMediaThenSendThroughRtmpNotify* m_notify;
  TransportFactory m_transportFactory;
  Clock m_clock;
  bool m_threadStarted = false;

  std::mutex m_transportLock;  // creation in Connect
  std::atomic<IRtmpLib*> m_transport{nullptr};

  std::atomic<bool> m_audioFormatSet{false};
  std::atomic<bool> m_videoFormatSet{false};
  std::atomic<bool> m_aacOpen{false};
  std::atomic<bool> m_videoOpen{false};
  std::atomic<bool> m_connected{false};
  std::atomic<uint32_t> m_timeBase{kNoTimeBase};

  // AAC encoder (m_aacLock). The codec locks cover encoding only, never a
  // send: a server that stops reading must not hold up the manager's setters.
  std::mutex m_aacLock;
  unsigned m_currentAudioBitrate = 64000;
  unsigned m_configuredAudioBitrate = 64000;
  PcmFormat m_pcmFormat;
  int m_frameBytes = 8192;
  AacConfig m_aacConfig;
  int m_aacOpens = 0;
  PcmRingBuffer m_ring;
  // The client announces the sound format once per connection, with the first frame.
  std::atomic<bool> m_audioSentOnConnection{false};
  std::vector<uint8_t> m_pcmFrame;  // encoder thread only
  std::vector<uint8_t> m_aacToSend;  // encoder thread only

  // x264 (m_videoLock)
  std::mutex m_videoLock;
  VideoEncoderSettings m_video;
  int m_videoOpens = 0;
  // x264 writes the access unit into m_videoOutput (the record's buffer);
  // after the encode it changes places with m_videoToSend, which the encoder
  // thread then sends from outside the lock while setters may replace the
  // record's buffer.
  UninitializedBytes m_videoOutput;
  int m_configuredFrameRate = 10;
  int m_configuredKeyInterval = 30;
  unsigned m_configuredVideoBitrate = 64000;
  std::vector<uint8_t> m_i420;  // encoder thread only, for pictures queued as RGB24
  // The configured picture size (width << 32 | height), readable by
  // SendRawVideo without waiting for an encode under m_videoLock.
  std::atomic<uint64_t> m_pictureSize{0};
  UninitializedBytes m_videoToSend;  // encoder thread only
  uint32_t m_lastVideoStamp = 0;  // encoder thread only, on m_lastVideoStampBase
  bool m_haveVideoStamp = false;
  uint32_t m_lastVideoStampBase = kNoTimeBase;
  std::atomic<bool> m_restartVideoStamps{true};  // a new time base begins

  // Adaptive rate (m_adaptiveLock)
  std::mutex m_adaptiveLock;
  std::atomic<bool> m_autoCtrl{false};
  AdaptiveBitrateControl m_adaptive;

  // Audio queue (m_audioQueueLock)
  std::mutex m_audioQueueLock;
  std::deque<std::unique_ptr<AudioBlock>> m_audioQueue;
  size_t m_queuedAudioBytes = 0;
  int m_refusedAudioBlocks = 0;  // since the queue was last below its bound
  std::atomic<uint32_t> m_lastQueuedAudioTs{0};
  std::atomic<uint32_t> m_lastTakenAudioTs{0};
  uint32_t m_reportTick = 0;  // encoder thread only

  // Video queue (m_videoQueueLock); the pool has its own lock.
  std::mutex m_videoQueueLock;
  std::deque<RawFrame*> m_videoQueue;
  RawFramePool m_framePool;
  int m_latePicturesDropped = 0;
  bool m_droppingLatePictures = false;  // encoder thread only: logged once per stretch

  // Commands for the encoder thread (m_commandLock)
  std::mutex m_commandLock;
  // Input arrived: the encoder thread sleeps on this between passes.
  static constexpr uint32_t kIdleWaitMs = 5;
  void WakeEncoderThread();
  void WaitForInput(uint32_t ms);
  std::mutex m_wakeLock;
  std::condition_variable m_wake;
  uint64_t m_inputs = 0;
  uint64_t m_seenInputs = 0;
  std::deque<int> m_commands;
};
