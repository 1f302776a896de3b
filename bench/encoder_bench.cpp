// How the encoder's RGB24-to-I420 conversion compares with libswscale on this
// machine, per 1280x720 picture, in one run; the ratio is printed at the end
// (ours / reference; below 1 is faster). The whole video path against ffmpeg
// is encode_vs_ffmpeg_bench.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "encodemediathensendthroughrtmp/RgbToI420.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kDistinctPictures = 25;

struct Figures {
  double ourConvertUs = 0, swsConvertUs = 0;  // CPU time per picture
} g_figures;

// A scene with a gradient, a moving block and some grain: enough detail for
// x264 to work on every picture.
const std::vector<std::vector<uint8_t>>& Pictures() {
  static std::vector<std::vector<uint8_t>> pictures = [] {
    std::vector<std::vector<uint8_t>> all;
    uint32_t state = 1;
    for (int n = 0; n < kDistinctPictures; ++n) {
      std::vector<uint8_t> bgr(static_cast<size_t>(kWidth) * kHeight * 3);
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
          uint8_t* p = &bgr[(static_cast<size_t>(y) * kWidth + x) * 3];
          state = state * 1664525u + 1013904223u;
          const int grain = static_cast<int>(state >> 28) - 8;
          const bool block = x >= n * 40 && x < n * 40 + 200 && y >= 200 && y < 400;
          p[0] = static_cast<uint8_t>(std::clamp((block ? 30 : x * 255 / kWidth) + grain, 0, 255));
          p[1] = static_cast<uint8_t>(std::clamp((block ? 200 : y * 255 / kHeight) + grain, 0, 255));
          p[2] = static_cast<uint8_t>(std::clamp((block ? 240 : 128) + grain, 0, 255));
        }
      all.push_back(std::move(bgr));
    }
    return all;
  }();
  return pictures;
}

void BM_OurRgbToI420(benchmark::State& state) {
  std::vector<uint8_t> bgr = Pictures()[0];
  std::vector<uint8_t> i420(I420Size(kWidth, kHeight));
  for (auto _ : state) {
    FlipAndConvertRgbToI420(i420.data(), bgr.data(), kWidth, kHeight);
    benchmark::DoNotOptimize(i420.data());
  }
}

void BM_SwscaleBgr24ToYuv420p(benchmark::State& state) {
  const std::vector<uint8_t>& bgr = Pictures()[0];
  std::vector<uint8_t> i420(I420Size(kWidth, kHeight));
  SwsContext* sws = sws_getContext(kWidth, kHeight, AV_PIX_FMT_BGR24, kWidth, kHeight, AV_PIX_FMT_YUV420P,
                                   SWS_BICUBIC, nullptr, nullptr, nullptr);
  const uint8_t* src[] = {bgr.data()};
  const int srcStride[] = {kWidth * 3};
  uint8_t* dst[] = {i420.data(), i420.data() + kWidth * kHeight, i420.data() + kWidth * kHeight * 5 / 4};
  const int dstStride[] = {kWidth, kWidth / 2, kWidth / 2};
  for (auto _ : state) {
    sws_scale(sws, src, srcStride, 0, kHeight, dst, dstStride);
    benchmark::DoNotOptimize(i420.data());
  }
  sws_freeContext(sws);
}

// Captures the per-iteration times of the two conversion benchmarks.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string name = run.benchmark_name();
      const double us = run.GetAdjustedCPUTime();  // in the benchmark's unit, microseconds
      if (name.rfind("BM_OurRgbToI420", 0) == 0) g_figures.ourConvertUs = us;
      if (name.rfind("BM_SwscaleBgr24ToYuv420p", 0) == 0) g_figures.swsConvertUs = us;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

BENCHMARK(BM_OurRgbToI420)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SwscaleBgr24ToYuv420p)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  Pictures();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (g_figures.swsConvertUs > 0)
    std::printf("conversion per 1280x720 picture: ours %.0f us, libswscale %.0f us, ratio %.2f (goal <= 1.5)\n",
                g_figures.ourConvertUs, g_figures.swsConvertUs,
                g_figures.ourConvertUs / g_figures.swsConvertUs);
  return 0;
}
