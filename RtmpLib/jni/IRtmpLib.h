// The library's RTMP publish client as its users see it.
//
// The encoder creates one client per connection attempt with CreateRtmpLib,
// drives it through IRtmpLib (connect, audio/video parameters, media sends,
// statistics, ping, close) and receives its events through IRtmpLibNotify,
// which the encoder implements and passes to the factory. Callbacks run on the
// client's own threads (status and reports on the connect or receive thread,
// statistics and media data on the sending thread, round trips on the receive
// thread). No operation throws; failures are results and status words
// ("NetConnection.Connect.Failed", "NetConnection.Connect.Closed", ...).
#pragma once

#include "common/MediaInfo.h"

class IRtmpLibNotify {
 public:
  virtual void OnRtmpDead() = 0;
  virtual void OnRtmpConnected() = 0;
  virtual void OnRtmpPublishFaild() = 0;
  // A status word in status->text1 (type 0). Valid only during the call.
  virtual void OnRtmpStatus(MediaInfo* status) = 0;
  // Send counters in value1..value7 (type 2). Valid only during the call.
  virtual void OnRtmpStatistics(MediaInfo* statistics) = 0;
  virtual bool OnRtmpReserved() = 0;
  // Round trip of the last ping, in milliseconds.
  virtual void OnPingRoundTrip(int ms) = 0;
  // Every audio (kind 1) and video (kind 0) message body just before it is
  // sent; the bodies are FLV tag bodies. Valid only during the call.
  virtual bool OnRtmpMediaData(const char* body, int size, double timestampMs, int kind) = 0;
  // A one-member JSON object describing the connection (address, timings).
  virtual bool OnRtmpReport(const char* /*json*/) { return true; }

 protected:
  virtual ~IRtmpLibNotify() = default;
};

class IRtmpLib {
 public:
  // Starts connecting to an "rtmp://host[:port]/app/stream" URL on the
  // client's own thread; true at once (the outcome arrives as status words).
  virtual bool Connect(const char* url) = 0;
  virtual bool SetAudioParams(int channels, int sampleRate) = 0;
  // One raw AAC frame (no ADTS header).
  virtual bool SendAAC(const unsigned char* frame, int length, unsigned timestampMs) = 0;
  virtual bool SetVideoParams(int width, int height, int fps, int bps) = 0;
  // One Annex-B H.264 access unit, decoded at timestampMs and shown
  // compositionMs later (non-zero only for pictures that B-frames reorder).
  virtual bool SendVideoH264(const unsigned char* accessUnit, int length, unsigned timestampMs,
                             int compositionMs = 0) = 0;
  // Copies the seven send counters into out->value1..value7; the type is left alone.
  virtual void GetStatistics(MediaInfo* out) = 0;
  virtual bool SetUdpParam1(int value) = 0;
  virtual bool SetUdpParam2(int value) = 0;
  virtual bool SetParam(int value) = 0;
  // Sends a free-form command: method, transaction number, null, text.
  virtual bool SendString2(const char* method, const char* text) = 0;
  virtual bool SetMediaInfo(MediaInfo* info) = 0;
  virtual bool SetSessionInfo(const char* first, const char* second, const char* third) = 0;
  // Destroys the client; joins its threads first, so no callback follows.
  virtual void Release() = 0;
  // Ends the connection; safe from any thread and more than once.
  virtual void CloseSocket() = 0;
  virtual bool PostMediaInfo(MediaInfo info) = 0;
  virtual bool SendPing() = 0;
  virtual const char* GetServerIP() = 0;

 protected:
  virtual ~IRtmpLib() = default;
};

// Null when the client cannot be created. The notify may be null (then no
// event is raised); it must outlive the client.
IRtmpLib* CreateRtmpLib(IRtmpLibNotify* notify);
