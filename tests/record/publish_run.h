// A publish run against real peers for the recording and background-sound
// tests: a manager on the real factories that publishes the screen and one
// PulseAudio input to nginx, a notify object that can be waited on, and the
// stream check every recording of such a run must pass.
#pragma once
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "strivon/RtmpPublishManager.h"
#include "tests/support/media_tools.h"
#include "tests/support/waiting_notify.h"

namespace record_test {

using WaitingNotify = test_support::WaitingNotify;

struct ManagerReleaser {
  void operator()(IRtmpPublishManager* manager) const {
    if (manager) manager->release();
  }
};
using ManagerPtr = std::unique_ptr<IRtmpPublishManager, ManagerReleaser>;

// A manager on the real factories with the PulseAudio input described as
// micDescription selected and 44.1 kHz stereo sound, 640x360 at 25 pictures
// a second; null when that input is not listed.
inline ManagerPtr MakePublishingManager(WaitingNotify* notify, const std::string& micDescription) {
  ManagerPtr manager(CreateRtmpPublishManagerWith(notify, DefaultManagerFactories()));
  if (!manager) return nullptr;
  const wchar_t** names = nullptr;
  unsigned count = 0;
  manager->GetMicList(&names, &count);
  int mic = -1;
  for (unsigned i = 0; i < count; ++i)
    if (RtmpPublishManager::WideToAnsiString(names[i]) == micDescription) mic = static_cast<int>(i);
  if (mic < 0) return nullptr;
  manager->SetMic(mic);
  manager->SetPublishAudioPara(44100, 2, 16, 64000, 100, false);
  manager->SetPublishVideoPara(640, 360, 25, 800000, 0, 75);
  return manager;
}

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The duration the file's own header gives (ffprobe takes it from there),
// -1 when unreadable.
inline double FormatDuration(const std::string& path) {
  Json::Value root;
  if (!test_support::FfprobeJson(path, {"-show_format"}, &root) || !root["format"]["duration"].isString()) return -1;
  return std::stod(root["format"]["duration"].asString());
}

// Both kinds are there with what a decoder needs to start: without the
// sequence headers ffprobe knows neither the picture size nor the channels.
inline void ExpectStreamsWithCodecParameters(const std::string& path) {
  Json::Value streams;
  ASSERT_TRUE(test_support::ProbeStreams(path, &streams)) << path;
  bool audio = false, video = false;
  for (const auto& s : streams) {
    if (s["codec_type"] == "video") {
      video = true;
      EXPECT_EQ(s["codec_name"].asString(), "h264");
      EXPECT_EQ(s["width"].asInt(), 640);
      EXPECT_EQ(s["height"].asInt(), 360);
    } else if (s["codec_type"] == "audio") {
      audio = true;
      EXPECT_EQ(s["codec_name"].asString(), "aac");
      EXPECT_EQ(s["sample_rate"].asString(), "44100");
      EXPECT_EQ(s["channels"].asInt(), 2);
    }
  }
  EXPECT_TRUE(audio && video) << path << "\n" << streams.toStyledString();
}

}  // namespace record_test
