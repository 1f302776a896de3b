// Checks on a recording for the clock-drift tests: when the beeps sound and
// the flashes show on the recording's own time line.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace publish_test {

// A picture's presentation time and mean luma (0..255).
struct PictureLuma {
  double ptsMs;
  double luma;
};
// Every picture of the recording's video, in presentation order.
bool PictureLumas(const std::string& media, std::vector<PictureLuma>* pictures, std::string* error);
// Where the screen turned from dark to bright: midway between the last dark
// and the first bright picture, the best guess of when it changed.
std::vector<double> FlashOnsetsMs(const std::vector<PictureLuma>& pictures);

// The recording's sound as mono 16-bit PCM at rate, and the stamp of its
// first sample (the first audio packet's).
bool MonoSound(const std::string& media, const std::string& folder, int rate, std::vector<int16_t>* pcm,
               double* firstMs, std::string* error);
// Starts of the bursts of hz in the sound, in ms from its first sample; a
// burst counts once its level reaches half of its peak.
std::vector<double> BeepOnsetsMs(const std::vector<int16_t>& pcm, int rate, double hz);

}  // namespace publish_test
