// The encoder's whole video path against ffmpeg doing the same job, in one
// run, interleaved. Each round runs, in alternating order, (a) the encoder
// object fed raw BGR24 pictures from a file (frame pool, conversion, x264
// with the encoder's settings, FLV packaging and RTMP chunking into a local
// socket) and (b) ffmpeg reading the same file, converting with libswscale
// at comparable quality and encoding with the same x264 settings into FLV.
// Both run as child processes and are charged by the kernel the same way
// (user + system CPU, peak RSS from wait4). Prints min/median/max of the CPU
// ratio (ours / ffmpeg; below 1 is cheaper) per picture size. Both sides
// run on one CPU (every thread of the child), so neither gains from spreading
// its threads and the figures do not swing with the scheduler's placement.
//
//   encode_vs_ffmpeg_bench [--rounds N] [--frames N] [--frames-1080 N]
//                          [--sizes 1280x720,1920x1080] [--input-dir DIR]
//                          [--cpu N | --cpu none]
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/child_usage.h"
#include "bench/project_encode_job.h"
#include "bench/x264_option_line.h"
#include "encodemediathensendthroughrtmp/VideoEncoder.h"

namespace {

constexpr int kFps = 25;
constexpr const char* kSwsFlags = "area+accurate_rnd+full_chroma_inp";
// The last CPU of an 8-core machine, where other work is least likely.
constexpr int kDefaultCpu = 7;

struct Options {
  int rounds = 5;
  int frames = 1000;
  int frames1080 = 400;
  std::vector<std::pair<int, int>> sizes{{1280, 720}, {1920, 1080}};
  std::string inputDir;
  int cpu = kDefaultCpu;  // -1: not pinned
};

struct Size {
  int width, height, frames, kbps;
  std::string input;
};

std::string SelfPath() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

std::string Dimensions(const Size& s) { return std::to_string(s.width) + "x" + std::to_string(s.height); }

ProjectEncodeJob JobFor(const Size& s) {
  ProjectEncodeJob job;
  job.inputPath = s.input;
  job.width = s.width;
  job.height = s.height;
  job.fps = kFps;
  job.frames = s.frames;
  job.kbps = s.kbps;
  return job;
}

std::vector<std::string> ProjectCommand(const ProjectEncodeJob& job) {
  return {SelfPath(), "--project-job", job.inputPath, std::to_string(job.width), std::to_string(job.height),
          std::to_string(job.fps), std::to_string(job.frames), std::to_string(job.kbps)};
}

// ffmpeg doing the project's job: the same raw file, a conversion of
// comparable quality, the x264 parameter set the encoder opens x264 with,
// one thread everywhere, FLV thrown away.
std::vector<std::string> FfmpegCommand(const Size& s, const std::string& output, int frames) {
  VideoEncoderSettings record;
  DescribeProjectEncoderSettings(JobFor(s), &record);
  std::vector<std::string> cmd = {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                                  "-filter_threads", "1", "-sws_flags", kSwsFlags,
                                  "-f", "rawvideo", "-pix_fmt", "bgr24", "-s", Dimensions(s),
                                  "-r", std::to_string(kFps), "-i", s.input,
                                  "-an", "-frames:v", std::to_string(frames), "-pix_fmt", "yuv420p",
                                  "-c:v", "libx264", "-preset", "medium", "-tune", "film", "-profile:v", "high",
                                  "-threads", "1", "-x264-params", X264ParamsFor(record)};
  if (output == "/dev/null") {
    cmd.insert(cmd.end(), {"-f", "flv", "/dev/null"});
  } else {
    cmd.insert(cmd.end(), {"-f", "h264", output});
  }
  return cmd;
}

bool FileHasBytes(const std::string& path, long long bytes) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && st.st_size >= bytes;
}

bool MakeInput(const Size& s) {
  const long long bytes = 1LL * s.width * s.height * 3 * s.frames;
  if (FileHasBytes(s.input, bytes)) return true;
  std::printf("making %s (%d moving test pictures, %.1f GB)\n", s.input.c_str(), s.frames, bytes / 1e9);
  std::fflush(stdout);
  const ChildUsage made = RunChild({"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi",
                                    "-i", "testsrc2=size=" + Dimensions(s) + ":rate=" + std::to_string(kFps),
                                    "-frames:v", std::to_string(s.frames), "-pix_fmt", "bgr24", "-f", "rawvideo",
                                    s.input});
  return made.ok && FileHasBytes(s.input, bytes);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Both sides encode a few pictures; x264's own account of its settings
// must agree, or the comparison is not of the same job.
void CompareSettings(const Size& s, const std::string& dir) {
  VideoEncoderSettings record;
  DescribeProjectEncoderSettings(JobFor(s), &record);
  const std::string ours = ProjectX264Options(&record);
  const std::string theirsPath = dir + "/theirs.h264";
  RunChild(FfmpegCommand(s, theirsPath, 2));
  const std::string theirs = FindX264Options(ReadFile(theirsPath));
  std::printf("x264 options (ours):   %s\n", ours.c_str());
  const std::string differences = DifferingX264Options(ours, theirs);
  std::printf("x264 options vs ffmpeg: %s\n",
              ours.empty() || theirs.empty() ? "MISSING" : differences.empty() ? "identical" : differences.c_str());
}

struct Sample {
  double ours, theirs;
  long oursKb, theirsKb;
  long oursFaults, theirsFaults;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void RunSize(const Size& s, const Options& options) {
  std::printf("\n== %s, %d pictures, %d kbps, %d fps, %d rounds ==\n", Dimensions(s).c_str(), s.frames, s.kbps, kFps,
              options.rounds);
  if (!MakeInput(s)) {
    std::printf("could not make the input %s\n", s.input.c_str());
    return;
  }
  CompareSettings(s, options.inputDir);
  const std::vector<std::string> ffmpeg = FfmpegCommand(s, "/dev/null", s.frames);
  std::printf("ffmpeg: %s\n", CommandLine(ffmpeg).c_str());
  std::vector<Sample> samples;
  for (int round = 0; round < options.rounds; ++round) {
    Sample sample{};
    bool ok = true;
    // Alternating order: neither side always gets the cooler machine.
    for (int turn = 0; turn < 2; ++turn) {
      const bool oursNow = (turn == 0) == (round % 2 == 0);
      const ChildUsage u = oursNow
                               ? RunChild(ProjectCommand(JobFor(s)), options.inputDir + "/project_job.log", options.cpu)
                               : RunChild(ffmpeg, options.inputDir + "/ffmpeg.log", options.cpu);
      ok = ok && u.ok;
      (oursNow ? sample.ours : sample.theirs) = u.cpuSeconds;
      (oursNow ? sample.oursKb : sample.theirsKb) = u.peakRssKb;
      (oursNow ? sample.oursFaults : sample.theirsFaults) = u.minorFaults;
      if (!u.ok) std::printf("  %s failed (status %d)\n", oursNow ? "ours" : "ffmpeg", u.status);
    }
    if (!ok) continue;
    samples.push_back(sample);
    std::printf("  round %d: ours %.2f s, ffmpeg %.2f s CPU, ratio %.3f; peak RSS ours %ld MB, ffmpeg %ld MB; "
                "minor faults ours %ld, ffmpeg %ld\n",
                round + 1, sample.ours, sample.theirs, sample.ours / sample.theirs, sample.oursKb / 1024,
                sample.theirsKb / 1024, sample.oursFaults, sample.theirsFaults);
    std::fflush(stdout);
  }
  if (samples.empty()) return;
  std::vector<double> ratios, ours, theirs, oursMb, theirsMb;
  for (const Sample& x : samples) {
    ratios.push_back(x.ours / x.theirs);
    ours.push_back(x.ours);
    theirs.push_back(x.theirs);
    oursMb.push_back(x.oursKb / 1024.0);
    theirsMb.push_back(x.theirsKb / 1024.0);
  }
  std::printf("%s CPU ratio ours/ffmpeg: min %.3f median %.3f max %.3f (goal <= 0.95); "
              "median CPU ours %.2f s, ffmpeg %.2f s (%.2f / %.2f ms per picture)\n",
              Dimensions(s).c_str(), *std::min_element(ratios.begin(), ratios.end()), Median(ratios),
              *std::max_element(ratios.begin(), ratios.end()), Median(ours), Median(theirs),
              Median(ours) * 1000 / s.frames, Median(theirs) * 1000 / s.frames);
  std::printf("%s peak RSS: ours median %.0f MB (max %.0f), ffmpeg median %.0f MB (max %.0f)\n",
              Dimensions(s).c_str(), Median(oursMb), *std::max_element(oursMb.begin(), oursMb.end()),
              Median(theirsMb), *std::max_element(theirsMb.begin(), theirsMb.end()));
}

bool ParseSizes(const std::string& text, std::vector<std::pair<int, int>>* out) {
  out->clear();
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    int w = 0, h = 0;
    if (std::sscanf(item.c_str(), "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0 || (w | h) & 1) return false;
    out->emplace_back(w, h);
  }
  return !out->empty();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 8 && std::string(argv[1]) == "--project-job") {
    ProjectEncodeJob job;
    job.inputPath = argv[2];
    job.width = std::atoi(argv[3]);
    job.height = std::atoi(argv[4]);
    job.fps = std::atoi(argv[5]);
    job.frames = std::atoi(argv[6]);
    job.kbps = std::atoi(argv[7]);
    return RunProjectEncodeJob(job);
  }
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool value = i + 1 < argc;
    if (arg == "--rounds" && value) {
      options.rounds = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--frames" && value) {
      options.frames = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--frames-1080" && value) {
      options.frames1080 = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--sizes" && value) {
      if (!ParseSizes(argv[++i], &options.sizes)) {
        std::fprintf(stderr, "--sizes takes even WxH[,WxH...]\n");
        return 2;
      }
    } else if (arg == "--input-dir" && value) {
      options.inputDir = argv[++i];
    } else if (arg == "--cpu" && value) {
      const std::string cpu = argv[++i];
      char* end = nullptr;
      const long number = std::strtol(cpu.c_str(), &end, 10);
      options.cpu = cpu == "none" ? -1 : static_cast<int>(number);
      if (cpu != "none" && (cpu.empty() || *end != '\0' || number < 0 || number > 4096 || !CpuUsable(options.cpu))) {
        std::fprintf(stderr, "--cpu takes a CPU this process may run on, or none (got %s)\n", cpu.c_str());
        return 2;
      }
    } else {
      std::fprintf(stderr,
                   "usage: %s [--rounds N] [--frames N] [--frames-1080 N] [--sizes WxH,...] [--input-dir D]"
                   " [--cpu N|none]\n",
                   argv[0]);
      return 2;
    }
  }
  if (options.inputDir.empty()) {
    const std::string self = SelfPath();
    options.inputDir = self.substr(0, self.rfind('/') + 1) + "encode_bench_input";
  }
  mkdir(options.inputDir.c_str(), 0755);
  if (options.cpu == kDefaultCpu && !CpuUsable(kDefaultCpu)) {
    // A smaller machine: its last CPU that this process may use.
    options.cpu = -1;
    for (int cpu = kDefaultCpu - 1; cpu >= 0 && options.cpu < 0; --cpu) {
      if (CpuUsable(cpu)) options.cpu = cpu;
    }
  }
  if (options.cpu >= 0) {
    std::printf("Both sides run pinned to CPU %d (all their threads).\n", options.cpu);
  } else {
    std::printf("Not pinned: expect the figures to swing with the scheduler.\n");
  }
  std::printf("CPU is user + system time of each child process (wait4), peak RSS its ru_maxrss.\n"
              "Rounds interleave the two sides in alternating order, so load from other work on the\n"
              "machine falls on both alike; the ratio is the figure to read, not the seconds.\n");
  for (const auto& [w, h] : options.sizes) {
    const bool large = static_cast<long long>(w) * h > 1280 * 720;
    Size s{w, h, large ? options.frames1080 : options.frames, large ? 4000 : 2500, ""};
    // A longer input made earlier serves as well: only its first pictures are read.
    s.input = options.inputDir + "/testsrc2_" + Dimensions(s) + ".bgr24";
    RunSize(s, options);
  }
  return 0;
}
