#include "app/PublishParamRanges.h"

#include <cstdio>
#include <initializer_list>
#include <utility>

namespace {

using V = PublishParamValues;

bool IsAacSampleRate(int rate) { return rate == 24000 || rate == 32000 || rate == 44100 || rate == 48000; }

struct Range {
  const char* key;
  int V::*field;
  int min, max;
};

// Frame rates the capture and encoder run at, the B-frames x264 is given,
// and the sound the AAC encoder takes (16-bit PCM, mono or stereo).
constexpr Range kRanges[] = {
    {"ADChannels", &V::ADChannels, 1, 2},   {"ADBitperSample", &V::ADBitperSample, 16, 16},
    {"VDFPS", &V::VDFPS, 1, 60},             {"VFFPS", &V::VFFPS, 1, 60},
    {"VCFPS", &V::VCFPS, 1, 60},             {"BFrameCount", &V::BFrameCount, 0, 16},
    {"VDWidth", &V::VDWidth, 1, kMaxOutputWidth}, {"VDHeight", &V::VDHeight, 1, kMaxOutputHeight},
};

void Report(std::vector<ParamRangeFix>* fixes, const char* key, int given, int used, const std::string& source) {
  fixes->push_back(ParamRangeFix{key, given, used});
  std::fprintf(stderr, "Velmora: %s: %s %d is out of range, %d is used\n", source.c_str(), key, given, used);
}

}  // namespace

std::vector<ParamRangeFix> KeepPublishParamsInRange(PublishParamValues* values, const PublishParamValues& fallbacks,
                                                    const std::string& source) {
  std::vector<ParamRangeFix> fixes;
  if (!IsAacSampleRate(values->ADSampleRate)) {
    Report(&fixes, "ADSampleRate", values->ADSampleRate, fallbacks.ADSampleRate, source);
    values->ADSampleRate = fallbacks.ADSampleRate;
  }
  for (const Range& r : kRanges) {
    const int given = values->*r.field;
    if (given >= r.min && given <= r.max) continue;
    Report(&fixes, r.key, given, fallbacks.*r.field, source);
    values->*r.field = fallbacks.*r.field;
  }
  // The largest size is one value ("W*H"): either side out of range drops both.
  const bool widthOk = values->MaxVDWidth >= 1 && values->MaxVDWidth <= kMaxOutputWidth;
  const bool heightOk = values->MaxVDHeight >= 1 && values->MaxVDHeight <= kMaxOutputHeight;
  if (!widthOk || !heightOk) {
    for (const auto& [key, field] : {std::pair{"MaxVDWidth", &V::MaxVDWidth}, std::pair{"MaxVDHeight", &V::MaxVDHeight}})
      Report(&fixes, key, values->*field, fallbacks.*field, source);
    values->MaxVDWidth = fallbacks.MaxVDWidth;
    values->MaxVDHeight = fallbacks.MaxVDHeight;
  }
  return fixes;
}
