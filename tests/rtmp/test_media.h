// Media for the RTMP client's tests: H.264 access units cut from an Annex-B
// stream that ffmpeg made, and HE-AAC frames from the encoder (the format the
// client's audio sequence header announces).
#pragma once
#include <string>
#include <vector>

namespace rtmp_test {

// ffmpeg testsrc2 at widthxheight, 25 fps, no B-frames, Annex-B; false when
// ffmpeg failed (the reason in *error).
bool MakeH264AnnexB(const std::string& path, int seconds, int width, int height, std::string* error);

// Access units: NAL units up to and including each picture slice.
std::vector<std::string> SplitAccessUnits(const std::string& annexB);

// Raw HE-AAC frames (2048 samples each) of a sine tone.
std::vector<std::string> EncodeHeAacFrames(int sampleRate, int channels, double seconds);

}  // namespace rtmp_test
