// A minimal host of libStrivon: loads the library at run time, creates the
// publish manager with a notify object that records what it hears, asks for
// the SDK version over the JSON channel, lists microphones and cameras, and
// releases the manager. Built against the installed SDK headers only.
//
// Usage: strivon_host [path/to/libStrivon.so]
// Exit status 0 when the version reply, the lists and the release report
// were as a host expects them.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <strivon/IRtmpPublishManager.h>

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

std::string Utf8(const wchar_t* text) {
  std::string out;
  for (; text && *text; ++text) {
    const unsigned long c = static_cast<unsigned long>(*text);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

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

}  // namespace

int main(int argc, char** argv) {
  const char* libraryPath = argc > 1 ? argv[1] : "libStrivon.so";
  void* library = dlopen(libraryPath, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    std::fprintf(stderr, "cannot load %s: %s\n", libraryPath, dlerror());
    return 2;
  }
  auto create = reinterpret_cast<decltype(&CreateRtmpPublishManager)>(dlsym(library, "CreateRtmpPublishManager"));
  if (!create) {
    std::fprintf(stderr, "no CreateRtmpPublishManager in %s\n", libraryPath);
    return 2;
  }

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

  dlclose(library);
  std::printf("%s\n", ok ? "host: ok" : "host: FAILED");
  return ok ? 0 : 1;
}
