// How the encoder's own work compares with ffmpeg's on this machine, in one
// run: RGB24-to-I420 per 1280x720 picture against libswscale, and the whole
// video path (conversion + x264 with the encoder's settings) against the
// ffmpeg program encoding the same pictures with the same x264 settings,
// as pictures per second and CPU seconds per 1000 pictures. The ratios are
// printed at the end (ours / reference; below 1 is faster).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "encodemediathensendthroughrtmp/RgbToI420.h"
#include "encodemediathensendthroughrtmp/VideoEncoder.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kFps = 25;
constexpr int kDistinctPictures = 25;
constexpr int kEncodedPictures = 250;
constexpr int kKbps = 2500;

struct Figures {
  double ourConvertUs = 0, swsConvertUs = 0;  // CPU time per picture
  double ourFps = 0, ffmpegFps = 0;
  double ourCpuPer1000 = 0, ffmpegCpuPer1000 = 0;
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

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
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

void BM_OurEncoderPath(benchmark::State& state) {
  for (auto _ : state) {
    VideoEncoderSettings r;
    std::vector<uint8_t> out(static_cast<size_t>(kWidth) * kHeight * 4);
    std::vector<uint8_t> i420(I420Size(kWidth, kHeight));
    std::vector<uint8_t> work(static_cast<size_t>(kWidth) * kHeight * 3);
    r.width = kWidth;
    r.height = kHeight;
    r.frameRate = kFps;
    r.keyInterval = 2 * kFps;
    r.bframeCount = 0;
    r.bitrateKbps = kKbps;
    r.output = out.data();
    r.outputCapacity = static_cast<int>(out.size());
    if (OpenVideoEncoder(&r) != 0) {
      state.SkipWithError("x264 did not open");
      return;
    }
    const double cpu0 = ThreadCpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    for (int n = 0; n < kEncodedPictures; ++n) {
      // The encoder thread converts a copy taken from the frame pool.
      std::memcpy(work.data(), Pictures()[n % kDistinctPictures].data(), work.size());
      FlipAndConvertRgbToI420(i420.data(), work.data(), kWidth, kHeight);
      r.input = i420.data();
      r.inputLength = static_cast<int>(i420.size());
      EncodeVideoFrame(&r);
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    const double cpu = ThreadCpuSeconds() - cpu0;
    CloseVideoEncoder(&r);
    g_figures.ourFps = kEncodedPictures / wall;
    g_figures.ourCpuPer1000 = cpu * 1000 / kEncodedPictures;
    state.counters["fps"] = g_figures.ourFps;
    state.counters["cpu_s_per_1000"] = g_figures.ourCpuPer1000;
  }
}

// The same x264 settings as ApplyVideoEncoderSettings produces for the run
// above, spelled as ffmpeg/x264 options.
std::vector<std::string> FfmpegArguments() {
  const std::string kbps = std::to_string(kKbps);
  return {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-threads", "1", "-f", "rawvideo",
          "-pix_fmt", "bgr24", "-s", std::to_string(kWidth) + "x" + std::to_string(kHeight), "-r",
          std::to_string(kFps), "-i", "pipe:0", "-an", "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "medium", "-tune", "film",
          "-profile:v", "high", "-threads", "1", "-x264-params",
          "keyint=50:min-keyint=50:bframes=0:scenecut=15:rc-lookahead=0:sync-lookahead=0:qpmin=29:crf=23:"
          "vbv-maxrate=" + kbps + ":vbv-bufsize=" + kbps + ":ratetol=4.0:level=31:force-cfr=1:"
          "non-deterministic=1:threads=1",
          "-f", "null", "-"};
}

void BM_FfmpegEncoderPath(benchmark::State& state) {
  for (auto _ : state) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
      state.SkipWithError("pipe failed");
      return;
    }
    std::vector<std::string> args = FfmpegArguments();
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto wall0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(pipeFds[0], 0);
      close(pipeFds[0]);
      close(pipeFds[1]);
      execvp("ffmpeg", argv.data());
      _exit(127);
    }
    close(pipeFds[0]);
    signal(SIGPIPE, SIG_IGN);
    for (int n = 0; n < kEncodedPictures; ++n) {
      const auto& picture = Pictures()[n % kDistinctPictures];
      size_t done = 0;
      while (done < picture.size()) {
        const ssize_t w = write(pipeFds[1], picture.data() + done, picture.size() - done);
        if (w <= 0) break;
        done += static_cast<size_t>(w);
      }
    }
    close(pipeFds[1]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("ffmpeg failed");
      return;
    }
    const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                       usage.ru_stime.tv_usec / 1e6;
    g_figures.ffmpegFps = kEncodedPictures / wall;
    g_figures.ffmpegCpuPer1000 = cpu * 1000 / kEncodedPictures;
    state.counters["fps"] = g_figures.ffmpegFps;
    state.counters["cpu_s_per_1000"] = g_figures.ffmpegCpuPer1000;
  }
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
BENCHMARK(BM_OurEncoderPath)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_FfmpegEncoderPath)->Iterations(1)->Unit(benchmark::kSecond);

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
  if (g_figures.ffmpegCpuPer1000 > 0)
    std::printf("encoder path: ours %.1f fps, %.1f CPU s/1000 pictures; ffmpeg %.1f fps, %.1f CPU s/1000; "
                "CPU ratio %.2f (goal <= 1.15), fps ratio %.2f\n",
                g_figures.ourFps, g_figures.ourCpuPer1000, g_figures.ffmpegFps, g_figures.ffmpegCpuPer1000,
                g_figures.ourCpuPer1000 / g_figures.ffmpegCpuPer1000, g_figures.ourFps / g_figures.ffmpegFps);
  return 0;
}
