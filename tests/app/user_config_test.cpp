// user_config.xml: what the first save writes, how loading treats optional,
// empty and missing elements, damaged files, the size lists, and texts of
// any length.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tinyxml2.h>

#include <filesystem>

#include "app/FileAccess.h"
#include "app/UserConfig.h"
#include "tests/support/temp_dir.h"

using namespace test_support;

namespace {

std::string ConfigFile(const std::string& inner) {
  return "<?xml version=\"1.0\"?>\n<USERINFO>" + inner + "</USERINFO>\n";
}

TEST(UserConfig, FirstSaveWritesEveryElementWithTheDefaults) {
  TempDir dir("config");
  const std::string program = dir.path() + "/missing/levels";
  CUserConfig config(program, 1920, 1080);
  EXPECT_TRUE(IsDirectory(program + "/video"));
  const std::string path = dir.File("user_config.xml");
  ASSERT_TRUE(config.Save(path));
  struct stat st {};
  EXPECT_TRUE(::stat(path.c_str(), &st) == 0 && (st.st_mode & 0777) == 0600);
  const std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<USERINFO>\n    <MIC></MIC>\n", 0), 0u)
      << bytes;

  tinyxml2::XMLDocument doc;
  ASSERT_EQ(doc.Parse(bytes.c_str()), tinyxml2::XML_SUCCESS);
  std::string elements;
  for (auto* e = doc.RootElement()->FirstChildElement(); e; e = e->NextSiblingElement())
    elements += std::string(e->Name()) + "=" + (e->GetText() ? e->GetText() : "") + " ";
  EXPECT_EQ(elements, "MIC= CAM= RECORDPATH=" + program +
                          "/video CAPRECT={0,0,0,0} LOCKCAP=FALSE OUTRESOLUTION=640*480 "
                          "VOLUME=80 ANTINOISE=FALSE AUDIOMIX=FALSE RECORD=FALSE VOLMAGNIFY=20 TRANSPARENCE=255 "
                          "USERID= USERPWD= ROOMID= FILELIST= Resolution= m_iSelectResolutionIndex=3 m_lockMode=0 ");
  std::vector<std::string> sizes;
  const tinyxml2::XMLElement* list = doc.RootElement()->FirstChildElement("Resolution");
  for (auto* e = list->FirstChildElement("Element"); e; e = e->NextSiblingElement()) sizes.push_back(e->GetText());
  EXPECT_EQ(sizes.size(), 12u);
  EXPECT_EQ(sizes, DefaultOutputSizes());
}

TEST(UserConfig, LoadTakesWhatIsThereAndKeepsTheRest) {
  TempDir dir("config");
  ASSERT_TRUE(WriteFileBytes(dir.File("kept.flv"), "x"));
  const std::string path = dir.File("user_config.xml");
  // No CAPRECT, AUDIOMIX, RECORD, VOLMAGNIFY or m_lockMode; LOCKCAP in lower case; VOLUME empty.
  ASSERT_TRUE(WriteFileBytes(path, ConfigFile(
      "<MIC>mic</MIC><CAM>cam</CAM><RECORDPATH>/rec</RECORDPATH><LOCKCAP>true</LOCKCAP>"
      "<OUTRESOLUTION>1*2</OUTRESOLUTION><VOLUME></VOLUME><ANTINOISE>TRUE</ANTINOISE>"
      "<TRANSPARENCE>200</TRANSPARENCE><USERID>u</USERID><USERPWD>p</USERPWD>"
      "<ROOMID>r</ROOMID><FILELIST><FILE>" + dir.File("kept.flv") + "</FILE><FILE>" + dir.File("deleted.flv") +
      "</FILE><FILE/></FILELIST><Resolution><Element>1*1</Element></Resolution>"
      "<m_iSelectResolutionIndex>5</m_iSelectResolutionIndex>")));
  CUserConfig config(dir.path(), 1280, 1024);
  UserConfigValues v = config.Get();
  v.volume = 33;
  v.capRect = {1, 2, 3, 4};
  config.Set(v);
  EXPECT_EQ(config.Load(path), CUserConfig::LoadResult::kLoaded);
  v = config.Get();
  EXPECT_EQ(v.micName + v.recordPath + v.userPwd + v.outResolution, "mic/recp1*2");
  EXPECT_FALSE(v.lockCap);
  EXPECT_TRUE(v.antiNoise);
  EXPECT_EQ(std::vector<int>({v.volume, v.volMagnify, v.transparence, v.selectResolutionIndex, v.lockMode}),
            std::vector<int>({33, 20, 200, 5, 0}));
  EXPECT_EQ(v.capRect, (CaptureRect{1, 2, 3, 4}));
  EXPECT_EQ(v.fileList, std::vector<std::string>{dir.File("kept.flv")});
  EXPECT_EQ(v.resolutionList, std::vector<std::string>{"1*1"});

  // A missing FILELIST skips itself alone: what follows it is read, and the
  // list kept from before is still pruned.
  ASSERT_TRUE(WriteFileBytes(path, ConfigFile("<MIC>m2</MIC><CAPRECT>{-5,6,x</CAPRECT><Resolution><Element>9</Element>"
                                              "</Resolution><m_iSelectResolutionIndex>7</m_iSelectResolutionIndex>"
                                              "<m_lockMode>2</m_lockMode>")));
  v.fileList.push_back(dir.File("ghost"));
  config.Set(v);
  EXPECT_EQ(config.Load(path), CUserConfig::LoadResult::kLoaded);
  EXPECT_EQ(config.Get().micName, "m2");
  EXPECT_EQ(config.Get().capRect, (CaptureRect{-5, 6, 3, 4}));
  EXPECT_EQ(config.Get().resolutionList, std::vector<std::string>{"9"});
  EXPECT_EQ(config.Get().selectResolutionIndex, 7);
  EXPECT_EQ(config.Get().lockMode, 2);
  EXPECT_EQ(config.Get().fileList, std::vector<std::string>{dir.File("kept.flv")});
  EXPECT_EQ(config.Load(dir.File("none.xml")), CUserConfig::LoadResult::kMissing);
}

// A file that cannot be loaded is never written over with settings the
// presenter did not choose: saves to it are refused until it is kept aside.
TEST(UserConfig, DamagedFilesAreKeptAsideNeverOverwritten) {
  TempDir dir("config");
  const std::string path = dir.File("user_config.xml");
  const std::string whole = ConfigFile("<MIC>Studio mic</MIC><VOLUME>35</VOLUME><USERID>anna</USERID>"
                                       "<FILELIST/><m_lockMode>1</m_lockMode>");
  std::string strayLess = whole, nulInValue = whole;
  strayLess.insert(strayLess.find("Studio"), "<");
  nulInValue[nulInValue.find("mic<")] = '\0';
  const std::pair<const char*, std::string> damaged[] = {
      {"last 5 bytes missing", whole.substr(0, whole.size() - 5)},
      {"stray <", strayLess},
      {"NUL in a value", nulInValue},
      {"over the size limit", whole + std::string(kMaxSettingsFileBytes, ' ')},
      {"only a declaration", "<?xml version=\"1.0\"?>\n"}};
  for (const auto& [why, bytes] : damaged) {
    SCOPED_TRACE(why);
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    CUserConfig config(dir.path(), 1920, 1080);
    EXPECT_EQ(config.Load(path), CUserConfig::LoadResult::kDamaged);
    EXPECT_EQ(config.Get().volume, 80);
    EXPECT_FALSE(config.Save(path));
    EXPECT_FALSE(config.SaveIfChanged(path));
    EXPECT_EQ(ReadFileBytes(path), bytes);

    const std::string kept = config.SetAsideDamaged(path);
    ASSERT_EQ(kept.rfind(path + ".bad-", 0), 0u) << kept;
    EXPECT_EQ(ReadFileBytes(kept), bytes);
    EXPECT_EQ(FileSize(path), -1);
    EXPECT_TRUE(config.Save(path));
    EXPECT_EQ(config.Get().volume, 80);
  }
  // Five in the same second or so: none replaced another.
  size_t keptFiles = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    keptFiles += entry.path().filename().string().rfind("user_config.xml.bad-", 0) == 0;
  EXPECT_EQ(keptFiles, std::size(damaged));
}

TEST(UserConfig, CaptureSizesDependOnTheScreen) {
  const auto tail = [](int w, int h) {
    const std::vector<std::string> sizes = CaptureSizesFor(w, h);
    return sizes[sizes.size() - 3] + " " + sizes[sizes.size() - 2] + " " + sizes.back();
  };
  EXPECT_EQ(tail(1920, 1080), "960x720 1280x720 全屏");
  EXPECT_EQ(tail(3840, 2160), "1280x720 1920x1920 全屏");
  EXPECT_EQ(tail(1280, 1024), "960x540 960x720 全屏");
  EXPECT_EQ(tail(2560, 1440), "960x720 1280x720 全屏");
}

TEST(UserConfig, LongAndOddTextsRoundTrip) {
  TempDir dir("config");
  CUserConfig config(dir.path(), 1920, 1080);
  UserConfigValues v = config.Get();
  v.userPwd = std::string(3000, 'p') + "<&>\"'";
  v.recordPath = dir.path() + "/" + std::string(1000, 'r');
  v.micName = "麦克风 (USB)";
  v.capRect = {-10, 20, 2147483647, -2147483647 - 1};
  v.lockCap = v.record = true;
  v.resolutionList = {"a", "", "b"};
  v.fileList = {dir.path()};
  config.Set(v);
  ASSERT_TRUE(config.Save(dir.File("user_config.xml")));
  CUserConfig loaded(dir.path(), 1920, 1080);
  loaded.Load(dir.File("user_config.xml"));
  const UserConfigValues back = loaded.Get();
  EXPECT_EQ(back.userPwd + back.recordPath + back.micName, v.userPwd + v.recordPath + v.micName);
  EXPECT_EQ(back.capRect, v.capRect);
  EXPECT_TRUE(back.lockCap && back.record && !back.audioMix);
  EXPECT_EQ(back.resolutionList, v.resolutionList);
  EXPECT_EQ(back.fileList, v.fileList);
  EXPECT_FALSE(config.Save(dir.path()));  // a save that cannot land says so
}

}  // namespace
