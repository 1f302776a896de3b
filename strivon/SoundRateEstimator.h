// Measures how fast a sound device really delivers against the monotonic
// clock and says how much its sound must be stretched to stay on that clock.
// A device's clock is off by tens to hundreds of ppm; counted by its samples,
// its sound drifts away from pictures stamped on the monotonic clock by a
// second every few hours.
//
// Per block the estimator compares when the block arrived with where the
// compensated sound ends. Arrivals only ever come late (scheduling, bursts),
// so it follows the earliest arrivals: the lowest difference over the last
// one or two seconds. A proportional-integral loop then sets the ratio
// (compensated frames per device frame) that holds that difference where
// the first second put it: the integral learns the device's rate, the
// proportional part takes back what drifted while it learned. The ratio
// follows the loop smoothly and stays within kMaxCorrection, so neither a
// wrong reading nor the loop's own steps make an audible pitch change.
//
// Sound the device lost (an overrun, a suspended or moved stream) leaves its
// position behind the clock while the blocks go on arriving at their pace:
// when every arrival for kLossConfirmUs is more than kLossSeconds ahead of
// where the loop holds it, the time line moves on by the lowest of those
// leads at once, with the loop held meanwhile, instead of catching up at 1%.
// A block that arrives late once (the capture thread was not run) and the
// burst after it do not count: the burst's last blocks arrive on time.
// Used by SoundRateCompensator only; not thread-safe.
#pragma once
#include <cstddef>
#include <cstdint>

class SoundRateEstimator {
 public:
  static constexpr double kMaxCorrection = 0.01;
  static constexpr double kLossSeconds = 0.08;
  static constexpr int64_t kLossConfirmUs = 150000;

  explicit SoundRateEstimator(int sampleRate = 44100);

  struct Step {
    double ratio = 1.0;      // compensated frames per device frame, for this block
    double skipFrames = 0;   // compensated frames the time line moves on before it
  };
  // A block of frames arrived at arrivalUs (monotonic microseconds). With
  // continuous false the device's position jumped (it restarted, or sound
  // was lost): the time line moves on to where the arrivals put it and the
  // sound resumes there, after a hole of skipFrames.
  Step Update(int64_t arrivalUs, size_t frames, bool continuous = true);
  // The frames the resampler really made of the last block: the loop holds
  // what was produced, from which the stamps come, not its own model of it.
  void Produced(double frames);
  // A new time line: the next block starts it.
  void Reset();

  double Ratio() const { return m_ratio; }
  // Where the compensated sound ends, in frames from the time line's start.
  double OutputFrames() const { return m_output; }

 private:
  // How far the arrivals are ahead of the compensated sound, in seconds.
  double Lead(int64_t arrivalUs, double outputEnd) const;
  void NoteLead(int64_t arrivalUs, double lead);

  double m_rate;
  bool m_started = false;
  int64_t m_startUs = 0;
  int64_t m_lastUs = 0;
  double m_output = 0;  // compensated frames so far
  double m_predicted = 0;  // what Update counted for its block
  double m_ratio = 1.0;
  double m_integral = 0;
  // The lowest lead of the current and the previous one-second bucket.
  int64_t m_bucket = 0;
  double m_bucketLowest = 0;
  double m_previousLowest = 0;
  bool m_havePrevious = false;
  bool m_haveReference = false;
  double m_reference = 0;
  // A stretch of arrivals all further ahead than kLossSeconds.
  bool m_behind = false;
  int64_t m_behindSinceUs = 0;
  double m_behindLowest = 0;
};
