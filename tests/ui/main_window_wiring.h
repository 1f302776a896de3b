// How the window tests wire the real proxy: over a fake manager the
// test owns, with the program's own settings objects and an event queue of
// the test's.
#pragma once
#include "app/ProgramEvents.h"
#include "app/PublishParams.h"
#include "app/ScreenCaptureProxyWiring.h"
#include "app/UserConfig.h"
#include "strivon/IRtmpPublishManager.h"

inline ScreenCaptureProxyWiring WiringOverManager(IRtmpPublishManager* manager, ProgramEventQueue* events) {
  ScreenCaptureProxyWiring wiring;
  wiring.createManager = [manager](IRtmpPublishManagerNotify*) { return manager; };
  wiring.events = events;
  wiring.publishParams = [] { return ThePublishParams().Get(); };
  wiring.reloadAccountParams = [](const std::string&) {};
  wiring.userConfig = [] { return TheUserConfig().Get(); };
  return wiring;
}

// The same over fixed default settings, for tests that keep a configuration
// of their own.
inline ScreenCaptureProxyWiring WiringOverManagerWithDefaultSettings(IRtmpPublishManager* manager,
                                                                     ProgramEventQueue* events) {
  ScreenCaptureProxyWiring wiring = WiringOverManager(manager, events);
  wiring.publishParams = [] { return PublishParamValues{}; };
  wiring.userConfig = [] { return UserConfigValues{}; };
  return wiring;
}
