// Decoding helpers for the encoder's live tests: one picture as RGB24 and
// a stretch of sound as mono samples, both through ffmpeg.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The picture shown at atSeconds, as top-down packed R, G, B; empty on failure.
std::vector<uint8_t> DecodePictureRgb(const std::string& media, const std::string& scratchDir, double atSeconds);
// One second of mono 16-bit sound from atSeconds at `rate` Hz; empty on failure.
std::vector<int16_t> DecodeSoundMono(const std::string& media, const std::string& scratchDir, double atSeconds,
                                     int rate);
// The strongest frequency among 100 Hz .. 5000 Hz in steps of stepHz.
double DominantFrequency(const std::vector<int16_t>& samples, int rate, double stepHz = 50);
