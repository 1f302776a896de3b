// One speexdsp preprocessor per channel of interleaved 16-bit PCM, fed in
// 10 ms pieces. Blocks need not be whole pieces (the manager's 30 ms block
// at 44.1 kHz is, at 48 kHz it is not): the output runs one piece behind the
// input, so every sample is processed and each call still returns as many
// samples as it got. Holds the settings mapping of Hushgain.h; the handle
// table in hushgain_api.cpp owns one per handle.
#pragma once
#include <cstdint>
#include <vector>

struct SpeexPreprocessState_;

struct HushgainSettings {
  int sampleRate = 0;
  int channels = 0;
  int suppressionLevel = 0;
  int suppressionMode = 0;
  int agcLevel = 0;
};

class ChannelPreprocessor {
 public:
  ChannelPreprocessor() = default;
  ~ChannelPreprocessor();
  ChannelPreprocessor(const ChannelPreprocessor&) = delete;
  ChannelPreprocessor& operator=(const ChannelPreprocessor&) = delete;

  // false when speexdsp refuses the rate.
  bool Configure(const HushgainSettings& settings);
  // Processes sampleCount interleaved samples (whole sample frames) in
  // place; what comes out is the input of 10 ms earlier, processed.
  void Process(int16_t* samples, int sampleCount);
  int Channels() const { return m_settings.channels; }

  // The noise attenuation in dB that speexdsp is given (negative), 0 = off.
  static int SuppressionDb(int level, int mode);
  // Speech level gain control aims at, on speexdsp's 0..32768 scale.
  static float AgcTarget(int agcLevel);

 private:
  void Free();

  HushgainSettings m_settings;
  int m_pieceFrames = 0;
  std::vector<SpeexPreprocessState_*> m_states;
  std::vector<int16_t> m_piece;
  std::vector<int16_t> m_waiting;    // input not yet a whole piece
  std::vector<int16_t> m_processed;  // output not yet handed back
};
