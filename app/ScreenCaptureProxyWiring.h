// What the library proxy reaches outside itself: the manager factory, the
// queue its window messages go to and the program-wide configuration it reads.
// The program wires them to the real objects (ProgramProxyWiring); tests wire
// them to doubles.
#pragma once
#include <functional>
#include <string>

#include "app/ProgramEvents.h"
#include "app/PublishParams.h"
#include "app/UserConfig.h"
#include "strivon/IRtmpPublishManager.h"

using PublishManagerFactory = std::function<IRtmpPublishManager*(IRtmpPublishManagerNotify*)>;

struct ScreenCaptureProxyWiring {
  PublishManagerFactory createManager = CreateRtmpPublishManager;
  ProgramEventQueue* events = &TheProgramEvents();
  std::function<PublishParamValues()> publishParams;
  // Reloads the publish parameters cached for an account (the one logged in
  // this run); a missing or unreadable cache leaves them as they are.
  std::function<void(const std::string& account)> reloadAccountParams;
  std::function<UserConfigValues()> userConfig;
};

// The real library, the GUI thread's queue, ThePublishParams() and TheUserConfig().
ScreenCaptureProxyWiring ProgramProxyWiring();
