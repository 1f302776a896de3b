#include "strivon/SoundRateCompensator.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include "common/Log.h"

namespace {

// swresample takes the ratio as samples gained or lost over a distance:
// over a million samples, the ratio is set to a ppm.
constexpr int kCompensationDistance = 1000000;
// Device times are whole milliseconds: a block that starts more than this
// away from where the last one stopped means the device jumped.
constexpr int64_t kJumpToleranceMs = 5;

}  // namespace

SoundRateCompensator::~SoundRateCompensator() { CloseLocked(); }

void SoundRateCompensator::CloseLocked() {
  if (m_swr) swr_free(&m_swr);
  m_sampleRate = m_channels = 0;
}

bool SoundRateCompensator::OpenLocked(int sampleRate, int channels) {
  CloseLocked();
  if (sampleRate <= 0 || channels < 1 || channels > 2) {
    STRIVON_LOG(kLogWarning, "SoundRateCompensator::Process", "cannot resample %d Hz, %d channels", sampleRate,
                channels);
    return false;
  }
  AVChannelLayout layout;
  av_channel_layout_default(&layout, channels);
  int result = swr_alloc_set_opts2(&m_swr, &layout, AV_SAMPLE_FMT_S16, sampleRate, &layout, AV_SAMPLE_FMT_S16,
                                   sampleRate, 0, nullptr);
  av_channel_layout_uninit(&layout);
  if (result >= 0) result = swr_init(m_swr);
  // Compensation switches the resampler on and sets up its fine phase
  // steps; done before the first sample, it never changes the sound's delay.
  if (result >= 0) result = swr_set_compensation(m_swr, 1, kCompensationDistance);
  if (result < 0) {
    STRIVON_LOG(kLogWarning, "SoundRateCompensator::Process", "resampler refused %d Hz, %d channels (%d)", sampleRate,
                channels, result);
    CloseLocked();
    return false;
  }
  m_sampleRate = sampleRate;
  m_channels = channels;
  return true;
}

void SoundRateCompensator::Reset() {
  std::lock_guard<std::mutex> lock(m_lock);
  CloseLocked();
  m_estimator.Reset();
  m_havePosition = false;
  m_lastStopMs = 0;
  m_outputFrames = 0;
}

int64_t SoundRateCompensator::OutputEndMs() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_sampleRate > 0 ? static_cast<int64_t>(m_outputFrames * 1000 / m_sampleRate) : 0;
}

double SoundRateCompensator::Ratio() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_estimator.Ratio();
}

bool SoundRateCompensator::Process(const int16_t* pcm, size_t frames, int sampleRate, int channels, int64_t startMs,
                                   int64_t stopMs, int64_t arrivalUs, std::vector<int16_t>* out) {
  out->clear();
  if (!pcm || frames == 0) return true;
  std::lock_guard<std::mutex> lock(m_lock);
  if (sampleRate != m_sampleRate || channels != m_channels) {
    // Another format is another device: its own rate to learn. A format the
    // resampler refuses passes unchanged (and is logged once).
    OpenLocked(sampleRate, channels);
    m_sampleRate = sampleRate;
    m_channels = channels;
    m_estimator = SoundRateEstimator(sampleRate);
  }
  const size_t samples = frames * static_cast<size_t>(std::max(1, channels));
  // A device that restarted counts from 0 again; one that lost sound jumps
  // ahead. Without times, the blocks are taken as following each other.
  const bool timed = startMs != 0 || stopMs != 0;
  const bool continuous = !timed || !m_havePosition || std::llabs(startMs - m_lastStopMs) <= kJumpToleranceMs;
  if (timed) {
    m_havePosition = true;
    m_lastStopMs = stopMs;
  }
  const SoundRateEstimator::Step step = m_estimator.Update(arrivalUs, frames, continuous);
  m_outputFrames += step.skipFrames;
  // libswresample steps through the input by (1 - delta / distance) per
  // output sample: ratio output frames per input frame takes this delta.
  const int delta = static_cast<int>(std::lround((1.0 - 1.0 / step.ratio) * kCompensationDistance));
  int produced = -1;
  if (m_swr && swr_set_compensation(m_swr, delta, kCompensationDistance) >= 0) {
    try {
      out->resize((static_cast<size_t>(swr_get_out_samples(m_swr, static_cast<int>(frames))) + 16) *
                  static_cast<size_t>(channels));
      uint8_t* outPlanes[1] = {reinterpret_cast<uint8_t*>(out->data())};
      const uint8_t* inPlanes[1] = {reinterpret_cast<const uint8_t*>(pcm)};
      produced = swr_convert(m_swr, outPlanes, static_cast<int>(out->size() / static_cast<size_t>(channels)), inPlanes,
                             static_cast<int>(frames));
    } catch (const std::bad_alloc&) {
      produced = -1;
    }
  }
  if (produced < 0) {
    out->assign(pcm, pcm + samples);
    m_outputFrames += static_cast<double>(frames);
    m_estimator.Produced(static_cast<double>(frames));
    return false;
  }
  out->resize(static_cast<size_t>(produced) * static_cast<size_t>(channels));
  m_outputFrames += produced;
  m_estimator.Produced(produced);
  return true;
}
