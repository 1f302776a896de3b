// RGB24-to-I420: our conversion against libyuv and libswscale, one thread
// each, at 1280x720 and 1920x1080. The three run interleaved, a few frames
// at a time in rotating order, so a busy machine slows each of them alike;
// figures are ms per frame (min / median / max) and ratios of the medians.
//   rgb_to_i420_bench [rounds]
#include <libyuv/convert.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "encodemediathensendthroughrtmp/RgbToI420.h"

namespace {

constexpr int kFramesPerTurn = 10;

struct Converter {
  std::string name;
  std::function<void(const uint8_t* bgr, uint8_t* i420)> convert;
  std::vector<double> ms;
};

struct Planes {
  uint8_t* y;
  uint8_t* u;
  uint8_t* v;
};

Planes Split(uint8_t* i420, int w, int h) {
  return {i420, i420 + static_cast<size_t>(w) * h, i420 + static_cast<size_t>(w) * h * 5 / 4};
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * (v.size() - 1))];
}

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

void RunSize(int w, int h, int rounds) {
  std::vector<uint8_t> bgr(static_cast<size_t>(w) * h * 3);
  std::mt19937 random(7);
  for (size_t i = 0; i < bgr.size(); ++i) bgr[i] = static_cast<uint8_t>((i / 3 % w) + (random() & 31));
  SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_BGR24, w, h, AV_PIX_FMT_YUV420P,
                                   SWS_AREA | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr);
  if (!sws) {
    std::fprintf(stderr, "sws_getContext failed\n");
    std::exit(1);
  }
  std::vector<Converter> converters;
  converters.push_back({"ours", [&](const uint8_t* in, uint8_t* out) { FlipAndConvertRgbToI420(out, in, w, h); }, {}});
  // libyuv's "RGB24" is B, G, R in memory, our byte order (checked below).
  converters.push_back({"libyuv", [&](const uint8_t* in, uint8_t* out) {
                          Planes p = Split(out, w, h);
                          libyuv::RGB24ToI420(in, w * 3, p.y, w, p.u, w / 2, p.v, w / 2, w, h);
                        }, {}});
  converters.push_back({"swscale", [&](const uint8_t* in, uint8_t* out) {
                          Planes p = Split(out, w, h);
                          const uint8_t* src[] = {in};
                          const int srcStride[] = {w * 3};
                          uint8_t* dst[] = {p.y, p.u, p.v};
                          const int dstStride[] = {w, w / 2, w / 2};
                          sws_scale(sws, src, srcStride, 0, h, dst, dstStride);
                        }, {}});

  std::vector<std::vector<uint8_t>> outputs(converters.size(), std::vector<uint8_t>(I420Size(w, h)));
  for (size_t c = 0; c < converters.size(); ++c) converters[c].convert(bgr.data(), outputs[c].data());  // warm-up

  for (int round = 0; round < rounds; ++round) {
    for (size_t k = 0; k < converters.size(); ++k) {
      Converter& c = converters[(round + k) % converters.size()];
      std::vector<uint8_t>& out = outputs[(round + k) % converters.size()];
      for (int f = 0; f < kFramesPerTurn; ++f) {
        const auto start = std::chrono::steady_clock::now();
        c.convert(bgr.data(), out.data());
        c.ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
      }
    }
  }

  std::printf("%dx%d, %d frames each:\n", w, h, rounds * kFramesPerTurn);
  const double ours = Percentile(converters[0].ms, 0.5);
  for (const Converter& c : converters) {
    const double median = Percentile(c.ms, 0.5);
    std::printf("  %-8s min %.3f  median %.3f  max %.3f ms   ours/this %.2f\n", c.name.c_str(),
                Percentile(c.ms, 0), median, Percentile(c.ms, 1), ours / median);
  }
  std::printf("  largest byte difference from ours: libyuv %d, swscale %d\n", MaxDifference(outputs[0], outputs[1]),
              MaxDifference(outputs[0], outputs[2]));
  sws_freeContext(sws);
}

// A pure red picture must come out with V near 240 from libyuv too;
// swapped byte order would give V near 110.
bool LibyuvReadsBgr() {
  const int w = 16, h = 2;
  std::vector<uint8_t> red(w * h * 3, 0);
  for (size_t i = 2; i < red.size(); i += 3) red[i] = 255;
  std::vector<uint8_t> out(I420Size(w, h));
  Planes p = Split(out.data(), w, h);
  libyuv::RGB24ToI420(red.data(), w * 3, p.y, w, p.u, w / 2, p.v, w / 2, w, h);
  return p.v[0] > 200;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  std::printf("our conversion runs the %s variant\n", RgbToI420TargetName());
  if (!LibyuvReadsBgr()) {
    std::fprintf(stderr, "libyuv's RGB24 is not B,G,R in memory here; the comparison would be unfair\n");
    return 1;
  }
  RunSize(1280, 720, rounds);
  RunSize(1920, 1080, rounds);
  return 0;
}
