// Microphone capture: records interleaved PCM from one recording input (a
// microphone, or the monitor of an output) and hands every buffer to its owner
// with the stream's time stamps, converted to the owner's format. The publish
// manager creates one when publishing starts and releases it when it stops.
#pragma once
#include <cstdint>
#include <string>

#include "platform/dshow/com_types.h"
#include "platform/dshow/wave_format.h"

// Implemented by the owner; called on the capture's streaming and event
// threads, and on the threads that call Start/Stop. No call arrives after
// IAudioCapture::Release has returned. Handlers must not call Release, and
// OnAudioData must not call Stop: Stop waits for the delivery it runs in.
class IAudioCaptureNotify {
 public:
  // One buffer of interleaved PCM in the capture's target format; pcm is
  // valid only during the call. Times are milliseconds of the stream clock.
  virtual void OnAudioData(int captureId, const BYTE* pcm, int length, int64_t startMs, int64_t stopMs) = 0;
  // A report: kind 0 is an error, kind 1 an information. The text carries the
  // capture's whole error history, not only the newest entry.
  virtual void OnHDAudioCapNotify(std::string text, int kind) = 0;

 protected:
  ~IAudioCaptureNotify() = default;
};

class IAudioCapture {
 public:
  virtual bool Start() = 0;
  // Synchronous: no OnAudioData arrives after it returns.
  virtual bool Stop() = 0;
  virtual int GetId() = 0;
  // Stops, joins and destroys the object.
  virtual void Release() = 0;
  // Copies the target format (the one OnAudioData delivers); false only when
  // it is all zero.
  virtual bool GetFormat(WAVEFORMATEX* out) = 0;
  // Rebuild on the "stereo mix" input (here: the monitor of an output) or on a
  // microphone, restarting a running capture; true on success.
  virtual bool SelectStereoMix() = 0;
  virtual bool SelectMicrophone() = 0;

 protected:
  ~IAudioCapture() = default;
};

// Creates a capture of the recording input named deviceName (UTF-8; the
// first 15 characters are compared, an empty name matches every input),
// picking the nameIndex-th match; nameCount is how many matches the caller
// expects (a different count is reported as information). The target format
// is 2 channels of *sampleRate Hz and *bitsPerSample bits; channels is not
// read. Sets *ok; on failure appends the step's text and
// "AudioCapture create err" to *error and returns null.
IAudioCapture* CreateAudioCapture(IAudioCaptureNotify* notify, int captureId, const char* deviceName,
                                  int nameIndex, int nameCount, int* channels, int* sampleRate,
                                  unsigned short* bitsPerSample, bool* ok, std::string* error);
