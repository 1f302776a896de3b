// A host built from an installed earlier SDK alone. With no camera present
// every camera switch answers "Cam ID wrong", so an operation that sits in
// another slot than this host's header says shows at once.
// Usage: sdk_host_probe <library>; exits 0 when every switch answered.
#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <strivon/IRtmpPublishManager.h>

namespace {
class CountingNotify : public IRtmpPublishManagerNotify {
 public:
  bool OnMessage(const char*) override { return true; }
  bool OnStatus(int, const char* text) override {
    if (text && std::strncmp(text, "Cam ID wrong", 12) == 0) ++camIdWrong;
    return true;
  }
  bool OnSendStatistics(const PublishSendStatistics*) override { return true; }
  bool OnReservedPointer(void*) override { return true; }
  bool OnReservedInt(int) override { return true; }
  std::atomic<int> camIdWrong{0};
};
}  // namespace

int main(int argc, char** argv) {
  setenv("STRIVON_DSHOW_DEVICES", "virtual", 1);  // no camera at all
  void* library = argc == 2 ? dlopen(argv[1], RTLD_NOW | RTLD_LOCAL) : nullptr;
  using Create = IRtmpPublishManager* (*)(IRtmpPublishManagerNotify*);
  auto create = library ? reinterpret_cast<Create>(dlsym(library, "CreateRtmpPublishManager")) : nullptr;
  CountingNotify notify;
  IRtmpPublishManager* manager = create ? create(&notify) : nullptr;
  if (!manager) return 1;
  int expected = 1;
  manager->changeToCamera(3, 15, 0);
#if STRIVON_SDK_PICTURE_IN_PICTURE
  std::printf("changeToCameraIn present\n");
  manager->changeToCameraIn(3, 15, 0, 1);
  ++expected;
#else
  std::printf("changeToCameraIn absent\n");
#endif
  std::printf("Cam ID wrong: %d of %d\n", notify.camIdWrong.load(), expected);
  manager->release();
  dlclose(library);
  return notify.camIdWrong == expected ? 0 : 1;
}
