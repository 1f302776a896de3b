// The decision half of automatic bit-rate control: round trips of the RTMP
// ping are grouped into windows of a little over 5 s; a window with five or
// more trips above 500 ms lowers both rates to their floor, and thirteen good
// windows in a row after a lowering restore them. The encoder object feeds it
// from the RTMP receive thread and applies the decisions to its codecs.
// Not locked: the owner serialises calls.
#pragma once
#include <cstdint>
#include <string>

class AdaptiveBitrateControl {
 public:
  static constexpr int kSlowRoundTripMs = 500;
  static constexpr uint32_t kWindowMs = 5000;
  static constexpr int kSlowSamplesForBadWindow = 5;
  static constexpr int kGoodWindowsToRestore = 13;
  static constexpr unsigned kFloorAudioBps = 16000;
  static constexpr unsigned kFloorVideoKbps = 64;

  enum class Action { None, Lower, Restore };
  struct Decision {
    Action action = Action::None;
    bool report = false;  // the direction changed: tell the manager
  };

  // One round trip of `ms` measured at tick `now`; atFloor tells whether
  // both codecs already run at the floor rates (a bad window then has
  // nothing left to lower).
  Decision OnRoundTrip(int ms, uint32_t now, bool atFloor);
  // Forgets windows and the lowering (control switched off).
  void Reset();
  bool IsLowered() const { return m_lowered; }
  const std::string& Direction() const { return m_direction; }

 private:
  bool m_hasWindow = false;
  uint32_t m_windowStart = 0;
  int m_slowCount = 0;
  int m_goodWindows = 0;
  bool m_lowered = false;  // a lowering of ours awaits its restore
  std::string m_direction;  // "", "up" or "down"
};
