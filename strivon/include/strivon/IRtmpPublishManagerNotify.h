// What a host program implements to hear from the publish manager: JSON event
// texts, status words with a level, and the periodic send statistics.
// Calls arrive on the library's threads (and on the host's own thread only
// while one of its calls, such as release or a device-list call, is running).
// Every text and record passed in is valid only during the call.
#pragma once
#include <cstdint>

// The send figures of the last second, as the encoder reports them.
struct PublishSendStatistics {
  uint32_t pingRoundTripMs;
  uint32_t videoBytesSent;
  float videoKbitPerSecond;
  uint32_t audioBytesSent;
  float audioKbitPerSecond;
  uint32_t reserved3;
  uint32_t reserved4;
  uint32_t videoFramesSent;
  uint32_t videoFramesPerSecond;
  uint32_t audioFramesSent;
};
static_assert(sizeof(PublishSendStatistics) == 40, "ten 32-bit values");

class IRtmpPublishManagerNotify {
 public:
  // A JSON event, e.g. {"cmd":"OnAudioPercent","params":{"uPercent":n}}.
  virtual bool OnMessage(const char* json) = 0;
  // level 0 information, 1 device, 2 error; the texts are in StatusWords.h.
  virtual bool OnStatus(int level, const char* text) = 0;
  virtual bool OnSendStatistics(const PublishSendStatistics* statistics) = 0;
  // Never called by this library.
  virtual bool OnReservedPointer(void* reserved) = 0;
  // Never called by this library.
  virtual bool OnReservedInt(int reserved) = 0;

 protected:
  ~IRtmpPublishManagerNotify() = default;
};
