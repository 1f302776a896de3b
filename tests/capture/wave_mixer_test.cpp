// The wave-in mixer path of the line selection against a fake mixer: which
// selector item and volumes each line gets, and mixers whose answers do not
// add up.
#include <gtest/gtest.h>

#include <map>

#include "capture/WaveMixer.h"

namespace {

using namespace wave_mixer;
using Values = std::vector<uint32_t>;

// One wave-in destination (line 1: mux 10, mute 11, volume 12 of 0..1000)
// and sources 2, 3, ... each with mute 10*id+1 and volume 10*id+2.
class FakeMixer : public IWaveMixerSystem, public IWaveMixerDevice {
 public:
  FakeMixer(const std::vector<std::pair<uint32_t, std::wstring>>& sources, uint32_t muxItems) {
    for (uint32_t line = 1; line <= sources.size() + 1; ++line)
      controls[line] = {{10 * line + 1, kControlMute, 0, 0, 0, 1, 0, L"Mute"},
                        {10 * line + 2, kControlVolume, 0, 0, 0, 1000, 100, L"Volume"}};
    if (muxItems) controls[1].push_back({10, kControlMux, kFlagMultiple, muxItems, 0, 1, 0, L"Select"});
    for (uint32_t i = 0; i < sources.size(); ++i) lines.push_back({2 + i, sources[i].first, 0, sources[i].second});
  }
  std::vector<std::wstring> WaveInProductNames() override { return {L"HD Audio"}; }
  std::vector<std::wstring> MixerProductNames() override { return {L"HD Audio"}; }
  std::unique_ptr<IWaveMixerDevice> Open(uint32_t) override { return std::make_unique<Handle>(this); }
  uint32_t DestinationCount() override { return 1; }
  bool GetDestination(uint32_t, MixerLine* line) override {
    *line = {1, kDestinationWaveIn, static_cast<uint32_t>(lines.size()), L"Recording"};
    return true;
  }
  bool GetSource(uint32_t, uint32_t index, MixerLine* line) override {
    return index < lines.size() && (*line = lines[index], true);
  }
  bool GetLineControls(uint32_t lineId, std::vector<MixerControl>* out) override {
    return *out = controls[lineId], true;
  }
  bool GetControl(uint32_t id, MixerControl* control) override {
    for (auto& line : controls)
      for (auto& c : line.second)
        if (c.id == id) return *control = c, true;
    return false;
  }
  bool GetDetails(uint32_t id, uint32_t count, Values* out) override {
    *out = values[id];
    out->resize(count - (shortAnswers ? 1 : 0));
    return true;
  }
  bool SetDetails(uint32_t id, const Values& in) override { return values[id] = in, true; }

  // What Open hands out: the mixer itself, closed when dropped.
  struct Handle : IWaveMixerDevice {
    explicit Handle(FakeMixer* m) : m(m) {}
    uint32_t DestinationCount() override { return m->DestinationCount(); }
    bool GetDestination(uint32_t i, MixerLine* l) override { return m->GetDestination(i, l); }
    bool GetSource(uint32_t d, uint32_t i, MixerLine* l) override { return m->GetSource(d, i, l); }
    bool GetLineControls(uint32_t id, std::vector<MixerControl>* c) override { return m->GetLineControls(id, c); }
    bool GetControl(uint32_t id, MixerControl* c) override { return m->GetControl(id, c); }
    bool GetDetails(uint32_t id, uint32_t n, Values* v) override { return m->GetDetails(id, n, v); }
    bool SetDetails(uint32_t id, const Values& v) override { return m->SetDetails(id, v); }
    FakeMixer* m;
  };

  std::vector<MixerLine> lines;
  std::map<uint32_t, std::vector<MixerControl>> controls;
  std::map<uint32_t, Values> values;
  bool shortAnswers = false;
};

const std::vector<std::pair<uint32_t, std::wstring>> kSources = {
    {0x1008, L"Line In"}, {kSourceMicrophone, L"Microphone"}, {0x1005, L"CD"}, {0x1002, L"stereo mix"}};

TEST(WaveMixer, SelectorItemsRunOppositeToTheSourcesAndVolumesFollowTheChoice) {
  FakeMixer fake(kSources, 4);
  fake.values[10] = {1, 0, 0, 0};
  CWaveMixer mixer(&fake);
  mixer.SelectMicrophone();
  EXPECT_EQ((Values{0, 0, 1, 0}), fake.values[10]) << "item 2 from the start is source 1, the microphone";
  EXPECT_EQ(Values{0}, fake.values[11]) << "destination unmuted";
  EXPECT_EQ(Values{700}, fake.values[12]);
  EXPECT_EQ(Values{700}, fake.values[32]);
  EXPECT_EQ(Values{0}, fake.values[22]);

  mixer.SelectStereoMix();
  EXPECT_EQ((Values{1, 0, 0, 0}), fake.values[10]);
  EXPECT_EQ(Values{700}, fake.values[52]);
  EXPECT_EQ(Values{700}, fake.values[32]) << "the microphone stays audible";
  EXPECT_EQ(Values{0}, fake.values[42]);
}

TEST(WaveMixer, WithoutSelectorOnlyTheMicrophoneLinesAreOpen) {
  FakeMixer fake(kSources, 0);
  CWaveMixer(&fake).SelectMicrophone();
  EXPECT_EQ(Values{0}, fake.values[31]);
  EXPECT_EQ(Values{700}, fake.values[32]);
  EXPECT_EQ(Values{1}, fake.values[21]);
  EXPECT_EQ(Values{1}, fake.values[41]);
}

TEST(WaveMixer, ItemsWithoutLinesAndAnswersThatDoNotAddUpStayInBounds) {
  FakeMixer fake({{kSourceMicrophone, L"Mic"}}, 3);
  fake.values[10] = {1, 1, 1};
  CWaveMixer mixer(&fake);
  mixer.SelectMicrophone();
  EXPECT_EQ((Values{0, 0, 1}), fake.values[10]) << "items without a line are not chosen";
  fake.values[10] = {1, 1, 1};
  fake.shortAnswers = true;
  mixer.SelectStereoMix();
  EXPECT_EQ((Values{1, 1, 1}), fake.values[10]);
  fake.shortAnswers = false;
  fake.controls[1].back().multipleItems = 1u << 30;
  mixer.SelectMicrophone();
  EXPECT_EQ((Values{1, 1, 1}), fake.values[10]);
}

}  // namespace
