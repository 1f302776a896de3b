// The stream-health judge of a publish test: what a server recorded, measured
// the way a viewer would notice a dead or starving stream. Pictures per
// second after the start-up stretch, the longest hole in the sound and the
// decoder's complaints, all from the recording itself (ffprobe and ffmpeg),
// never from what the library reports.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace test_support {

struct StreamHealth {
  // Pictures whose stamp lies at least t0 after the recording's first stamp,
  // and their rate ((count - 1) over the time from the first to the last).
  int pictures = 0;
  double picturesPerSecond = 0;
  // The fewest pictures in any second after t0 (a window sliding in 200 ms
  // steps, up to half a second before the end), and where that second starts.
  int fewestPicturesInASecond = 0;
  long long fewestPicturesAtMs = 0;
  // The last picture's and the last sound's stamp, from the first stamp.
  long long lastPictureMs = -1;
  long long lastSoundMs = -1;
  // The longest time after t0 without sound, beyond one sound packet's own
  // length: 0 for continuous sound; from t0 when the sound starts late; the
  // whole stretch when there is no sound.
  long long largestSoundGapMs = 0;
  // How much earlier than the pictures the sound ends. The sound encoder
  // still holds its delay (about a fifth of a second) when a run stops, so
  // a little of this is the normal end of a stream; sound that dies during
  // the run shows as much more.
  long long soundEndsEarlyMs = 0;
  // Lines that "ffmpeg -v error" printed while decoding the whole file.
  int decodeErrors = 0;
  std::string decodeErrorText;
};

// Stretches of a recording (ms from its first stamp) that the per-second
// picture count and the sound-hole measure leave out: the second after a fault.
using LeftOut = std::vector<std::pair<long long, long long>>;

// False (with the reason in *error) when the recording cannot be probed.
bool MeasureStreamHealth(const std::string& recording, long long t0Ms, StreamHealth* health,
                         std::string* error = nullptr, const LeftOut& leftOut = {});

// One line for failure messages.
std::string DescribeStreamHealth(const StreamHealth& health);

// What a healthy stream at fps must show after t0: pictures at the asked
// rate within 5% (with everySecond, in every second too), no hole in the
// sound over maxSoundGapMs, sound to within the encoder's delay of the end,
// nothing the decoder complains about. Empty when all hold, else what failed
// and the figures.
std::string StreamHealthProblems(const StreamHealth& health, int fps, long long maxSoundGapMs = 50,
                                 bool everySecond = false);

}  // namespace test_support
