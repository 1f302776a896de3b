// A recording stand-in for the RTMP client: remembers every media send and
// parameter call, and lets a test raise the client's events itself. Used by
// the encoder tests that need no server.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "RtmpLib/jni/IRtmpLib.h"

struct RecordedSend {
  bool audio = false;
  uint32_t timestamp = 0;
  std::vector<uint8_t> bytes;
};

class RecordingRtmpLib : public IRtmpLib {
 public:
  explicit RecordingRtmpLib(IRtmpLibNotify* notify) : m_notify(notify) {}

  IRtmpLibNotify* notify() const { return m_notify; }

  bool Connect(const char* url) override {
    std::lock_guard<std::mutex> lock(m_lock);
    m_urls.push_back(url ? url : "");
    return true;
  }
  bool SetAudioParams(int channels, int sampleRate) override {
    std::lock_guard<std::mutex> lock(m_lock);
    m_audioParams = {channels, sampleRate};
    return refuseAudioParams.load() ? false : true;
  }
  bool SendAAC(const unsigned char* frame, int length, unsigned timestampMs) override {
    // Like the real client: sound whose format it was never told cannot be
    // announced, so every frame is refused.
    if (AudioParams().second == 0) return false;
    return Record(true, frame, length, timestampMs);
  }
  bool SetVideoParams(int width, int height, int, int bps) override {
    std::lock_guard<std::mutex> lock(m_lock);
    m_videoParams = {width, height};
    videoParamsBps = bps;
    return true;
  }
  // The video rate the client was last told (-1: never).
  std::atomic<int> videoParamsBps{-1};
  bool SendVideoH264(const unsigned char* accessUnit, int length, unsigned timestampMs,
                     int compositionMs = 0) override {
    lastCompositionMs = compositionMs;
    // Stands for a slow picture path (a big picture, a slow preset).
    if (const int ms = videoSendMs.load(); ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return Record(false, accessUnit, length, timestampMs);
  }
  void GetStatistics(MediaInfo* out) override { out->value1 = 4242; }
  std::atomic<int> lastCompositionMs{0};
  bool SetUdpParam1(int) override { return true; }
  bool SetUdpParam2(int) override { return true; }
  bool SetParam(int) override { return true; }
  bool SendString2(const char*, const char*) override { return true; }
  bool SetMediaInfo(MediaInfo*) override { return true; }
  bool SetSessionInfo(const char*, const char*, const char*) override { return true; }
  void Release() override { delete this; }
  void CloseSocket() override {
    closes++;
    Unstall();
  }
  bool PostMediaInfo(MediaInfo) override { return true; }
  bool SendPing() override {
    pings++;
    return true;
  }
  const char* GetServerIP() override { return ""; }

  std::vector<RecordedSend> Sends() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_sends;
  }
  std::vector<std::string> Urls() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_urls;
  }
  std::pair<int, int> AudioParams() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_audioParams;
  }

  // While set, a media send blocks like a socket send to a server that reads
  // nothing, until CloseSocket (or Unstall) wakes it and it fails.
  std::atomic<bool> stallSends{false};
  std::atomic<int> stalledSends{0};
  void Unstall() {
    std::lock_guard<std::mutex> lock(m_stallLock);
    m_unstalled = true;
    m_stallWake.notify_all();
  }

  std::atomic<int> closes{0};
  std::atomic<int> pings{0};
  std::atomic<bool> refuseAudioParams{false};
  std::atomic<int> videoSendMs{0};

 private:
  bool Record(bool audio, const unsigned char* data, int length, unsigned ts) {
    if (stallSends) {
      std::unique_lock<std::mutex> lock(m_stallLock);
      stalledSends++;
      m_stallWake.wait(lock, [this] { return m_unstalled; });
      return false;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    RecordedSend send;
    send.audio = audio;
    send.timestamp = ts;
    if (data && length > 0) send.bytes.assign(data, data + length);
    m_sends.push_back(std::move(send));
    return true;
  }

  IRtmpLibNotify* m_notify;
  std::mutex m_lock;
  std::vector<RecordedSend> m_sends;
  std::vector<std::string> m_urls;
  std::pair<int, int> m_audioParams{0, 0};
  std::pair<int, int> m_videoParams{0, 0};
  std::mutex m_stallLock;
  std::condition_variable m_stallWake;
  bool m_unstalled = false;
};
