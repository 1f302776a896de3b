// A minimal host of libStrivon, built against the installed SDK headers only
// and loading the library at run time.
//
// strivon_host [path/to/libStrivon.so]
//   creates the publish manager with a notify object that records what it
//   hears, asks for the SDK version over the JSON channel, lists microphones
//   and cameras, and releases the manager. Exit status 0 when the version
//   reply, the lists and the release report were as a host expects them.
// strivon_host publish --url rtmp://host[:port]/app/stream [options]
//   publishes the screen (or a media file) and a microphone; see
//   publish_options.h.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <strivon/IRtmpPublishManager.h>

#include "host_library.h"
#include "publish_run.h"

namespace {

class PrintingNotify final : public IRtmpPublishManagerNotify {
 public:
  bool OnMessage(const char* json) override {
    std::printf("event: %s\n", json ? json : "");
    return true;
  }
  bool OnStatus(int level, const char* text) override {
    std::lock_guard<std::mutex> lock(m_lock);
    std::printf("status %d: %s\n", level, text ? text : "");
    if (level == strivon_status::kLevelInformation && text && std::strcmp(text, strivon_status::kRelease) == 0)
      ++releaseReports;
    return true;
  }
  bool OnSendStatistics(const PublishSendStatistics*) override { return true; }
  bool OnReservedPointer(void*) override { return true; }
  bool OnReservedInt(int) override { return true; }

  int releaseReports = 0;

 private:
  std::mutex m_lock;
};

bool PrintList(const char* title, int result, const wchar_t** names, unsigned count) {
  std::printf("%s: result %d, %u device(s)\n", title, result, count);
  for (unsigned i = 0; result == 0 && names && i < count; ++i) std::printf("  %u: %s\n", i, Utf8(names[i]).c_str());
  return result == 0 && names != nullptr;
}

// {"code": 0, "data": {"version": 14 digits}} in the library's styled form.
bool IsVersionReply(const std::string& reply) {
  if (reply.find("\"code\" : 0,") == std::string::npos) return false;
  const std::string key = "\"version\" : \"";
  const size_t start = reply.find(key);
  if (start == std::string::npos) return false;
  const size_t digits = start + key.size();
  const size_t end = reply.find('"', digits);
  if (end == std::string::npos || end - digits != 14) return false;
  return reply.find_first_not_of("0123456789", digits) == end;
}

int CheckLibrary(const char* libraryPath) {
  void* library = nullptr;
  const CreateManagerFunction create = LoadStrivon(libraryPath, &library);
  if (!create) return 2;

  bool ok = true;
  PrintingNotify notify;
  IRtmpPublishManager* manager = create(&notify);
  if (!manager) {
    std::fprintf(stderr, "no manager\n");
    return 1;
  }

  std::vector<char> reply(kSendCmdReplyBufferSize, 0);
  char* buffer = reply.data();
  ok &= manager->SendCmd(R"({"cmd":"GetSdkVersion","params":{}})", &buffer);
  std::printf("GetSdkVersion reply:\n%s", reply.data());
  if (!IsVersionReply(reply.data())) {
    std::fprintf(stderr, "unexpected version reply\n");
    ok = false;
  }

  const wchar_t** mics = nullptr;
  unsigned micCount = 0;
  const int micResult = manager->GetMicList(&mics, &micCount);
  ok &= PrintList("microphones", micResult, mics, micCount);
  const wchar_t** cams = nullptr;
  unsigned camCount = 0;
  const int camResult = manager->GetCamList(&cams, &camCount);
  ok &= PrintList("cameras", camResult, cams, camCount);

  manager->release();
  if (notify.releaseReports != 1) {
    std::fprintf(stderr, "release reported %d times\n", notify.releaseReports);
    ok = false;
  }

  // A host without a notify object gets a working manager that reports nothing.
  IRtmpPublishManager* silent = create(nullptr);
  if (!silent) {
    std::fprintf(stderr, "no manager without notify\n");
    ok = false;
  } else {
    std::vector<char> silentReply(kSendCmdReplyBufferSize, 0);
    char* silentBuffer = silentReply.data();
    ok &= silent->SendCmd(R"({"cmd":"GetSdkVersion","params":{}})", &silentBuffer) && IsVersionReply(silentReply.data());
    silent->release();
  }

  UnloadStrivon(library);
  std::printf("%s\n", ok ? "host: ok" : "host: FAILED");
  return ok ? 0 : 1;
}

int Publish(int argc, char** argv) {
  PublishOptions options;
  std::string error;
  if (!ParsePublishOptions(std::vector<std::string>(argv, argv + argc), &options, &error)) {
    std::fprintf(stderr, "strivon_host: %s\n%s", error.c_str(), kPublishUsage);
    return 2;
  }
  return RunPublish(options);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "publish") == 0) return Publish(argc - 2, argv + 2);
  return CheckLibrary(argc > 1 ? argv[1] : "libStrivon.so");
}
