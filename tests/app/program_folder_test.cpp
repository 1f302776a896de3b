// Where the program keeps its files: beside the executable when it may write
// there, otherwise in the user's data folder.
#include <cstdlib>
#include <gtest/gtest.h>

#include "app/FileAccess.h"
#include "app/ProgramFolder.h"
#include "app/UserConfig.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(ProgramFolder, ExecutableFolderOrTheUsersDataFolder) {
  EXPECT_TRUE(PathExists(GetExeDirectory() + "/app_config_tests"));
  test_support::TempDir dir("folder");
  EXPECT_EQ(ChooseProgramFolder(dir.path(), true), dir.path());
  // This test process is alone; its environment is ours to change.
  ::setenv("XDG_DATA_HOME", (dir.path() + "/data/").c_str(), 1);
  EXPECT_EQ(ChooseProgramFolder("/opt/velmora", false), dir.path() + "/data/Velmora");
  EXPECT_EQ(ChooseProgramFolder("/", true), dir.path() + "/data/Velmora");
  ::setenv("XDG_DATA_HOME", "relative/path", 1);
  ::setenv("HOME", (dir.path() + "/home").c_str(), 1);
  EXPECT_EQ(ChooseProgramFolder("/opt/velmora", false), dir.path() + "/home/.local/share/Velmora");
  EXPECT_TRUE(IsDirectory(dir.path() + "/data/Velmora") && IsDirectory(dir.path() + "/home/.local/share/Velmora"));
}

TEST(ProgramFolder, TheProgramWideConfigurationUsesIt) {
  test_support::TempDir dir("folder");
  SetProgramFolderForTesting(dir.path());
  EXPECT_EQ(UserConfigPath(), dir.path() + "/user_config.xml");
  EXPECT_EQ(TheUserConfig().GetRecordPath(), dir.path() + "/video");
  EXPECT_TRUE(IsDirectory(dir.path() + "/video"));
  EXPECT_EQ(TheUserConfig().Get().captureSizeList.back(), "全屏");
}

// The program's own configuration: a damaged file is kept aside at load,
// and the last save at exit does not repeat the main window's.
TEST(ProgramFolder, TheProgramKeepsADamagedFileAsideAndSavesOnce) {
  test_support::TempDir dir("folder");
  SetProgramFolderForTesting(dir.path());
  ASSERT_TRUE(test_support::WriteFileBytes(UserConfigPath(), "<USERINFO><MIC>m</MIC>"));
  const ProgramConfigLoad load = LoadProgramUserConfig();
  EXPECT_EQ(load.result, CUserConfig::LoadResult::kDamaged);
  EXPECT_EQ(test_support::ReadFileBytes(load.keptAs), "<USERINFO><MIC>m</MIC>");
  ASSERT_TRUE(SaveProgramUserConfig());
  const std::string saved = test_support::ReadFileBytes(UserConfigPath());
  EXPECT_NE(saved.find("<MIC></MIC>"), std::string::npos);
  // Another instance wrote meanwhile; a save with nothing new leaves it.
  ASSERT_TRUE(test_support::WriteFileBytes(UserConfigPath(), "newer"));
  EXPECT_TRUE(TheUserConfig().SaveIfChanged(UserConfigPath()));
  EXPECT_EQ(test_support::ReadFileBytes(UserConfigPath()), "newer");
}

}  // namespace
