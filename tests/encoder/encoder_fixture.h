// Builds an encoder object wired to a RecordingRtmpLib and a recording upper
// notify, connected and configured like the manager does, for the encoder
// tests that need no server.
#pragma once
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "encodemediathensendthroughrtmp/EncoderMediaThenSendThroughRtmp.h"
#include "tests/encoder/recording_rtmp_lib.h"

class RecordingEncoderNotify : public IEncoderMediaThenSendThroughRtmpNotify {
 public:
  void OnEncoderMediaThenSendThroughRtmpDead() override { dead++; }
  void OnEncoderMediaThenSendThroughRtmpConnected() override { connected++; }
  void OnEncoderMediaThenSendThroughRtmpPublishFaild() override { failed++; }
  void OnEncoderMediaThenSendThroughRtmpStatus(MediaInfo* info) override {
    std::lock_guard<std::mutex> lock(m_lock);
    m_statuses.push_back(info ? info->text1 : "");
  }
  void OnEncoderMediaThenSendThroughRtmpStatistics(MediaInfo*) override { statistics++; }
  void OnEncoderMediaThenSendThroughRtmpMediaData(const char*, int, double, int) override { mediaData++; }
  bool OnEncoderMediaThenSendThroughRtmpReport(const char* json) override {
    std::lock_guard<std::mutex> lock(m_lock);
    m_reports.push_back(json ? json : "");
    return true;
  }
  std::vector<std::string> Statuses() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_statuses;
  }

  std::atomic<int> dead{0}, connected{0}, failed{0}, statistics{0}, mediaData{0};

 private:
  std::mutex m_lock;
  std::vector<std::string> m_statuses;
  std::vector<std::string> m_reports;
};

struct EncoderUnderTest {
  RecordingEncoderNotify notify;
  std::atomic<RecordingRtmpLib*> transport{nullptr};
  std::atomic<uint32_t> now{100000};
  // Runs whenever the encoder reads its clock; set it before the first read.
  std::function<void()> onClockRead;
  std::unique_ptr<CEncoderMediaThenSendThroughRtmp> encoder;

  EncoderUnderTest() {
    encoder = std::make_unique<CEncoderMediaThenSendThroughRtmp>(
        &notify,
        [this](IRtmpLibNotify* n) {
          auto* fake = new RecordingRtmpLib(n);
          transport = fake;
          return fake;
        },
        [this] {
          if (onClockRead) onClockRead();
          return now.load();
        });
  }
  ~EncoderUnderTest() { encoder.reset(); }

  // Connect, configure as the manager does, and report the publish start.
  void ConnectAndConfigure(int width = 64, int height = 48, int fps = 25) {
    encoder->Connect("rtmp://127.0.0.1/live/test");
    encoder->SetAudioBitrate(64000);
    encoder->SetAudioFormat(2, 44100, 16);
    encoder->SetBframeCount(0);
    encoder->SetVideoBitrate(500000, 0);
    encoder->SetFrameRateAndGop(fps, 0);
    encoder->SetVideoFormat(width, height, 4106, fps, 500000, 0);
    encoder->OnRtmpConnected();
  }

  // Waits until pred holds or timeoutMs passes.
  static bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 5000) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < until) {
      if (pred()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return pred();
  }
};
