// An encoder double that counts what the manager passes to it.
#pragma once
#include <atomic>
#include <memory>

#include "encodemediathensendthroughrtmp/IEncoderMediaThenSendThroughRtmp.h"

struct FakeEncoderLog {
  std::atomic<int> releases{0};
  std::atomic<int> bitrateCalls{0};
  std::atomic<unsigned> lastBitrate{0};
  std::atomic<int> lastVbrQuality{0};
  std::atomic<int> autoCtrlCalls{0};
  std::atomic<bool> lastAuto{false};
  std::atomic<int> keyFrameRequests{0};
  // The picture size the encoder was opened at, and the pictures it got of
  // that size and of any other.
  std::atomic<unsigned> formatBytes{0};
  std::atomic<int> picturesOfFormat{0};
  std::atomic<int> picturesOfOtherSizes{0};
};

class FakeEncoder final : public IEncoderMediaThenSendThroughRtmp {
 public:
  explicit FakeEncoder(std::shared_ptr<FakeEncoderLog> log) : m_log(std::move(log)) {}

  void SetVideoBitrate(unsigned bps, int vbrQuality) override {
    m_log->lastBitrate = bps;
    m_log->lastVbrQuality = vbrQuality;
    ++m_log->bitrateCalls;
  }
  void SetAutoCtrlBitrate(bool on) override {
    m_log->lastAuto = on;
    ++m_log->autoCtrlCalls;
  }
  void Release() override {
    ++m_log->releases;
    delete this;
  }

  bool Connect(const char*) override { return false; }
  void SetAudioBitrate(unsigned) override {}
  bool SetAudioFormat(int, int, int) override { return false; }
  void SetFrameRateAndGop(int, int) override {}
  bool SetVideoFormat(int width, int height, int, int, unsigned, int) override {
    m_log->formatBytes = static_cast<unsigned>(width * height * 3);
    return false;
  }
  void SetBframeCount(int) override {}
  void SetAbrQmin(int) override {}
  void SetRfConstant(float, float) override {}
  bool SendRawAudio(const unsigned char*, unsigned, unsigned) override { return false; }
  bool SendRawVideo(const unsigned char*, unsigned length, unsigned) override {
    ++(length == m_log->formatBytes ? m_log->picturesOfFormat : m_log->picturesOfOtherSizes);
    return false;
  }
  void ReservedNoOperation() override {}
  void SetLowAudioBitrate(bool) override {}
  void SetStaticScreenMode(bool) override {}
  void GetStatistics(MediaInfo*) override {}
  bool SetUdpParam1(int) override { return false; }
  bool SetUdpParam2(int) override { return false; }
  bool SetParam(int) override { return false; }
  bool SendString2(const char*, const char*) override { return false; }
  bool SetMediaInfo(MediaInfo*) override { return false; }
  bool SetSessionInfo(const char*, const char*, const char*) override { return false; }
  bool PostMediaInfo(MediaInfo) override { return false; }
  void Disconnect() override {}
  void QueuePing() override {}
  void ReopenVideoEncoder() override {}
  const char* GetServerIP() override { return nullptr; }
  void RequestKeyFrame() override { ++m_log->keyFrameRequests; }

 private:
  std::shared_ptr<FakeEncoderLog> m_log;
};
