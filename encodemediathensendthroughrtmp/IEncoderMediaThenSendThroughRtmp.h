// The encoder-and-sender as the publish manager sees it: raw RGB24 pictures
// and interleaved 16-bit PCM blocks go in with millisecond capture stamps,
// an H.264 + HE-AAC RTMP stream comes out on one time base, and the RTMP
// client's events travel back up through the notify interface.
//
// The manager creates one object per connection attempt with
// CreateEncoderMediaThenSendThroughRtmp, configures it, calls Connect, feeds
// it from its send thread and frees it with Release. No operation throws.
// Notify calls arrive on the encoder's and the RTMP client's own threads;
// none arrives after Release has returned.
#pragma once
#include <memory>

#include "common/MediaInfo.h"

class IEncoderMediaThenSendThroughRtmpNotify {
 public:
  virtual void OnEncoderMediaThenSendThroughRtmpDead() = 0;
  virtual void OnEncoderMediaThenSendThroughRtmpConnected() = 0;
  virtual void OnEncoderMediaThenSendThroughRtmpPublishFaild() = 0;
  // The record lives only for the call (type 0, status word in text1).
  virtual void OnEncoderMediaThenSendThroughRtmpStatus(MediaInfo* info) = 0;
  // Type 2 record with the transport's send counters; valid only for the call.
  virtual void OnEncoderMediaThenSendThroughRtmpStatistics(MediaInfo* info) = 0;
  // Every FLV-style tag body just before it is sent; kind 1 audio, 0 video.
  // A picture's stamp is its decode time; its composition time is inside the
  // body, as sent.
  virtual void OnEncoderMediaThenSendThroughRtmpMediaData(const char* body, int size, double timestampMs,
                                                           int kind) = 0;
  // JSON report texts of the transport and of the encoder ("MaxSendBuffSize").
  virtual bool OnEncoderMediaThenSendThroughRtmpReport(const char* /*json*/) { return true; }

 protected:
  virtual ~IEncoderMediaThenSendThroughRtmpNotify() = default;
};

class IEncoderMediaThenSendThroughRtmp {
 public:
  // Only "rtmp" URLs (any letter case) are accepted; the connection is made
  // on the transport's own thread, so true means "attempt started".
  virtual bool Connect(const char* url) = 0;
  // Clamped to 16000..64000 bps; reopens the AAC encoder.
  virtual void SetAudioBitrate(unsigned bps) = 0;
  // 1 or 2 channels; 24000, 32000, 44100 or 48000 Hz; 16 bits. False refuses,
  // also a different format once sound has gone out on this connection.
  // Reopens an open AAC encoder; may come before or after Connect.
  virtual bool SetAudioFormat(int channels, int sampleRate, int bitsPerSample) = 0;
  // bps 0 selects constant-quality mode with vbrQuality (when non-zero).
  virtual void SetVideoBitrate(unsigned bps, int vbrQuality) = 0;
  // fps 0 means 10; keyInterval 0 means 3 x fps.
  virtual void SetFrameRateAndGop(int fps, int keyInterval) = 0;
  // Even width and height only; refused once connected with a format set.
  virtual bool SetVideoFormat(int width, int height, int colourSpace, int fps, unsigned bps, int vbrQuality) = 0;
  // B-frames x264 may plan (0 none; no more than the key interval), taken
  // when the video encoder next opens. With B-frames pictures are reordered:
  // they go out in decode order, each video message stamped with its decode
  // time and carrying its composition time (shown minus decoded) in the AVC
  // packet header.
  virtual void SetBframeCount(int count) = 0;
  virtual void SetAbrQmin(int qmin) = 0;
  // Ignored when both are negative; only rfConstantMax is taken.
  virtual void SetRfConstant(float rfConstant, float rfConstantMax) = 0;
  // Copies the block; false when not connected, without a sound format, null,
  // above 192000 bytes, or while about 3 s of sound already wait (the
  // connection does not keep up).
  virtual bool SendRawAudio(const unsigned char* pcm, unsigned length, unsigned timestampMs) = 0;
  // Copies the top-down BGR24 frame (width x height x 3 bytes); false when
  // not connected, null, too long, or all 8 frame buffers are taken.
  virtual bool SendRawVideo(const unsigned char* rgb24, unsigned length, unsigned timestampMs) = 0;
  // Kept for slot compatibility; does nothing.
  virtual void ReservedNoOperation() = 0;
  // Temporarily 16000 bps audio; false returns to the configured rate.
  virtual void SetLowAudioBitrate(bool low) = 0;
  // On: 1 fps with a key frame every 3 pictures; off: the configured values.
  virtual void SetStaticScreenMode(bool on) = 0;
  virtual void GetStatistics(MediaInfo* out) = 0;
  virtual bool SetUdpParam1(int value) = 0;
  virtual bool SetUdpParam2(int value) = 0;
  virtual bool SetParam(int value) = 0;
  virtual bool SendString2(const char* method, const char* text) = 0;
  virtual bool SetMediaInfo(MediaInfo* info) = 0;
  virtual bool SetSessionInfo(const char* first, const char* second, const char* third) = 0;
  virtual bool PostMediaInfo(MediaInfo info) = 0;
  // Stops the encoder thread, closes the transport and the codecs, frees the object.
  virtual void Release() = 0;
  // Closes the transport's socket; raw input is refused until reconnected.
  virtual void Disconnect() = 0;
  // Asks the encoder thread to send one RTMP ping (for the adaptive rate).
  virtual void QueuePing() = 0;
  // Lowers both bit rates on slow round trips and restores them later.
  virtual void SetAutoCtrlBitrate(bool on) = 0;
  virtual void ReopenVideoEncoder() = 0;
  // The transport's server address text, or null before Connect.
  virtual const char* GetServerIP() = 0;
  // The next picture encoded becomes a key frame (IDR), so whatever starts
  // listening now (a recording) can decode from there without waiting for
  // the key interval.
  virtual void RequestKeyFrame() = 0;

 protected:
  virtual ~IEncoderMediaThenSendThroughRtmp() = default;
};

// Null when the object cannot be created. notify may be null and is not owned.
IEncoderMediaThenSendThroughRtmp* CreateEncoderMediaThenSendThroughRtmp(IEncoderMediaThenSendThroughRtmpNotify* notify);

// Lets an owner hold the encoder in a std::unique_ptr that calls Release.
struct EncoderMediaThenSendThroughRtmpReleaser {
  void operator()(IEncoderMediaThenSendThroughRtmp* encoder) const {
    if (encoder) encoder->Release();
  }
};
using EncoderMediaThenSendThroughRtmpPtr =
    std::unique_ptr<IEncoderMediaThenSendThroughRtmp, EncoderMediaThenSendThroughRtmpReleaser>;
