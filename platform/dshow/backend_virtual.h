// Virtual devices for tests: a tone microphone, a test-pattern camera and
// name-only playback devices and compressors. Tests configure them, then push
// sound or frames by hand; a push runs on the caller's thread as the
// streaming thread, so a test decides exactly what arrives and when. A live
// microphone instead delivers by itself, on its own clock.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "platform/dshow/device_enum.h"

namespace dshow {

enum class VirtualKind { AudioInput, VideoInput, AudioRenderer, AudioCompressor, VideoCompressor };

struct VirtualDevice {
  VirtualKind kind = VirtualKind::AudioInput;
  std::wstring name;
  // Microphones.
  WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};  // the device's own format
  bool hasStreamConfig = true;   // offers IAMStreamConfig
  bool refuseFormat = false;     // SetFormat fails
  bool stampTimes = true;        // samples carry start and stop times
  double toneHz = 1000.0;
  bool hasBufferNegotiation = true;  // offers IAMBufferNegotiation
  int bufferMs = 100;                // buffer size when nobody suggests one
  bool failStart = false;            // the graph cannot be started with this device
  bool failOpen = false;             // listed, but gone when it is opened (unplugged)
  // A live microphone delivers its tone by itself while it runs, from a
  // thread of its own as a sound card does: each buffer when its last sample
  // is due, its times counting samples at the nominal rate. clockRate is how
  // many samples it takes per nominal sample period: 1.003 is a device clock
  // 0.3% fast, 0.997 one 0.3% slow. With beepMs set, every sample due within
  // beepMs after a whole second of the monotonic clock (steady_clock) also
  // carries a beep of beepHz, so a test can find those instants in the sound.
  bool live = false;
  double clockRate = 1.0;
  double toneLevel = 0.5;  // of full scale
  int beepMs = 0;
  double beepHz = 2500.0;
  // Cameras: RGB24 (bottom-up unless topDown), YUY2 or YV12 frames of
  // width x height; moreSizes are further sizes the camera offers.
  int width = 320, height = 240;
  bool yuy2 = false;
  bool yv12 = false;
  bool topDown = false;
  std::vector<std::pair<int, int>> moreSizes;
  // Playback devices: whether the filter's class is the DirectSound renderer.
  bool directSound = true;
};

// Replaces the configured devices (empty: none).
void SetVirtualDevices(const std::vector<VirtualDevice>& devices);

// Delivers ms milliseconds of the device's tone in its current format to every
// running filter of that name, in buffers of at most the agreed buffer size.
// Returns the bytes delivered.
long PushVirtualTone(const std::wstring& name, int ms);
// Delivers raw bytes as one or more samples (chunked at the buffer size), with
// times continuing the device's clock.
long PushVirtualAudio(const std::wstring& name, const BYTE* data, long length);
// Delivers count test-pattern frames to every running camera of that name,
// in the camera's current format and size.
int PushVirtualFrames(const std::wstring& name, int count);
// Delivers one frame of raw bytes as they stand (any length) to every running
// camera of that name; frames made elsewhere, e.g. by ffmpeg.
int PushVirtualFrameBytes(const std::wstring& name, const BYTE* data, long length);
// The format a live camera filter of that name has now; false when none.
bool VirtualCameraFormat(const std::wstring& name, CMediaType* format);

// The test pattern as the viewer sees it: top-down packed B, G, R rows in
// four quadrants (red top left, green top right, blue bottom left, white
// bottom right), so any flip or mirror shows.
std::vector<BYTE> VirtualPatternBgr(int width, int height);
// Raises a graph event (EC_ERRORABORT and the like) from every filter of that name.
int InjectVirtualEvent(const std::wstring& name, long code);

DeviceBackend& VirtualBackend();

}  // namespace dshow
