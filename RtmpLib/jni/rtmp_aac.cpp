#include "RtmpLib/jni/rtmp_aac.h"

namespace rtmp {

bool BuildAacSequenceHeader(int sampleRate, int channels, uint8_t out[kAacSequenceHeaderSize]) {
  struct Row {
    int rate;
    uint8_t byte3;
    uint8_t byte4;
    uint8_t byte7;
  };
  // byte3/4: object type 2, the core (half) rate and one core channel; bytes 5-7: sync
  // extension 0x2B7, object type 5, SBR present, the full rate's index.
  static constexpr Row kRows[] = {
      {22050, 0x15, 0x08, 0xB8}, {24000, 0x14, 0x88, 0xB0}, {32000, 0x14, 0x08, 0xA8},
      {44100, 0x13, 0x88, 0xA0}, {48000, 0x13, 0x08, 0x98},
  };
  for (const Row& row : kRows) {
    if (row.rate != sampleRate) continue;
    out[0] = 0xAF;
    out[1] = 0x00;
    out[2] = row.byte3;
    // Two channels are sent as parametric stereo: one core channel that the
    // decoder widens again. The configuration must say one channel, or a
    // decoder fills the left channel from the core and leaves the right silent.
    (void)channels;
    out[3] = row.byte4;
    out[4] = 0x56;
    out[5] = 0xE5;
    out[6] = row.byte7;
    return true;
  }
  return false;
}

}  // namespace rtmp
