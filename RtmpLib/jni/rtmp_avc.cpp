#include "RtmpLib/jni/rtmp_avc.h"

namespace rtmp {

int FindStartCode(const uint8_t* p, int n, int* startCodeLength) {
  for (int i = 0; i + 4 < n; ++i) {
    if (p[i] != 0 || p[i + 1] != 0) continue;
    if (p[i + 2] == 1) {
      *startCodeLength = 3;
      return i;
    }
    if (p[i + 2] == 0 && p[i + 3] == 1) {
      *startCodeLength = 4;
      return i;
    }
  }
  return -1;
}

std::vector<NalUnit> SplitAnnexB(const uint8_t* p, size_t n) {
  std::vector<NalUnit> units;
  size_t start = 0;
  bool inUnit = false;
  size_t i = 0;
  while (i + 2 < n) {
    if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) {
      if (inUnit) {
        size_t end = i;
        // Zeros before a start code belong to it (a 4-byte start code or
        // trailing_zero_8bits), never to the unit.
        while (end > start && p[end - 1] == 0) --end;
        if (end > start) units.push_back({p + start, end - start});
      }
      i += 3;
      start = i;
      inUnit = true;
      continue;
    }
    ++i;
  }
  if (inUnit) {
    size_t end = n;
    while (end > start && p[end - 1] == 0) --end;
    if (end > start) units.push_back({p + start, end - start});
  }
  return units;
}

std::vector<uint8_t> BuildAvcDecoderConfig(const NalUnit& sps, const NalUnit& pps) {
  if (sps.size < 4 || sps.size > 0xFFFF || pps.size == 0 || pps.size > 0xFFFF) return {};
  std::vector<uint8_t> out;
  out.reserve(11 + sps.size + pps.size);
  out.push_back(0x01);
  out.push_back(sps.data[1]);  // profile_idc
  out.push_back(sps.data[2]);  // constraint flags
  out.push_back(sps.data[3]);  // level_idc
  out.push_back(0xFF);         // 4-byte NAL lengths
  out.push_back(0xE1);         // one SPS
  out.push_back(static_cast<uint8_t>(sps.size >> 8));
  out.push_back(static_cast<uint8_t>(sps.size));
  out.insert(out.end(), sps.data, sps.data + sps.size);
  out.push_back(0x01);  // one PPS
  out.push_back(static_cast<uint8_t>(pps.size >> 8));
  out.push_back(static_cast<uint8_t>(pps.size));
  out.insert(out.end(), pps.data, pps.data + pps.size);
  return out;
}

}  // namespace rtmp
