// H.264 helpers of the client's video path: splitting an Annex-B access unit
// into NAL units and building the AVCDecoderConfigurationRecord.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace rtmp {

struct NalUnit {
  const uint8_t* data;  // first byte is the NAL header
  size_t size;          // without trailing zero bytes
  int type() const { return data[0] & 0x1f; }
};

enum NalType { kNalSlice = 1, kNalIdr = 5, kNalSps = 7, kNalPps = 8 };

// Position of the first 00 00 01 or 00 00 00 01 in p[0..n-5], its length in
// *startCodeLength; -1 when none starts there.
int FindStartCode(const uint8_t* p, int n, int* startCodeLength);

// Every NAL unit of an Annex-B access unit, in order. Empty units are left out.
std::vector<NalUnit> SplitAnnexB(const uint8_t* p, size_t n);

// AVCDecoderConfigurationRecord with profile, compatibility and level taken
// from the SPS; empty when the SPS is too short to carry them.
std::vector<uint8_t> BuildAvcDecoderConfig(const NalUnit& sps, const NalUnit& pps);

}  // namespace rtmp
