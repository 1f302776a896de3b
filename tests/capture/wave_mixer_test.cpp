// The wave-in mixer path of the line selection against a fake mixer: which
// selector item and volumes each line gets, and mixers whose answers do not
// add up.
#include <gtest/gtest.h>

#include <map>

#include "capture/WaveMixer.h"

namespace {

using namespace wave_mixer;

constexpr uint32_t kMax = 1000;  // volume range 0..1000: 70 % is 700

struct FakeState {
  std::vector<MixerLine> sources;
  std::map<uint32_t, std::vector<MixerControl>> controls;  // by line id
  std::map<uint32_t, std::vector<uint32_t>> values;        // by control id
  uint32_t muxItems = 0;
  bool shortDetails = false;  // answers every read with one value too few
};

class FakeMixer : public IWaveMixerDevice {
 public:
  explicit FakeMixer(FakeState* s) : s_(s) {}
  uint32_t DestinationCount() override { return 1; }
  bool GetDestination(uint32_t, MixerLine* line) override {
    *line = {1, kDestinationWaveIn, static_cast<uint32_t>(s_->sources.size()), L"Recording"};
    return true;
  }
  bool GetSource(uint32_t, uint32_t index, MixerLine* line) override {
    if (index >= s_->sources.size()) return false;
    *line = s_->sources[index];
    return true;
  }
  bool GetLineControls(uint32_t lineId, std::vector<MixerControl>* controls) override {
    *controls = s_->controls[lineId];
    return true;
  }
  bool GetControl(uint32_t id, MixerControl* control) override {
    for (auto& line : s_->controls)
      for (auto& c : line.second)
        if (c.id == id) return *control = c, true;
    return false;
  }
  bool GetDetails(uint32_t id, uint32_t count, std::vector<uint32_t>* values) override {
    values->assign(count - (s_->shortDetails ? 1 : 0), 0);
    for (size_t i = 0; i < values->size() && i < s_->values[id].size(); ++i) (*values)[i] = s_->values[id][i];
    return true;
  }
  bool SetDetails(uint32_t id, const std::vector<uint32_t>& values) override {
    s_->values[id] = values;
    return true;
  }

 private:
  FakeState* s_;
};

class FakeSystem : public IWaveMixerSystem {
 public:
  std::vector<std::wstring> WaveInProductNames() override { return {L"Realtek HD Audio"}; }
  std::vector<std::wstring> MixerProductNames() override { return {L"Realtek HD Audio"}; }
  std::unique_ptr<IWaveMixerDevice> Open(uint32_t) override { return std::make_unique<FakeMixer>(&state); }
  FakeState state;
};

// Destination (id 1: mux 10, mute 11, volume 12) and sources 2, 3, ... each
// with mute 10*id+1 and volume 10*id+2. The mux items run opposite to the
// sources, as the mixer lists them.
void Build(FakeState* s, const std::vector<std::pair<uint32_t, std::wstring>>& sources, uint32_t muxItems) {
  auto lineControls = [](uint32_t line) {
    return std::vector<MixerControl>{{10 * line + 1, kControlMute, 0, 0, 0, 1, 0, L"Mute"},
                                     {10 * line + 2, kControlVolume, 0, 0, 0, kMax, 100, L"Volume"}};
  };
  s->controls[1] = lineControls(1);
  if (muxItems) s->controls[1].push_back({10, kControlMux, kFlagMultiple, muxItems, 0, 1, 0, L"Select"});
  for (uint32_t i = 0; i < sources.size(); ++i) {
    s->sources.push_back({2 + i, sources[i].first, 0, sources[i].second});
    s->controls[2 + i] = lineControls(2 + i);
    s->values[10 * (2 + i) + 1] = {1};
  }
}

const std::vector<std::pair<uint32_t, std::wstring>> kSources = {
    {0x1008, L"Line In"}, {kSourceMicrophone, L"Microphone"}, {0x1005, L"CD"}, {0x1002, L"stereo mix"}};

TEST(WaveMixer, SelectorItemsRunOppositeToTheSourcesAndGetOneLineEach) {
  FakeSystem system;
  Build(&system.state, kSources, 4);
  system.state.values[10] = {1, 0, 0, 0};  // the last source, the mix, was selected
  CWaveMixer mixer(&system);
  mixer.SelectMicrophone();
  auto& v = system.state.values;
  EXPECT_EQ((std::vector<uint32_t>{0, 0, 1, 0}), v[10]) << "item 2 from the start is source 1, the microphone";
  EXPECT_EQ(std::vector<uint32_t>{0}, v[11]) << "destination unmuted";
  EXPECT_EQ(std::vector<uint32_t>{700}, v[12]);
  EXPECT_EQ(std::vector<uint32_t>{700}, v[32]) << "microphone volume";
  EXPECT_EQ(std::vector<uint32_t>{0}, v[22]) << "line in silenced";

  mixer.SelectStereoMix();
  EXPECT_EQ((std::vector<uint32_t>{1, 0, 0, 0}), v[10]);
  EXPECT_EQ(std::vector<uint32_t>{700}, v[52]) << "the mix";
  EXPECT_EQ(std::vector<uint32_t>{700}, v[32]) << "the microphone stays audible";
  EXPECT_EQ(std::vector<uint32_t>{0}, v[42]);
}

TEST(WaveMixer, WithoutSelectorOnlyTheMicrophoneLinesAreOpen) {
  FakeSystem system;
  Build(&system.state, kSources, 0);
  CWaveMixer(&system).SelectMicrophone();
  auto& v = system.state.values;
  EXPECT_EQ(std::vector<uint32_t>{0}, v[31]);
  EXPECT_EQ(std::vector<uint32_t>{700}, v[32]);
  EXPECT_EQ(std::vector<uint32_t>{1}, v[21]) << "line in muted";
  EXPECT_EQ(std::vector<uint32_t>{1}, v[41]);
}

TEST(WaveMixer, ItemsWithoutLinesAndShortAnswersStayInBounds) {
  FakeSystem system;
  Build(&system.state, {{kSourceMicrophone, L"Mic"}}, 3);
  system.state.values[10] = {1, 1, 1};
  CWaveMixer mixer(&system);
  mixer.SelectMicrophone();
  EXPECT_EQ((std::vector<uint32_t>{0, 0, 1}), system.state.values[10]) << "items without a line are not chosen";

  system.state.values[10] = {1, 1, 1};
  system.state.shortDetails = true;
  mixer.SelectStereoMix();
  EXPECT_EQ((std::vector<uint32_t>{1, 1, 1}), system.state.values[10]) << "a short answer changes nothing";

  system.state.shortDetails = false;
  system.state.controls[1].back().multipleItems = 1u << 30;
  mixer.SelectMicrophone();
  EXPECT_EQ((std::vector<uint32_t>{1, 1, 1}), system.state.values[10]);
}

TEST(WaveMixer, TheMixerIsTheOneOfTheWaveInDeviceNamedInTheInput) {
  const std::vector<std::wstring> names = {L"Realtek HD Audio", L"USB Audio"};
  EXPECT_EQ(1, CWaveMixer::ChooseMixer(names, names, L"麦克风 (USB Audio)"));
  EXPECT_EQ(0, CWaveMixer::ChooseMixer(names, names, L"Line In (Other)"));
  EXPECT_EQ(0, CWaveMixer::ChooseMixer(names, {L"Something else"}, L"USB Audio"));
  EXPECT_EQ(-1, CWaveMixer::ChooseMixer(names, {}, L"USB Audio"));
}

}  // namespace
