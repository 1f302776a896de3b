// One entry of the manager's queues: a worker command (start, schedule,
// connect, stop, background sound) or, in the audio and video queues, one
// captured unit with its capture time stamp. The entry owns its payload,
// with whoever else holds it: a payload is never written once queued, so the
// time line may queue one picture again while it stands in for a source.
#pragma once
#include <cstdint>
#include <memory>

enum PublishCmdType : int {
  kCmdNone = 0,
  kCmdStartPublish = 1,
  kCmdStartSchedule = 2,
  kCmdConnectServer = 3,
  kCmdStopPublish = 4,
  kCmdVideoUnit = 5,
  kCmdAudioUnit = 6,
  kCmdStartCapturePlayer = 7,
  kCmdStopCapturePlayer = 8,
  kCmdClearHookBuffer = 9,
};

struct PublishCmd {
  std::shared_ptr<uint8_t[]> data;
  int len = 0;
  uint32_t enqueueTime = 0;
  int delayMs = 0;
  bool delayed = false;
  int type = kCmdNone;
  uint32_t timestamp = 0;

  // A unit entry owning a copy of len bytes; data stays null when the copy
  // cannot be allocated.
  static PublishCmd Unit(int type, const void* bytes, int len, uint32_t timestamp);
  // A unit entry taking over an already filled buffer.
  static PublishCmd Adopt(int type, std::unique_ptr<uint8_t[]> bytes, int len, uint32_t timestamp);
};
