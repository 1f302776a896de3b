#include "strivon/SoundRateEstimator.h"

#include <algorithm>

namespace {

constexpr int64_t kBucketUs = 1000000;
// The loop's gains, per second and per second squared: it settles within
// about half a minute and holds a 0.3% device within a few milliseconds.
constexpr double kProportional = 0.5;
constexpr double kIntegral = 0.08;
// The ratio follows the loop within about a second rather than at once: the
// lowest difference moves in steps as the buckets turn over, and a step in
// the ratio is a step in pitch, which would smear a steady tone.
constexpr double kRatioFollowSeconds = 1.0;

}  // namespace

SoundRateEstimator::SoundRateEstimator(int sampleRate) : m_rate(sampleRate > 0 ? sampleRate : 44100) {}

void SoundRateEstimator::Reset() { *this = SoundRateEstimator(static_cast<int>(m_rate)); }

double SoundRateEstimator::Lead(int64_t arrivalUs, double outputEnd) const {
  return static_cast<double>(arrivalUs - m_startUs) / 1e6 - outputEnd / m_rate;
}

void SoundRateEstimator::NoteLead(int64_t arrivalUs, double lead) {
  const int64_t bucket = (arrivalUs - m_startUs) / kBucketUs;
  if (bucket == m_bucket) {
    m_bucketLowest = std::min(m_bucketLowest, lead);
    return;
  }
  // A bucket with no block in it (a stalled device) leaves no history.
  m_havePrevious = bucket == m_bucket + 1;
  m_previousLowest = m_bucketLowest;
  if (!m_haveReference) {
    m_reference = m_bucketLowest;
    m_haveReference = true;
  }
  m_bucket = bucket;
  m_bucketLowest = lead;
}

SoundRateEstimator::Step SoundRateEstimator::Update(int64_t arrivalUs, size_t frames, bool continuous) {
  Step step;
  if (!m_started) {
    m_started = true;
    m_startUs = m_lastUs = arrivalUs;
    m_output = m_predicted = static_cast<double>(frames);
    m_bucketLowest = Lead(arrivalUs, m_output);
    return step;
  }
  const double blockFrames = static_cast<double>(frames);
  if (!continuous) {
    // Where this block would end were the sound on time; never backwards.
    const double onTime = (static_cast<double>(arrivalUs - m_startUs) / 1e6 - m_reference) * m_rate;
    step.skipFrames = std::max(0.0, onTime - blockFrames * m_ratio - m_output);
    m_output += step.skipFrames;
  }
  const double dt = std::min(1.0, std::max(0.0, static_cast<double>(arrivalUs - m_lastUs) / 1e6));
  m_lastUs = arrivalUs;
  const double lead = Lead(arrivalUs, m_output + blockFrames * m_ratio);
  if (m_haveReference && lead - m_reference > kLossSeconds) {
    if (!m_behind) {
      m_behind = true;
      m_behindSinceUs = arrivalUs;
      m_behindLowest = lead;
    }
    m_behindLowest = std::min(m_behindLowest, lead);
    if (arrivalUs - m_behindSinceUs >= kLossConfirmUs) {
      const double lost = (m_behindLowest - m_reference) * m_rate;
      step.skipFrames += lost;
      m_output += lost;
      m_behind = false;
    }
    step.ratio = m_ratio;
    m_predicted = blockFrames * m_ratio;
    m_output += m_predicted;
    return step;
  }
  m_behind = false;
  NoteLead(arrivalUs, lead);
  if (m_haveReference) {
    const double lowest = m_havePrevious ? std::min(m_previousLowest, m_bucketLowest) : m_bucketLowest;
    const double error = lowest - m_reference;  // > 0: the sound fell behind the clock
    m_integral = std::clamp(m_integral + kIntegral * error * dt, -kMaxCorrection, kMaxCorrection);
    const double wanted = 1.0 + std::clamp(kProportional * error + m_integral, -kMaxCorrection, kMaxCorrection);
    m_ratio += (wanted - m_ratio) * std::min(1.0, dt / kRatioFollowSeconds);
  }
  step.ratio = m_ratio;
  m_predicted = blockFrames * m_ratio;
  m_output += m_predicted;
  return step;
}

void SoundRateEstimator::Produced(double frames) {
  m_output += frames - m_predicted;
  m_predicted = frames;
}
