// Settings files under a crash and a full disk: a process killed while it
// saves, or a write that runs out of room, leaves the old or the new file
// whole, never an empty or cut one.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "app/IniFile.h"
#include "app/PublishParams.h"
#include "app/UserConfig.h"
#include "tests/support/temp_dir.h"

using namespace test_support;

namespace {

constexpr size_t kBytes = 300000;

// Settings whose every part tells which of two generations it belongs to.
void SetGeneration(CUserConfig* config, CPublishParams* params, char mark) {
  UserConfigValues v = config->Get();
  v.userPwd = std::string(kBytes, mark);
  v.resolutionList.assign(3000, std::string(8, mark));
  v.volume = mark;
  config->Set(v);
  PublishParamValues p;
  p.stream = std::string(kBytes, mark);
  p.VDWidth = mark;
  params->Set(p);
}

bool SaveBoth(const TempDir& dir, const CUserConfig& config, const CPublishParams& params) {
  return config.Save(dir.File("user_config.xml")) && params.SaveIni(dir.File("alice"));
}

TEST(ConfigCrash, KilledWhileSavingLeavesOldOrNewContent) {
  TempDir dir("crash");
  CUserConfig config(dir.path(), 1920, 1080);
  CPublishParams params;
  SetGeneration(&config, &params, 'a');
  ASSERT_TRUE(SaveBoth(dir, config, params));
  constexpr int kRounds = 32;
  for (int round = 0; round < kRounds; ++round) {
    int saved[2];
    ASSERT_EQ(::pipe(saved), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int i = 0;; ++i) {
        SetGeneration(&config, &params, i % 2 ? 'a' : 'b');
        if (!SaveBoth(dir, config, params) || ::write(saved[1], "s", 1) != 1) ::_exit(1);
      }
    }
    ::close(saved[1]);
    // One loop of the child takes `period`; each round kills at another point of it.
    char ignored;
    ASSERT_EQ(::read(saved[0], &ignored, 1), 1);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(::read(saved[0], &ignored, 1), 1);
    const auto period = std::chrono::steady_clock::now() - start;
    std::this_thread::sleep_for(period * (round + 0.5) / kRounds);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(saved[0]);
    ASSERT_TRUE(WIFSIGNALED(status));

    CUserConfig loaded(dir.path(), 1920, 1080);
    loaded.Load(dir.File("user_config.xml"));
    const UserConfigValues v = loaded.Get();
    ASSERT_TRUE(v.volume == 'a' || v.volume == 'b') << v.volume;
    EXPECT_EQ(v.userPwd, std::string(kBytes, static_cast<char>(v.volume)));
    EXPECT_EQ(v.resolutionList, std::vector<std::string>(3000, std::string(8, static_cast<char>(v.volume))));
    CPublishParams loadedParams;
    ASSERT_TRUE(loadedParams.LoadIni(dir.File("alice")));
    const int mark = loadedParams.Get().VDWidth;
    ASSERT_TRUE(mark == 'a' || mark == 'b') << mark;
    EXPECT_EQ(loadedParams.GetStream(), std::string(kBytes, static_cast<char>(mark)));
  }
}

TEST(ConfigCrash, FullDiskKeepsTheOldFiles) {
  TempDir dir("fulldisk");
  CUserConfig config(dir.path(), 1920, 1080);
  CPublishParams params;
  ASSERT_TRUE(SaveBoth(dir, config, params));
  ASSERT_TRUE(IniWriteString(dir.File("DUMP.ini"), "DUMP", "DumpStatus", "NoPub"));
  const std::string old = ReadFileBytes(dir.File("user_config.xml")) + ReadFileBytes(dir.File("alice")) +
                          ReadFileBytes(dir.File("DUMP.ini"));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Files may not grow beyond 4 KiB: every large write fails like a full disk.
    const rlimit limit{4096, 4096};
    ::signal(SIGXFSZ, SIG_IGN);
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
    SetGeneration(&config, &params, 'b');
    const bool anyLanded = config.Save(dir.File("user_config.xml")) || params.SaveIni(dir.File("alice")) ||
                           IniWriteString(dir.File("DUMP.ini"), "DUMP", "UserID", std::string(kBytes, 'u'));
    ::_exit(anyLanded ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a write that could not land reported success";
  EXPECT_EQ(ReadFileBytes(dir.File("user_config.xml")) + ReadFileBytes(dir.File("alice")) +
                ReadFileBytes(dir.File("DUMP.ini")),
            old);
  // Failed writes leave no temporary files: only video/, user_config.xml, alice and DUMP.ini.
  const auto entries =
      std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator());
  EXPECT_EQ(entries, 4);
}

}  // namespace
