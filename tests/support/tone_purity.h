// How clean a steady tone is: the strongest spectral line, in dB relative to
// the tone, that is neither the tone (the strongest line) nor one of its
// harmonics. A click, a dropped or repeated stretch or a sudden change of
// pitch shows there. Pure arithmetic on 16-bit mono PCM, for any test.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

namespace test_support {

// Over windows of 2048 samples of pcm from fromMs on that keep clear of the
// given spans (ms, start and end); *worstAtMs and *worstHz (when given) get
// where the strongest stray line was found.
double LoudestStrayDb(const std::vector<int16_t>& pcm, int rate, double fromMs,
                      const std::vector<std::pair<double, double>>& avoid = {}, double* worstAtMs = nullptr,
                      double* worstHz = nullptr);

}  // namespace test_support
