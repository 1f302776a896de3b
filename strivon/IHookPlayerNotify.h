// How a hooked music player hands its sound to the publish manager, which
// mixes it into the published sound like desktop sound. The manager
// implements it; nothing in the library calls it, a host-side hook does.
#pragma once
#include <string>

#include "platform/outside/win_types.h"

class IHookPlayerNotify {
 public:
  // One block of the player's sound in *format (16-bit PCM).
  virtual void OnHookAudioData(const WAVEFORMATEX* format, BYTE* data, int byteCount) = 0;
  // "beginplay" mixes again, "stopmix" stops mixing, "clearhookbuf" empties
  // what is waiting to be mixed.
  virtual void OnHookStatus(std::string text) = 0;

 protected:
  ~IHookPlayerNotify() = default;
};
