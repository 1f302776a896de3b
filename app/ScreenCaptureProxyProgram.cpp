// The proxy as the program builds it, on the program-wide objects. Kept apart
// so the proxy itself can be built and tested without them.
#include <cstdio>

#include "app/ScreenCaptureProxy.h"
#include "app/ScreenCaptureProxyWiring.h"

ScreenCaptureProxyWiring ProgramProxyWiring() {
  ScreenCaptureProxyWiring wiring;
  wiring.publishParams = [] { return ThePublishParams().Get(); };
  wiring.reloadAccountParams = [](const std::string& account) {
    const std::string path = UserIniPath(account);
    ReadFileResult result = ReadFileResult::kRead;
    if (!ThePublishParams().LoadIni(path, &result) && result == ReadFileResult::kTooLarge)
      std::fprintf(stderr, "Velmora: %s is larger than a settings file can be; it was not read\n", path.c_str());
  };
  wiring.userConfig = [] { return TheUserConfig().Get(); };
  return wiring;
}

CScreenCaptureProxy::CScreenCaptureProxy(ScreenCaptureProxyNotify* statusSink)
    : CScreenCaptureProxy(statusSink, ProgramProxyWiring()) {}
