// Shared by the publish-run tests: a notify object that keeps every status
// with its arrival time and lets a test wait for one, an encoder wrapper that
// records what the manager hands to the encoder, the peers of a real run
// (Xvfb, PulseAudio, nginx-rtmp) with a manager configured against them, and
// the checks on what a server recorded (pitch, level, pixels).
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "strivon/RtmpPublishManager.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xvfb_server.h"

namespace publish_test {

using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point from, Clock::time_point to = Clock::now()) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

class StatusLog : public IRtmpPublishManagerNotify {
 public:
  struct Entry {
    int level;
    std::string text;
    Clock::time_point at;
  };
  bool OnMessage(const char* json) override;
  bool OnStatus(int level, const char* text) override;
  bool OnSendStatistics(const PublishSendStatistics* statistics) override;
  bool OnReservedPointer(void*) override { return true; }
  bool OnReservedInt(int) override { return true; }

  // Waits until the send statistics show sound going out; *at gets the
  // arrival of that record. A null sink's monitor, the tests' microphone,
  // starts delivering up to about 1.6 s after its capture starts, and
  // nothing is sent before the first sound.
  bool WaitForSound(int timeoutMs, Clock::time_point* at = nullptr);

  // Statuses containing part (at level, unless level is -1).
  int Count(const std::string& part, int level = -1) const;
  // Waits until Count(part, level) reaches count; *at gets the arrival of
  // the count-th one.
  bool WaitFor(const std::string& part, int count, int timeoutMs, Clock::time_point* at = nullptr, int level = -1);
  std::vector<Entry> Entries() const;
  std::string Dump() const;

  // Runs on the reporting thread, inside the manager's callback.
  std::function<void(int level, const std::string& text)> onStatus;

 private:
  mutable std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<Entry> m_entries;
  bool m_soundSent = false;
  Clock::time_point m_soundSentAt;
};

// What the manager handed to the encoders it made, in order.
struct EncoderLog {
  struct Unit {
    bool video;
    unsigned timestamp;
    Clock::time_point at;
  };
  std::vector<Unit> Units();
  int Created();
  // The notify the newest encoder was made with (doubles drive the manager through it).
  IEncoderMediaThenSendThroughRtmpNotify* LastNotify();
  bool WaitCreated(int count, int timeoutMs);
  // Waits until count encoders were asked to connect: the manager hands
  // units to an encoder from then on.
  bool WaitConnectCalls(int count, int timeoutMs);
  bool WaitUnits(size_t count, int timeoutMs);
  // Waits for the first sound unit; *at gets when it was handed on.
  bool WaitFirstSound(int timeoutMs, Clock::time_point* at);

  std::mutex lock;
  std::condition_variable changed;
  std::vector<Unit> units;
  std::vector<uint8_t> sound;  // the PCM handed on, up to its first few megabytes
  // Without a real encoder behind: the first busyPictures pictures are
  // refused, as by an encoder whose buffers are all in use; the stamps of
  // the pictures taken.
  int busyPictures = 0;
  std::vector<unsigned> takenPictures;
  int connectCalls = 0;
  std::vector<IEncoderMediaThenSendThroughRtmpNotify*> notifies;
  bool connectResult = true;  // what an encoder without a real one behind answers
  bool videoFormatResult = true;  // likewise for SetVideoFormat
  int released = 0;
  bool WaitReleased(int count, int timeoutMs);
  // Every SetAutoCtrlBitrate: which encoder (1 the first made) and the value.
  std::vector<std::pair<int, bool>> autoBitrate;
};

// createEncoder wrapped so every encoder records into log; with real false
// the encoders are doubles that only record (and answer Connect with
// log->connectResult).
void ObserveEncoders(ManagerFactories* factories, std::shared_ptr<EncoderLog> log, bool real);

// Index of the camera of that name in the manager's list, or -1.
int CameraIndex(IRtmpPublishManager* manager, const std::wstring& name);

struct ManagerReleaser {
  void operator()(IRtmpPublishManager* manager) const {
    if (manager) manager->release();
  }
};
using ManagerPtr = std::unique_ptr<IRtmpPublishManager, ManagerReleaser>;

// Xvfb as the screen, PulseAudio as the microphone, nginx-rtmp as the server.
class PublishPeers {
 public:
  bool Start(const test_support::NginxRtmpOptions& options = {});
  std::string screen = "1366x768x24";  // Xvfb's screen, read by Start
  // Index of the PulseAudio monitor in the manager's microphone list, or -1.
  int MonitorIndex(IRtmpPublishManager* manager) const;
  // Microphone, sound and picture parameters and a direct route to nginx.
  bool Configure(IRtmpPublishManager* manager, const std::string& stream, int rate = 44100, int channels = 2,
                 int width = 640, int height = 360, int fps = 25) const;

  test_support::XvfbServer xvfb;
  test_support::PulseServer pulse;
  test_support::NginxRtmp nginx;
  std::string error;
};

// Paints the root window of $DISPLAY while it lives: red top-left quarter
// and green bottom-right quarter of the width x height area at the screen's
// origin, blue elsewhere.
class ScreenPattern {
 public:
  ScreenPattern(int width, int height);
  ~ScreenPattern();
  ScreenPattern(const ScreenPattern&) = delete;
  ScreenPattern& operator=(const ScreenPattern&) = delete;
  bool painted() const { return m_painted; }

 private:
  void* m_display = nullptr;
  unsigned long m_pixmap = 0;
  bool m_painted = false;
};

// The recording's sound as interleaved 16-bit PCM at rate and channels,
// skipping the first skipMs.
bool DecodeSound(const std::string& media, const test_support::TempDir& dir, int rate, int channels, int skipMs,
                 std::vector<uint8_t>* pcm);
// One picture (RGB24, top row first) at atMs of the recording.
bool DecodePicture(const std::string& media, const test_support::TempDir& dir, int atMs, int width, int height,
                   std::vector<uint8_t>* rgb);
// Mean R, G, B of a rectangle of an RGB24 picture.
struct Rgb {
  double r, g, b;
};
Rgb MeanColour(const std::vector<uint8_t>& rgb, int width, int x, int y, int w, int h);

double DominantHz(const std::vector<uint8_t>& pcm, int rate, int channels);
// Where decoded sound first gets louder than silence, in ms (the stream
// opens with silence until the microphone's first block); -1 for none.
long long AudibleFromMs(const std::vector<uint8_t>& pcm, int rate, int channels);
double RmsDb(const std::vector<uint8_t>& pcm, int channels);

// Per stream: the first time a stamp (dts) went back, as text; "" when none did.
std::string BackwardStamps(const std::vector<test_support::ProbedPacket>& packets);

// The .flv files in folder, sorted by name (nginx's record_unique names them
// by their start second, so this is their order too).
std::vector<std::string> Recordings(const std::string& folder);

}  // namespace publish_test
