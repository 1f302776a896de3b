// The library as a host loads it, against a private PulseAudio server: the
// manager's microphone list shows the server's recording inputs and a
// selection of one of them is taken.
#include <dlfcn.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "strivon/IRtmpPublishManager.h"
#include "tests/support/pulse_server.h"

namespace {

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text && *text; ++text) out += (*text < 0x80) ? static_cast<char>(*text) : '?';
  return out;
}

TEST(ManagerRealDevices, MicrophoneListShowsThePulseAudioInputs) {
  test_support::PulseServer pulse;
  ASSERT_TRUE(pulse.Start("strivon_mgr_sink", "StrivonManagerSink"));
  pulse.ExportToClients();

  const char* binaryDir = std::getenv("STRIVON_BINARY_DIR");
  ASSERT_NE(binaryDir, nullptr);
  const std::string libraryPath = std::string(binaryDir) + "/strivon/libStrivon.so";
  void* library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto create = reinterpret_cast<decltype(&CreateRtmpPublishManager)>(dlsym(library, "CreateRtmpPublishManager"));
  ASSERT_NE(create, nullptr);

  IRtmpPublishManager* manager = create(nullptr);
  ASSERT_NE(manager, nullptr);
  const wchar_t** names = nullptr;
  unsigned count = 0;
  ASSERT_EQ(manager->GetMicList(&names, &count), 0);
  std::vector<std::string> mics;
  for (unsigned i = 0; i < count; ++i) mics.push_back(Narrow(names[i]));
  int monitor = -1;
  for (unsigned i = 0; i < count; ++i) {
    if (mics[i] == pulse.MonitorDescription()) monitor = static_cast<int>(i);
  }
  EXPECT_GE(monitor, 0) << "inputs seen: " << ::testing::PrintToString(mics);
  if (monitor >= 0) {
    EXPECT_EQ(manager->SetMic(monitor), 0);
  }
  EXPECT_EQ(manager->SetMic(static_cast<int>(count)), -1);
  manager->release();
  dlclose(library);
}

}  // namespace
