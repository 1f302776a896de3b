#include "RtmpLib/jni/rtmp_aac.h"

namespace rtmp {

bool BuildAacSequenceHeader(int sampleRate, int channels, uint8_t out[kAacSequenceHeaderSize]) {
  struct Row {
    int rate;
    uint8_t byte3;
    uint8_t mono;
    uint8_t stereo;
    uint8_t byte7;
  };
  // byte3/4: object type 2 and the core (half) rate; bytes 5-7: sync
  // extension 0x2B7, object type 5, SBR present, the full rate's index.
  static constexpr Row kRows[] = {
      {22050, 0x15, 0x08, 0x10, 0xB8}, {24000, 0x14, 0x88, 0x90, 0xB0}, {32000, 0x14, 0x08, 0x10, 0xA8},
      {44100, 0x13, 0x88, 0x90, 0xA0}, {48000, 0x13, 0x08, 0x10, 0x98},
  };
  for (const Row& row : kRows) {
    if (row.rate != sampleRate) continue;
    out[0] = 0xAF;
    out[1] = 0x00;
    out[2] = row.byte3;
    out[3] = channels == 1 ? row.mono : row.stereo;
    out[4] = 0x56;
    out[5] = 0xE5;
    out[6] = row.byte7;
    return true;
  }
  return false;
}

}  // namespace rtmp
