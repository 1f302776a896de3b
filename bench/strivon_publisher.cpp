#include "bench/strivon_publisher.h"

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "strivon/RtmpPublishManager.h"

namespace {

class PrintingNotify : public IRtmpPublishManagerNotify {
 public:
  bool OnMessage(const char*) override { return true; }
  bool OnStatus(int level, const char* text) override {
    const std::string line = text ? text : "";
    std::printf("status %d %s\n", level, line.c_str());
    std::fflush(stdout);
    std::lock_guard<std::mutex> lock(m_lock);
    if (line == "NetStream.Publish.Start") m_publishing = true;
    m_changed.notify_all();
    return true;
  }
  bool OnSendStatistics(const PublishSendStatistics*) override { return true; }
  bool OnReservedPointer(void*) override { return true; }
  bool OnReservedInt(int) override { return true; }
  bool WaitPublishing(int ms) {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_publishing; });
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_publishing = false;
};

int FindMic(IRtmpPublishManager* manager, const std::string& description) {
  const wchar_t** names = nullptr;
  unsigned count = 0;
  manager->GetMicList(&names, &count);
  for (unsigned i = 0; i < count; ++i)
    if (RtmpPublishManager::WideToAnsiString(names[i]) == description) return static_cast<int>(i);
  return -1;
}

}  // namespace

std::vector<std::string> StrivonPublisherCommand(const std::string& self, const StrivonPublishOptions& o) {
  return {self,
          kStrivonPublisherFlag,
          o.url,
          o.app,
          o.stream,
          o.micDescription,
          std::to_string(o.width),
          std::to_string(o.height),
          std::to_string(o.fps),
          std::to_string(o.kbps),
          std::to_string(o.keyInterval)};
}

int RunStrivonPublisher(int argc, char** argv) {
  if (argc != 9) {
    std::fprintf(stderr, "publisher: expected 9 arguments, got %d\n", argc);
    return 2;
  }
  StrivonPublishOptions o;
  o.url = argv[0];
  o.app = argv[1];
  o.stream = argv[2];
  o.micDescription = argv[3];
  o.width = std::atoi(argv[4]);
  o.height = std::atoi(argv[5]);
  o.fps = std::atoi(argv[6]);
  o.kbps = std::atoi(argv[7]);
  o.keyInterval = std::atoi(argv[8]);

  // Blocked before any thread exists, so only sigwait below sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  PrintingNotify notify;
  IRtmpPublishManager* manager = CreateRtmpPublishManagerWith(&notify, DefaultManagerFactories());
  if (!manager) {
    std::fprintf(stderr, "publisher: no manager\n");
    return 1;
  }
  const int mic = FindMic(manager, o.micDescription);
  if (mic < 0) {
    std::fprintf(stderr, "publisher: no microphone named %s\n", o.micDescription.c_str());
    manager->release();
    return 1;
  }
  manager->SetMic(mic);
  manager->SetPublishAudioPara(44100, 2, 16, 64000, 100, false);
  manager->SetPublishVideoPara(o.width, o.height, o.fps, o.kbps * 1000, 0, o.keyInterval);
  manager->SetPublishUrl(o.url.c_str(), o.app.c_str(), o.stream.c_str());
  std::vector<char> reply(kSendCmdReplyBufferSize);
  char* replyText = reply.data();
  manager->SendCmd(R"({"cmd":"ScreenCaptureSettings","params":{"isFollowCursor":false,"isFullScreen":true}})",
                   &replyText);
  std::printf("screen settings reply %s\n", reply.data());
  if (!manager->StartPublish()) {
    std::fprintf(stderr, "publisher: StartPublish failed\n");
    manager->release();
    return 1;
  }
  if (!notify.WaitPublishing(15000)) std::fprintf(stderr, "publisher: no NetStream.Publish.Start in 15 s\n");
  int signal = 0;
  sigwait(&stopSignals, &signal);
  manager->StopPublish();
  manager->release();
  std::printf("stopped\n");
  return 0;
}
