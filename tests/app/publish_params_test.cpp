// The publish parameters: the per-account INI file, its fallbacks and key
// order, and account names that must stay file names inside "usr/".
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

#include "app/IniFile.h"
#include "app/ProgramFolder.h"
#include "app/PublishParams.h"
#include "tests/support/temp_dir.h"

using namespace test_support;

namespace {

TEST(PublishParams, MissingKeysTakeTheirFallbacksAndSavingKeepsTheOrder) {
  TempDir dir("params");
  ASSERT_TRUE(WriteFileBytes(dir.File("a"), "[VideoParam]\nstream=abc\nbVBR=TRUE\n"));
  CPublishParams params;
  params.SetMaxResolution("1*1");
  PublishParamValues v = params.Get();
  v.VDBitRate = 123456;
  params.Set(v);
  ASSERT_TRUE(params.LoadIni(dir.File("a")));
  v = params.Get();
  EXPECT_EQ(v.stream, "abc");
  EXPECT_EQ(v.strChatTabName, "");
  const std::vector<int> ints = {v.ADBitRate, v.ADVolume, v.MaxVDWidth, v.MaxVDHeight, v.VDFPS,
                                 v.VFFPS,     v.VCFPS,    v.VD_QMin,    v.VDBitRate};
  EXPECT_EQ(ints, std::vector<int>({30000, 80, 1280, 720, 7, 15, 10, 0, 123456}));
  EXPECT_FALSE(v.bVBR);
  EXPECT_FALSE(params.LoadIni(dir.File("nobody")));
  EXPECT_FALSE(params.LoadIni(dir.path()));
  EXPECT_EQ(params.GetStream(), "abc");

  v.bVBR = true;
  v.VC_QMin = 17;
  v.strDomain = ".example";
  params.Set(v);
  ASSERT_TRUE(params.SaveIni(dir.File("b")));
  struct stat st {};
  EXPECT_TRUE(::stat(dir.File("b").c_str(), &st) == 0 && (st.st_mode & 0777) == 0600);
  std::istringstream file(ReadFileBytes(dir.File("b")));
  std::string keys, line;
  while (std::getline(file, line)) keys += line.substr(0, line.find('=')) + " ";
  EXPECT_EQ(keys, "[VideoParam] strScheduleSvr strChatUrl PublishRoomInfo StrKey PubWay stream strmqPubUrlPub "
                  "strChatTabName strDomain ADSampleRate ADChannels ADBitperSample ADBitRate ADVolume VDWidth VDHeight "
                  "MaxVDWidth MaxVDHeight VDFPS VFFPS VCFPS VDBitRate VFBitRate VCBitRate VDInterval VDIntervalSencond "
                  "BFrameCount bVBR Quality FQuality CQuality VD_QMin VF_QMin VC_QMin ");
  CPublishParams loaded;
  ASSERT_TRUE(loaded.LoadIni(dir.File("b")));
  EXPECT_TRUE(loaded.Get().bVBR);
  EXPECT_EQ(loaded.Get().VC_QMin, 17);
  ASSERT_TRUE(loaded.SaveIni(dir.File("c")));
  EXPECT_EQ(ReadFileBytes(dir.File("c")), ReadFileBytes(dir.File("b")));
  ASSERT_TRUE(WriteFileBytes(dir.File("a"), "[VideoParam]\nbVBR=true\n"));
  ASSERT_TRUE(loaded.LoadIni(dir.File("a")));
  EXPECT_TRUE(loaded.Get().bVBR);
}

TEST(PublishParams, SetMaxResolution) {
  CPublishParams params;
  const std::pair<const char*, std::pair<int, int>> cases[] = {
      {"1280*720", {1280, 720}}, {"800", {800, 800}}, {"", {0, 0}}, {"1920*", {1920, 0}}};
  for (const auto& [text, size] : cases) {
    params.SetMaxResolution(text);
    EXPECT_EQ(std::make_pair(params.Get().MaxVDWidth, params.Get().MaxVDHeight), size) << text;
  }
}

TEST(PublishParams, AccountNamesStayInsideTheUserFolder) {
  TempDir dir("params");
  SetProgramFolderForTesting(dir.path() + "/");
  EXPECT_EQ(UserIniPath("alice01"), dir.path() + "/usr/alice01");
  ASSERT_TRUE(WriteFileBytes(dir.File("user_config.xml"), "<USERINFO/>"));
  for (const std::string account : {"../user_config.xml", "..", ".", "a/../../user_config.xml"}) {
    const std::string path = UserIniPath(account);
    EXPECT_EQ(path.rfind('/'), GetUserIniDir().size() - 1) << account;
    EXPECT_EQ(path.find(".."), std::string::npos) << account;
    EXPECT_TRUE(SaveUserIni(account)) << account;
    DeleteUserIni(account);
    EXPECT_EQ(ReadFileBytes(dir.File("user_config.xml")), "<USERINFO/>");
  }
  ThePublishParams().SetMaxResolution("1024*768");
  ASSERT_TRUE(SaveUserIni("alice01"));
  EXPECT_EQ(IniGetInt(dir.path() + "/usr/alice01", "VideoParam", "MaxVDWidth", 0), 1024);
  DeleteUserIni("alice01");
  EXPECT_EQ(FileSize(dir.path() + "/usr/alice01"), -1);
}

// Numbers the library cannot take fall back to what a missing key gives.
TEST(PublishParams, NumbersOutOfRangeTakeTheirFallbacks) {
  TempDir dir("params");
  ASSERT_TRUE(WriteFileBytes(dir.File("a"), "[VideoParam]\nADSampleRate=-2147483648\nVDFPS=2147483647\n"
                                            "VFFPS=0\nVCFPS=61\nBFrameCount=17\nMaxVDWidth=99999\n"
                                            "MaxVDHeight=99999\nADChannels=3\nADBitperSample=8\n"));
  CPublishParams params;
  ASSERT_TRUE(params.LoadIni(dir.File("a")));
  PublishParamValues v = params.Get();
  EXPECT_EQ(std::vector<int>({v.ADSampleRate, v.VDFPS, v.VFFPS, v.VCFPS, v.BFrameCount, v.MaxVDWidth, v.MaxVDHeight,
                              v.ADChannels, v.ADBitperSample}),
            std::vector<int>({44100, 7, 15, 10, 0, 1280, 720, 2, 16}));
  ASSERT_TRUE(WriteFileBytes(dir.File("b"), "[VideoParam]\nADSampleRate=48000\nVDFPS=60\nVFFPS=1\nBFrameCount=16\n"
                                            "MaxVDWidth=1920\nMaxVDHeight=1080\nADChannels=1\n"));
  ASSERT_TRUE(params.LoadIni(dir.File("b")));
  v = params.Get();
  EXPECT_EQ(std::vector<int>({v.ADSampleRate, v.VDFPS, v.VFFPS, v.BFrameCount, v.MaxVDWidth, v.MaxVDHeight,
                              v.ADChannels}),
            std::vector<int>({48000, 60, 1, 16, 1920, 1080, 1}));
}

}  // namespace
