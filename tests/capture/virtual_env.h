// Shared by the capture tests that run on virtual devices only: the real back
// ends are switched off before anything enumerates, so results do not depend
// on the machine's sound cards and cameras. Volume changes that follow a line
// selection go to a sound server that does not exist, never the user's own.
#pragma once
#include <cstdlib>

#include "platform/dshow/backend_virtual.h"

namespace capture_test {
inline const bool kVirtualOnly = (setenv("STRIVON_DSHOW_DEVICES", "virtual", 1),
                                   setenv("PULSE_SERVER", "unix:/nonexistent/strivon-test-pulse", 1), true);

inline dshow::VirtualDevice Mic(const wchar_t* name, WAVEFORMATEX format = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0}) {
  dshow::VirtualDevice d;
  d.kind = dshow::VirtualKind::AudioInput;
  d.name = name;
  d.format = format;
  return d;
}

inline dshow::VirtualDevice Named(dshow::VirtualKind kind, const wchar_t* name) {
  dshow::VirtualDevice d;
  d.kind = kind;
  d.name = name;
  return d;
}
}  // namespace capture_test
