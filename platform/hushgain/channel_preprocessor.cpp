#include "platform/hushgain/channel_preprocessor.h"

#include <speex/speex_preprocess.h>

#include <algorithm>

ChannelPreprocessor::~ChannelPreprocessor() { Free(); }

void ChannelPreprocessor::Free() {
  for (SpeexPreprocessState* state : m_states) speex_preprocess_state_destroy(state);
  m_states.clear();
}

int ChannelPreprocessor::SuppressionDb(int level, int mode) {
  level = std::clamp(level, 0, 60);
  mode = std::clamp(mode, 0, 3);
  return -(level * (mode + 1) / 4);
}

float ChannelPreprocessor::AgcTarget(int agcLevel) {
  return 32768.0f * static_cast<float>(std::clamp(agcLevel, 1, 100)) / 100.0f;
}

bool ChannelPreprocessor::Configure(const HushgainSettings& settings) {
  Free();
  m_settings = settings;
  m_pieceFrames = settings.sampleRate / 100;
  m_piece.assign(static_cast<size_t>(m_pieceFrames), 0);
  m_waiting.clear();
  m_processed.assign(static_cast<size_t>(m_pieceFrames) * settings.channels, 0);
  const int db = SuppressionDb(settings.suppressionLevel, settings.suppressionMode);
  for (int c = 0; c < settings.channels; ++c) {
    SpeexPreprocessState* state = speex_preprocess_state_init(m_pieceFrames, settings.sampleRate);
    if (!state) {
      Free();
      return false;
    }
    m_states.push_back(state);
    spx_int32_t denoise = db < 0 ? 1 : 0;
    speex_preprocess_ctl(state, SPEEX_PREPROCESS_SET_DENOISE, &denoise);
    if (db < 0) {
      spx_int32_t suppress = db;
      speex_preprocess_ctl(state, SPEEX_PREPROCESS_SET_NOISE_SUPPRESS, &suppress);
    }
    spx_int32_t agc = settings.agcLevel > 0 ? 1 : 0;
    speex_preprocess_ctl(state, SPEEX_PREPROCESS_SET_AGC, &agc);
    if (agc) {
      float target = AgcTarget(settings.agcLevel);
      speex_preprocess_ctl(state, SPEEX_PREPROCESS_SET_AGC_LEVEL, &target);
    }
  }
  return true;
}

void ChannelPreprocessor::Process(int16_t* samples, int sampleCount) {
  const int channels = m_settings.channels;
  if (channels <= 0 || m_pieceFrames <= 0 || static_cast<int>(m_states.size()) != channels) return;
  const size_t pieceSamples = static_cast<size_t>(m_pieceFrames) * channels;
  m_waiting.insert(m_waiting.end(), samples, samples + sampleCount);
  size_t used = 0;
  for (; used + pieceSamples <= m_waiting.size(); used += pieceSamples) {
    int16_t* piece = m_waiting.data() + used;
    for (int c = 0; c < channels; ++c) {
      for (int i = 0; i < m_pieceFrames; ++i) m_piece[i] = piece[i * channels + c];
      speex_preprocess_run(m_states[c], m_piece.data());
      for (int i = 0; i < m_pieceFrames; ++i) piece[i * channels + c] = m_piece[i];
    }
    m_processed.insert(m_processed.end(), piece, piece + pieceSamples);
  }
  m_waiting.erase(m_waiting.begin(), m_waiting.begin() + static_cast<std::ptrdiff_t>(used));
  // The piece of silence put in front at Configure keeps this from running dry.
  const size_t out = std::min(m_processed.size(), static_cast<size_t>(sampleCount));
  std::copy(m_processed.begin(), m_processed.begin() + static_cast<std::ptrdiff_t>(out), samples);
  m_processed.erase(m_processed.begin(), m_processed.begin() + static_cast<std::ptrdiff_t>(out));
}
