// The proxy as the program builds it, on the program-wide objects. Kept apart
// so the proxy itself can be built and tested without them.
#include "app/ScreenCaptureProxy.h"
#include "app/ScreenCaptureProxyWiring.h"

ScreenCaptureProxyWiring ProgramProxyWiring() {
  ScreenCaptureProxyWiring wiring;
  wiring.publishParams = [] { return ThePublishParams().Get(); };
  wiring.reloadAccountParams = [](const std::string& account) { ThePublishParams().LoadIni(UserIniPath(account)); };
  wiring.userConfig = [] { return TheUserConfig().Get(); };
  return wiring;
}

CScreenCaptureProxy::CScreenCaptureProxy(ScreenCaptureProxyNotify* statusSink)
    : CScreenCaptureProxy(statusSink, ProgramProxyWiring()) {}
