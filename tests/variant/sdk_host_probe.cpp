// A host built from an installed earlier SDK alone: it loads the library,
// and reaches the camera switches through the slots its header gives them.
// With no camera present each answers "Cam ID wrong", so an operation that
// sits in another slot than the host expects shows at once.
// Usage: sdk_host_probe <library>; prints what it found, exits 0 when sound.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include <strivon/IRtmpPublishManager.h>

namespace {

class CountingNotify : public IRtmpPublishManagerNotify {
 public:
  bool OnMessage(const char*) override { return true; }
  bool OnStatus(int, const char* text) override {
    std::lock_guard<std::mutex> lock(m_lock);
    if (text && std::strncmp(text, "Cam ID wrong", 12) == 0) ++m_camIdWrong;
    return true;
  }
  bool OnSendStatistics(const PublishSendStatistics*) override { return true; }
  bool OnReservedPointer(void*) override { return true; }
  bool OnReservedInt(int) override { return true; }
  int CamIdWrong() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_camIdWrong;
  }

 private:
  std::mutex m_lock;
  int m_camIdWrong = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  setenv("STRIVON_DSHOW_DEVICES", "virtual", 1);  // no camera at all
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    std::printf("dlopen: %s\n", dlerror());
    return 1;
  }
  using Create = IRtmpPublishManager* (*)(IRtmpPublishManagerNotify*);
  auto create = reinterpret_cast<Create>(dlsym(library, "CreateRtmpPublishManager"));
  CountingNotify notify;
  IRtmpPublishManager* manager = create ? create(&notify) : nullptr;
  if (!manager) {
    std::printf("no manager\n");
    return 1;
  }
  int failures = 0;
  manager->changeToCamera(3, 15, 0);
  if (notify.CamIdWrong() != 1) {
    std::printf("changeToCamera did not answer Cam ID wrong\n");
    ++failures;
  }
#if STRIVON_SDK_PICTURE_IN_PICTURE
  std::printf("changeToCameraIn present\n");
  manager->changeToCameraIn(3, 15, 0, 1);
  if (notify.CamIdWrong() != 2) {
    std::printf("changeToCameraIn did not answer Cam ID wrong\n");
    ++failures;
  }
#else
  std::printf("changeToCameraIn absent\n");
#endif
  manager->release();
  dlclose(library);
  return failures == 0 ? 0 : 1;
}
