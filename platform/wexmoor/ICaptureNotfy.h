// Wexmoor: the desktop-sound capture that the publish manager loads at run
// time (libWexmoor.so beside the library) to mix what the computer plays
// into the published sound. It records the default output's monitor through
// PulseAudio on its own thread. The manager resolves CreateCaptureDevice with
// the loader in WexmoorLoader.h and talks to the device through the two
// interfaces below.
#pragma once
#include <cstdint>

#include "platform/outside/win_types.h"

// Implemented by the owner. Called on the device's thread (OnStop also on
// the thread calling Stop), never after the device's Stop or Release has
// returned. A callback must not call the device's Stop or Release.
class ICaptureNotfy {
 public:
  // A diagnostic text from the device (connection state, errors).
  virtual void PrintText(const char* text) = 0;
  // One block of recorded sound; *format is the true format of the bytes
  // (16-bit PCM at the monitor's own rate and channel count). *byteCount is
  // a whole number of sample frames. timestampMs: the device's clock at the
  // first sample, rising from 0 at Start.
  virtual void OnCaptureAudio(const WAVEFORMATEX* format, BYTE* data, int* byteCount,
                              uint32_t timestampMs) = 0;
  // Asked once per Start before recording: return non-zero after filling
  // *format (16-bit PCM, 8000..192000 Hz, 1 or 2 channels) to record in that
  // format instead; 0 keeps the monitor's own format.
  virtual int OnGetAudioFormat(WAVEFORMATEX* format) = 0;
  // Recording has ended (Stop, or the sound server went away); once per Start.
  virtual void OnStop() = 0;

 protected:
  ~ICaptureNotfy() = default;
};

class ICaptureDevice {
 public:
  // Starts recording (a running device is left as it is). false when the
  // sound server cannot be reached.
  virtual bool Start() = 0;
  // Stops recording and joins the recording thread.
  virtual bool Stop() = 0;
  // Stops, then frees the device.
  virtual void Release() = 0;

 protected:
  ~ICaptureDevice() = default;
};

// The one export of libWexmoor.so. Null sink gives null.
extern "C" {
typedef ICaptureDevice* (*CreateCaptureDeviceFn)(ICaptureNotfy* sink);
}
inline constexpr const char* kWexmoorLibraryName = "libWexmoor.so";
inline constexpr const char* kWexmoorFactoryName = "CreateCaptureDevice";
