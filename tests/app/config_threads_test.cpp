// The login thread writes the settings while the GUI thread reads them: every
// read sees one whole write, never a mix of two.
#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>

#include "app/PublishParams.h"
#include "app/UserConfig.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(ConfigThreads, ReadersSeeWholeWrites) {
  test_support::TempDir dir("threads");
  CUserConfig config(dir.path(), 1920, 1080);
  CPublishParams params;
  constexpr int kWrites = 2000;
  std::atomic<bool> done{false};
  params.SetMaxResolution("0");

  std::thread login([&] {
    for (int i = 1; i <= kWrites; ++i) {
      const std::string n = std::to_string(i);
      config.SetCredentials("user" + n, "pwd" + n, "room" + n);
      config.SetAccountNumber(n);
      PublishParamValues v = params.Get();
      v.stream = "stream" + n;
      v.VDWidth = i;
      params.Set(v);
      params.SetMaxResolution(n + "*" + n);
    }
    done = true;
  });

  int mixed = 0, reads = 0;
  while (!done || reads == 0) {
    const UserConfigValues v = config.Get();
    if (!v.userId.empty()) {
      const std::string n = v.userId.substr(4);
      mixed += v.userPwd != "pwd" + n || v.roomId != "room" + n;
    }
    const PublishParamValues p = params.Get();
    mixed += p.MaxVDWidth != p.MaxVDHeight;
    if (p.VDWidth != 640) mixed += p.stream != "stream" + std::to_string(p.VDWidth);
    if (!v.userId.empty()) mixed += config.GetUserId().empty();  // never goes back
    ++reads;
  }
  login.join();
  EXPECT_EQ(mixed, 0);
  EXPECT_EQ(config.GetUserPwd(), "pwd" + std::to_string(kWrites));
  EXPECT_EQ(params.GetStream(), "stream" + std::to_string(kWrites));
  EXPECT_EQ(config.Get().accountNumber, std::to_string(kWrites));
}

}  // namespace
