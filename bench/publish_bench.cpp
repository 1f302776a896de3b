// The whole publish run against ffmpeg doing the same job on this machine,
// in one program run: the Xvfb screen (with a painted counter) and a
// PulseAudio tone published at 1280x720@25 to a local nginx-rtmp, first by
// the publish manager (in a child process), then by ffmpeg (x11grab + pulse,
// libx264 with the encoder's x264 settings, ffmpeg's own AAC), alternating
// the order on every further run. For each it reports CPU seconds per
// published second, pictures expected against pictures the server recorded,
// and the capture-to-server latency of every picture (counter paint time to
// the arrival of its message at a relay in front of nginx).
//
//   publish_bench [--seconds 30] [--runs 1] [--kbps 2500] [--keep]
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/frame_latency.h"
#include "bench/rtmp_tap.h"
#include "bench/screen_counter.h"
#include "bench/strivon_publisher.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/xvfb_server.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kFps = 25;
// What H264LevelFor gives 1280x720@25 at the rates used here.
constexpr const char* kLevel = "31";

struct Options {
  int seconds = 30;
  int runs = 1;
  int kbps = 2500;
  bool keep = false;
};

struct RunFigures {
  std::string publisher;
  std::string stream;
  int run = 0;
  bool ok = false;
  std::string failure;
  double publishedS = 0;  // first picture at the server to the stop
  double cpuS = 0;
  int expected = 0;       // pictures due between the first and last picture's stamp
  int tapPictures = 0;    // pictures that arrived at the server
  int recorded = -1;      // video packets in nginx's recording
  int stampGaps = 0;      // publisher stamps more than 1.5 frame periods apart
  uint32_t largestGapMs = 0;  // between neighbouring publisher stamps
  int laterDropped = 0;   // pictures missing after the first two seconds
  LatencyFigures latency;
  std::string load;       // /proc/loadavg before the run
};

struct Environment {
  test_support::TempDir dir{"publish-bench"};
  test_support::XvfbServer xvfb;
  test_support::PulseServer pulse;
  test_support::NginxRtmp nginx;
  ScreenCounter counter;
  std::string toneWav;
};

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// User + system CPU seconds of every thread of pid so far; -1 when gone.
double ProcessCpuSeconds(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  // Fields 3..13 come before utime (14) and stime (15).
  for (int n = 3; n <= 13 && fields >> field; ++n) {
  }
  if (!(fields >> utime >> stime)) return -1;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::string LoadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string one, five;
  file >> one >> five;
  return one + "/" + five;
}

std::string SelfPath() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

std::vector<std::string> FfmpegCommand(const Environment& env, const Options& options, const std::string& url) {
  const std::string kbps = std::to_string(options.kbps);
  const std::string key = std::to_string(2 * kFps);
  // One filter thread, and a conversion of quality comparable to the
  // library's (chroma from every input pixel, accurate rounding): ffmpeg's
  // default scaler is cheaper and rougher, which would flatter it.
  return {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "warning", "-filter_threads", "1", "-sws_flags",
          "area+accurate_rnd+full_chroma_inp",
          // ffmpeg asks for larger input queues when its encoder falls behind
          // for a moment; with its default of 8 it drops the pictures.
          "-thread_queue_size", "64", "-f", "x11grab", "-framerate", std::to_string(kFps), "-video_size",
          std::to_string(kWidth) + "x" + std::to_string(kHeight), "-draw_mouse", "0", "-i",
          env.xvfb.DisplayName(),
          // 20 ms fragments, as the library's sound capture asks for; the
          // default is two seconds.
          "-thread_queue_size", "64", "-f", "pulse", "-sample_rate", "44100", "-channels", "2", "-fragment_size",
          "3528", "-i",
          env.pulse.SinkName() + ".monitor",
          "-map", "0:v", "-map", "1:a",
          "-c:v", "libx264", "-preset", "medium", "-tune", "film", "-profile:v", "high", "-pix_fmt", "yuv420p",
          "-threads", "1", "-x264-params",
          "keyint=" + key + ":min-keyint=" + key + ":bframes=0:scenecut=15:rc-lookahead=0:sync-lookahead=0:"
          "qpmin=29:crf=23:vbv-maxrate=" + kbps + ":vbv-bufsize=" + kbps + ":ratetol=4.0:level=" + kLevel +
          ":force-cfr=1:non-deterministic=1:threads=1",
          "-c:a", "aac", "-b:a", "64k", "-ar", "44100", "-ac", "2",
          "-f", "flv", url};
}

int CountRecordedPictures(const std::string& path) {
  const test_support::CommandResult r =
      test_support::RunCommand({"ffprobe", "-v", "error", "-select_streams", "v:0", "-count_packets", "-show_entries",
                                "stream=nb_read_packets", "-of", "csv=p=0", path});
  return r.exitCode == 0 ? std::atoi(r.out.c_str()) : -1;
}

void FillArrivalFigures(const std::vector<TappedPicture>& pictures, RunFigures* figures) {
  figures->tapPictures = static_cast<int>(pictures.size());
  if (pictures.empty()) return;
  // The publisher's own stamps, not the arrival times: pictures held back
  // and then sent together must not count as extra.
  const double spanS = static_cast<uint32_t>(pictures.back().timestamp - pictures.front().timestamp) / 1e3;
  figures->expected = 1 + static_cast<int>(spanS * kFps + 0.5);
  // Start-up (the sound device's first block, the encoder's first picture)
  // apart from the steady state.
  const uint32_t settled = pictures.front().timestamp + 2000;
  int settledPictures = 0;
  uint32_t firstSettled = 0;
  for (const TappedPicture& picture : pictures) {
    if (static_cast<int32_t>(picture.timestamp - settled) < 0) continue;
    if (settledPictures++ == 0) firstSettled = picture.timestamp;
  }
  if (settledPictures > 0) {
    const double settledS = static_cast<uint32_t>(pictures.back().timestamp - firstSettled) / 1e3;
    figures->laterDropped = 1 + static_cast<int>(settledS * kFps + 0.5) - settledPictures;
  }
  const uint32_t period = 1000 / kFps;
  for (size_t n = 1; n < pictures.size(); ++n) {
    const uint32_t gap = pictures[n].timestamp - pictures[n - 1].timestamp;
    if (gap > period * 3 / 2) figures->stampGaps += 1;
    figures->largestGapMs = std::max(figures->largestGapMs, gap);
  }
}

RunFigures PublishOnce(Environment& env, const Options& options, const std::string& publisher, int run) {
  RunFigures figures;
  figures.publisher = publisher;
  figures.run = run;
  figures.stream = publisher + "_" + std::to_string(run);
  figures.load = LoadAverage();
  const std::string flv = env.dir.File(figures.stream + ".tap.flv");
  RtmpTap tap;
  if (!tap.Start(env.nginx.port(), flv)) {
    figures.failure = "relay did not start";
    return figures;
  }
  test_support::ChildProcess tone;
  std::vector<std::string> toneCommand = {"env"};
  for (const auto& e : env.pulse.ClientEnvironment()) toneCommand.push_back(e);
  // A low-latency player keeps the null sink running in small blocks, as a
  // sound card does; otherwise the first sound reaches a new recorder only
  // after the sink's current two-second block.
  toneCommand.insert(toneCommand.end(),
                     {"paplay", "--latency-msec=20", "--device=" + env.pulse.SinkName(), env.toneWav});
  tone.Start(toneCommand);

  const std::string base = "rtmp://127.0.0.1:" + std::to_string(tap.port());
  std::vector<std::string> command;
  int stopSignal = SIGTERM;
  if (publisher == "strivon") {
    StrivonPublishOptions o;
    o.url = base;
    o.app = "live";
    o.stream = figures.stream;
    o.micDescription = env.pulse.MonitorDescription();
    o.width = kWidth;
    o.height = kHeight;
    o.fps = kFps;
    o.kbps = options.kbps;
    o.keyInterval = 2 * kFps;
    command = StrivonPublisherCommand(SelfPath(), o);
  } else {
    command = FfmpegCommand(env, options, base + "/live/" + figures.stream);
    stopSignal = SIGINT;  // ffmpeg then closes the stream properly
  }
  const std::string logPath = env.dir.File(figures.stream + ".log");
  test_support::ChildProcess child;
  if (!child.Start(command, logPath)) {
    figures.failure = "could not start " + command[0];
    return figures;
  }
  const int64_t firstDeadline = NowNs() + 30'000'000'000LL;
  while (tap.FirstPictureNs() < 0 && NowNs() < firstDeadline && child.Running())
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  const int64_t t0 = tap.FirstPictureNs();
  if (t0 < 0) {
    child.Stop(stopSignal, 15000);
    figures.failure = "no picture reached the server; see " + logPath + ":\n" + test_support::ReadFileBytes(logPath);
    return figures;
  }
  const double cpu0 = ProcessCpuSeconds(child.pid());
  std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::nanoseconds(t0)) +
                                std::chrono::seconds(options.seconds));
  const double cpu1 = ProcessCpuSeconds(child.pid());
  const int64_t t1 = NowNs();
  child.Stop(stopSignal, 20000);
  tap.Stop();
  tone.Stop(SIGTERM, 2000);
  if (cpu0 < 0 || cpu1 < 0) {
    figures.failure = command[0] + " ended early; see " + logPath + ":\n" + test_support::ReadFileBytes(logPath);
    return figures;
  }
  figures.publishedS = (t1 - t0) / 1e9;
  figures.cpuS = cpu1 - cpu0;
  FillArrivalFigures(tap.Pictures(), &figures);
  if (tap.Broken()) figures.failure = "the relay lost track of the RTMP stream";
  std::string error;
  if (!MeasureLatency(flv, kWidth, tap.Pictures(), env.counter, env.dir.File(figures.stream + ".pictures.csv"),
                      &figures.latency, &error))
    figures.failure += (figures.failure.empty() ? "" : "; ") + error;
  figures.ok = figures.failure.empty();
  return figures;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--seconds" && hasValue) {
      options->seconds = std::atoi(argv[++i]);
    } else if (arg == "--runs" && hasValue) {
      options->runs = std::atoi(argv[++i]);
    } else if (arg == "--kbps" && hasValue) {
      options->kbps = std::atoi(argv[++i]);
    } else if (arg == "--keep") {
      options->keep = true;
    } else {
      return false;
    }
  }
  return options->seconds > 0 && options->runs > 0 && options->kbps > 0;
}

void PrintRaw(const std::vector<RunFigures>& all) {
  std::printf("\nraw figures\n");
  std::printf("%-3s %-8s %-11s %7s %7s %7s %8s %8s %8s %7s %6s %7s %5s %7s %8s %8s %8s %8s %5s %5s\n", "run", "who",
              "load", "pub_s", "cpu_s", "cpu/s", "cpu_ms/p", "expected", "arrived", "nginx", "drop", "drop>2s", "gaps",
              "max_gap", "lat_min", "lat_med", "lat_p95", "lat_max", "unrd", "rept");
  for (const RunFigures& f : all) {
    if (!f.ok) {
      std::printf("%-3d %-8s FAILED: %s\n", f.run, f.publisher.c_str(), f.failure.c_str());
      continue;
    }
    const auto& l = f.latency;
    std::printf("%-3d %-8s %-11s %7.2f %7.2f %7.3f %8.1f %8d %8d %7d %6d %7d %5d %7u %8.1f %8.1f %8.1f %8.1f %5d %5d\n",
                f.run, f.publisher.c_str(), f.load.c_str(), f.publishedS, f.cpuS, f.cpuS / f.publishedS,
                f.tapPictures > 0 ? 1000 * f.cpuS / f.tapPictures : 0.0, f.expected, f.tapPictures, f.recorded,
                f.expected - f.recorded, f.laterDropped, f.stampGaps, f.largestGapMs, Quantile(l.latenciesMs, 0),
                l.medianMs, l.p95Ms, l.maxMs, l.unreadable, l.repeated);
  }
  std::printf("  load: 1/5-minute load average before the run; cpu/s: CPU seconds per published second;\n"
              "  cpu_ms/p: CPU milliseconds per picture that arrived (a publisher dropping pictures saves work);\n"
              "  expected: 25 x (last - first picture stamp) + 1; arrived: pictures at the relay;\n"
              "  nginx: video packets in nginx's recording; drop = expected - nginx; drop>2s: pictures missing\n"
              "  after the first two seconds of the stream (from the relay's count); gaps: publisher stamps\n"
              "  more than 60 ms apart; max_gap: the largest step between neighbouring publisher stamps in ms;\n"
              "  lat_*: capture-to-server latency in ms; unrd: pictures whose counter\n"
              "  could not be read; rept: pictures showing the same counter as the previous one.\n");
}

void PrintSummary(const std::vector<RunFigures>& all) {
  auto collect = [&](const std::string& who, double* cpuPerS, double* cpuMsPerPicture, int* dropped,
                     std::vector<double>* latencies, int* runs) {
    double cpu = 0, seconds = 0, pictures = 0;
    *dropped = 0;
    *runs = 0;
    for (const RunFigures& f : all) {
      if (!f.ok || f.publisher != who) continue;
      cpu += f.cpuS;
      seconds += f.publishedS;
      pictures += f.tapPictures;
      *dropped += f.expected - f.recorded;
      latencies->insert(latencies->end(), f.latency.latenciesMs.begin(), f.latency.latenciesMs.end());
      *runs += 1;
    }
    *cpuPerS = seconds > 0 ? cpu / seconds : 0;
    *cpuMsPerPicture = pictures > 0 ? 1000 * cpu / pictures : 0;
  };
  double ourCpu = 0, ffCpu = 0, ourPerPicture = 0, ffPerPicture = 0;
  int ourDrop = 0, ffDrop = 0, ourRuns = 0, ffRuns = 0;
  std::vector<double> ourLat, ffLat;
  collect("strivon", &ourCpu, &ourPerPicture, &ourDrop, &ourLat, &ourRuns);
  collect("ffmpeg", &ffCpu, &ffPerPicture, &ffDrop, &ffLat, &ffRuns);
  std::printf("\nsummary (all runs together)   %12s %12s %12s  goal\n", "strivon", "ffmpeg", "ratio");
  std::printf("  runs                        %12d %12d\n", ourRuns, ffRuns);
  std::printf("  CPU s per published s       %12.3f %12.3f %12.2f  ratio <= 1.0\n", ourCpu, ffCpu,
              ffCpu > 0 ? ourCpu / ffCpu : 0.0);
  std::printf("  CPU ms per arrived picture   %12.1f %12.1f %12.2f\n", ourPerPicture, ffPerPicture,
              ffPerPicture > 0 ? ourPerPicture / ffPerPicture : 0.0);
  int ourLater = 0, ffLater = 0;
  for (const RunFigures& f : all)
    if (f.ok) (f.publisher == "strivon" ? ourLater : ffLater) += f.laterDropped;
  std::printf("  dropped after the first 2 s %12d %12d %12s  0\n", ourLater, ffLater, "");
  std::printf("  pictures dropped (total)    %12d %12d %12s  0\n", ourDrop, ffDrop, "");
  std::printf("  latency median, ms          %12.1f %12.1f %12s\n", Quantile(ourLat, 0.5), Quantile(ffLat, 0.5), "");
  std::printf("  latency 95th percentile, ms %12.1f %12.1f %12s  <= 150\n", Quantile(ourLat, 0.95),
              Quantile(ffLat, 0.95), "");
}

int RunBenchmark(const Options& options);

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], kStrivonPublisherFlag) == 0) return RunStrivonPublisher(argc - 2, argv + 2);
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr, "usage: %s [--seconds N] [--runs N] [--kbps N] [--keep]\n", argv[0]);
    return 2;
  }
  if (options.keep) setenv("STRIVON_KEEP_TEMP", "1", 1);
  // Every server's folder (and PulseAudio's socket) goes below one folder of
  // this run, away from the clean-ups of test runs sharing the machine.
  char privateTemp[] = "/tmp/publish-bench-XXXXXX";
  if (!mkdtemp(privateTemp)) {
    std::fprintf(stderr, "cannot make a folder below /tmp\n");
    return 1;
  }
  setenv("TMPDIR", privateTemp, 1);
  const int status = RunBenchmark(options);
  if (!options.keep) rmdir(privateTemp);
  return status;
}

namespace {

int RunBenchmark(const Options& options) {
  Environment env;
  const std::string screen = std::to_string(kWidth) + "x" + std::to_string(kHeight) + "x24";
  if (!env.xvfb.Start(screen) || !env.pulse.Start() || !env.nginx.Start()) {
    std::fprintf(stderr, "could not start Xvfb, PulseAudio or nginx %s\n", env.nginx.error().c_str());
    return 1;
  }
  env.xvfb.ExportDisplay();
  env.pulse.ExportToClients();
  env.toneWav = env.dir.File("tone.wav");
  if (!test_support::WriteToneWav(env.toneWav, 1000, (options.seconds + 40) * 1000) ||
      !env.counter.Start(env.xvfb.DisplayName(), kWidth, kHeight)) {
    std::fprintf(stderr, "could not prepare the tone or the screen counter\n");
    return 1;
  }
  std::printf("publishing %dx%d@%d, %d kbps, %d s per publisher, %d run(s); work folder %s, nginx folder %s\n",
              kWidth, kHeight, kFps, options.kbps, options.seconds, options.runs, env.dir.path().c_str(),
              env.nginx.folder().c_str());
  std::vector<RunFigures> all;
  for (int run = 1; run <= options.runs; ++run) {
    const bool oursFirst = run % 2 == 1;
    for (const char* who : {oursFirst ? "strivon" : "ffmpeg", oursFirst ? "ffmpeg" : "strivon"}) {
      std::printf("run %d: %s...\n", run, who);
      std::fflush(stdout);
      all.push_back(PublishOnce(env, options, who, run));
    }
  }
  env.counter.Stop();
  env.nginx.Stop();  // closes the recordings
  for (RunFigures& f : all)
    if (f.ok) f.recorded = CountRecordedPictures(env.nginx.RecordingPath(f.stream));
  PrintRaw(all);
  PrintSummary(all);
  return 0;
}

}  // namespace
