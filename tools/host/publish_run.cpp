#include "publish_run.h"

#include <signal.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "connect_probe.h"
#include "host_library.h"
#include "status_lines.h"

namespace {

std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnStopSignal(int) { g_stopRequested = true; }

// SA_RESETHAND: a second Ctrl-C ends a host whose clean stop got stuck.
void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// The library's reconnect delay after a failed or lost connection.
constexpr int kRetrySeconds = 2;
// How long the host's own connect to an unreachable server may take.
constexpr int kProbeTimeoutMs = 2000;

class PublishPrinter final : public IRtmpPublishManagerNotify {
 public:
  explicit PublishPrinter(bool verbose) : m_lines(verbose) {}
  void MarkStart() { m_startMs = NowMs(); }
  bool PublishStarted() const { return m_publishStarted; }
  // Steady-clock milliseconds of the first NetStream.Publish.Start; 0 before.
  int64_t PublishStartMs() const { return m_publishStartMs; }
  static int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  // The library's "cannot open ..." report for the media file, or "".
  std::string SourceFailure() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_sourceFailure;
  }
  StatusLines& Lines() { return m_lines; }

  // The sound level events come many times a second; they are not news here.
  bool OnMessage(const char*) override { return true; }
  bool OnStatus(int level, const char* text) override {
    const char* word = text ? text : "";
    if (std::strcmp(word, strivon_status::kPublishStart) == 0 && !m_publishStarted.exchange(true))
      m_publishStartMs = NowMs();
    if (level == strivon_status::kLevelError && strivon_status::CannotOpenSubject(word)) {
      std::lock_guard<std::mutex> lock(m_lock);
      if (m_sourceFailure.empty()) m_sourceFailure = word;
    }
    if (const auto line = m_lines.Line(level, word)) std::printf("%s\n", line->c_str());
    return true;
  }
  bool OnSendStatistics(const PublishSendStatistics* s) override {
    if (!s) return true;
    const long elapsed = std::lround((NowMs() - m_startMs) / 1000.0);
    std::printf("%4lds  video %4ld kbit/s  audio %3ld kbit/s  frames %5u (%u/s)  rtt %u ms\n", elapsed,
                std::lround(s->videoKbitPerSecond), std::lround(s->audioKbitPerSecond), s->videoFramesSent,
                s->videoFramesPerSecond, s->pingRoundTripMs);
    return true;
  }
  bool OnReservedPointer(void*) override { return true; }
  bool OnReservedInt(int) override { return true; }

 private:
  std::atomic<int64_t> m_startMs{NowMs()};
  std::atomic<bool> m_publishStarted{false};
  std::atomic<int64_t> m_publishStartMs{0};
  mutable std::mutex m_lock;
  std::string m_sourceFailure;
  StatusLines m_lines;
};

// Once per outage: why the server cannot be reached, found out here on the
// publishing thread rather than on the library's.
void TellOutage(PublishPrinter& printer, const std::string& server) {
  if (!printer.Lines().TakeOutageStart()) return;
  std::string why = WhyUnreachable(server, kProbeTimeoutMs);
  if (why.empty()) why = "connects, but the RTMP session fails";
  std::printf("  %s: %s; retrying every %d s\n", ServerHostPort(server).c_str(), why.c_str(), kRetrySeconds);
}

// False, with the inputs listed, when --mic names none of them. A machine
// without any input is no error: *index stays -1 and the stream carries
// pictures only.
bool PickMicrophone(IRtmpPublishManager* manager, const std::string& wanted, int* index, std::string* name) {
  const wchar_t** names = nullptr;
  unsigned count = 0;
  std::vector<std::string> list;
  if (manager->GetMicList(&names, &count) == 0 && names)
    for (unsigned i = 0; i < count; ++i) list.push_back(Utf8(names[i]));
  *index = ChooseMicrophone(list, wanted);
  if (*index >= 0) {
    *name = list[static_cast<size_t>(*index)];
    return true;
  }
  if (wanted.empty()) return true;
  std::fprintf(stderr, "strivon_host: no microphone named \"%s\"; the inputs are:\n", wanted.c_str());
  for (const std::string& candidate : list) std::fprintf(stderr, "  %s\n", candidate.c_str());
  return false;
}

void Configure(IRtmpPublishManager* manager, const PublishOptions& options) {
  const int keyInterval = 2 * options.fps;
  manager->SetPublishAudioPara(44100, 2, 16, 64000, 100, false);
  manager->SetPublishVideoPara(options.width, options.height, options.fps, 1500000, 0, keyInterval);
  if (!options.file.empty()) {
    manager->SetVideoSource(2, 0, options.file.c_str(), options.fps, keyInterval);
  } else {
    std::vector<char> reply(kSendCmdReplyBufferSize, 0);
    char* buffer = reply.data();
    manager->SendCmd(R"({"cmd":"ScreenCaptureSettings","params":{"isFollowCursor":false,"isFullScreen":true}})",
                     &buffer);
  }
  manager->SetPublishUrl(options.server.c_str(), options.app.c_str(), options.stream.c_str());
}

// A run the server has not confirmed in this time (or in its own length,
// when longer) gives up; connecting alone takes a second or two.
constexpr int kConfirmSeconds = 5;

// True once a run of that many seconds is over: counted from the server's
// first NetStream.Publish.Start, so the recording holds them all, the time
// spent connecting not included.
bool TimeIsUp(int seconds, const PublishPrinter& printer, int64_t startMs) {
  if (seconds == 0) return false;
  const int64_t now = PublishPrinter::NowMs();
  const int64_t publishing = printer.PublishStartMs();
  if (publishing != 0) return now - publishing >= int64_t{seconds} * 1000;
  return now - startMs >= int64_t{std::max(seconds, kConfirmSeconds)} * 1000;
}

// Until the time is up, a stop signal, or a source that cannot play.
void WaitForStop(int seconds, PublishPrinter& printer, const std::string& server) {
  const int64_t startMs = PublishPrinter::NowMs();
  while (!g_stopRequested && printer.SourceFailure().empty() && !TimeIsUp(seconds, printer, startMs)) {
    TellOutage(printer, server);
    const timespec step{0, 20 * 1000 * 1000};
    nanosleep(&step, nullptr);
  }
}

}  // namespace

int RunPublish(const PublishOptions& options) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::string reason;
  if (!options.file.empty() && !CheckMediaFile(options.file, &reason)) {
    std::fprintf(stderr, "strivon_host: cannot open %s: %s\n", options.file.c_str(), reason.c_str());
    return 2;
  }
  CatchStopSignals();
  void* library = nullptr;
  const CreateManagerFunction create = LoadStrivon(options.library.c_str(), &library);
  if (!create) return 2;
  PublishPrinter printer(options.verbose);
  IRtmpPublishManager* manager = create(&printer);
  if (!manager) {
    std::fprintf(stderr, "strivon_host: the library made no publish manager\n");
    UnloadStrivon(library);
    return 2;
  }

  // A media file is published with its own sound: the library stops the
  // microphone while a file plays, though it still takes one at the start.
  int mic = -1;
  std::string micName;
  if (!PickMicrophone(manager, options.mic, &mic, &micName)) {
    manager->release();
    UnloadStrivon(library);
    return 2;
  }
  if (mic >= 0) manager->SetMic(mic);
  Configure(manager, options);

  const std::string sound =
      !options.file.empty() ? "sound: the file's own" : "microphone: " + (mic >= 0 ? micName : std::string("none"));
  std::printf("publishing %s to %s/%s/%s, %dx%d at %d fps, %s\n",
              options.file.empty() ? "the screen" : options.file.c_str(), options.server.c_str(),
              options.app.c_str(), options.stream.c_str(), options.width, options.height, options.fps, sound.c_str());
  printer.MarkStart();
  bool started = manager->StartPublish();
  if (started) {
    WaitForStop(options.seconds, printer, options.server);
    if (g_stopRequested) std::printf("stopping\n");
    manager->StopPublish();
  } else {
    std::fprintf(stderr, "strivon_host: StartPublish refused\n");
  }
  const bool published = printer.PublishStarted();
  const std::string failure = printer.SourceFailure();
  manager->release();
  UnloadStrivon(library);
  if (!failure.empty()) {
    // The file passed the check above but the library could not play it.
    std::fprintf(stderr, "strivon_host: %s\n", failure.c_str());
    return 2;
  }
  if (!started || !published) {
    std::fprintf(stderr, "strivon_host: the server never confirmed the stream (no NetStream.Publish.Start)\n");
    return 1;
  }
  std::printf("stopped\n");
  return 0;
}
