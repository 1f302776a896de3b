// Creating and releasing the manager, and the operations of the manager
// itself that need no publish run.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "manager_test_support.h"
#include "platform/outside/OutsideDoubles.h"
#include "strivon/SdkVersion.h"
#include "tests/support/temp_dir.h"

namespace {

using strivon_status::kRelease;

TEST(ManagerLifecycle, ReleaseReportsOnceAndDestroys) {
  RecordingNotify notify;
  std::shared_ptr<int> releases;
  IRtmpPublishManager* manager =
      MakeManager(&notify, DeviceNames{{L"C"}, {L"M"}, {}}, true, &releases).release();
  ASSERT_NE(manager, nullptr);
  manager->release();
  EXPECT_EQ(notify.CountStatus(0, kRelease), 1);
  EXPECT_EQ(notify.statuses.size(), 1u);
  EXPECT_EQ(*releases, 1);
}

TEST(ManagerLifecycle, WithoutNotifyEverythingWorksSilently) {
  ManagerPtr manager = MakeManager(nullptr, DeviceNames{{L"C"}, {L"M"}, {}});
  std::vector<char> buffer(kSendCmdReplyBufferSize, 0);
  char* out = buffer.data();
  EXPECT_TRUE(manager->SendCmd(R"({"cmd":"GetSdkVersion","params":{}})", &out));
  EXPECT_NE(std::string(buffer.data()).find("\"code\" : 0"), std::string::npos);
  EXPECT_EQ(manager->SetMic(0), 0);
}

TEST(ManagerLifecycle, ReleaseFromInsideACallbackIsRefused) {
  RecordingNotify notify;
  IRtmpPublishManager* manager = MakeManager(&notify, DeviceNames{{L"C"}, {}, {}}).release();
  int attempts = 0;
  notify.onStatus = [&](int, const std::string&) {
    ++attempts;
    manager->release();  // refused: must neither deadlock nor destroy
  };
  const wchar_t* dummy[1] = {L"x"};
  const wchar_t** names = dummy;
  unsigned count = 0;
  EXPECT_EQ(manager->GetCamList(&names, &count), 0);
  EXPECT_EQ(attempts, 1);
  EXPECT_EQ(notify.CountStatus(0, kRelease), 0);
  // Still alive: it answers.
  EXPECT_EQ(manager->SetCam(0), 0);

  manager->release();  // its own "release" report tries again, and is refused
  EXPECT_EQ(attempts, 2);
  EXPECT_EQ(notify.CountStatus(0, kRelease), 1);
}

TEST(ManagerLifecycle, OperationsWithoutState) {
  ManagerPtr manager = MakeManager(nullptr);
  RtmpPublishManager* m = Concrete(manager);
  EXPECT_FALSE(manager->ReservedFalse());
  EXPECT_TRUE(manager->IsNonZero(5));
  EXPECT_TRUE(manager->IsNonZero(-1));
  EXPECT_FALSE(manager->IsNonZero(0));
  std::list<std::string> players{"kept"};
  EXPECT_TRUE(manager->GetInstalledPlayers(&players));
  EXPECT_EQ(players, std::list<std::string>{"kept"});

  const VideoParams before = m->Video();
  manager->SetSYNBufTime(1, 2, 3);
  manager->ReservedNoop(1, 2);
  manager->SetVideoBitrate(500000, 20);  // no encoder yet: nothing changes
  EXPECT_EQ(m->Video().bitrate, before.bitrate);
  EXPECT_EQ(m->Encoder().vbrQuality, -1);
}

TEST(ManagerLifecycle, OperationsWithoutARunAnswerAsWithNothingOpen) {
  RecordingNotify notify;
  ManagerPtr manager = MakeManager(&notify);
  EXPECT_FALSE(manager->StopPublish());
  EXPECT_EQ(manager->GetFilePosition(), -1);
  EXPECT_FALSE(manager->PlayFile());
  EXPECT_FALSE(manager->IsCaptureFrameShown());
  manager->ClearHookBuffer();
  EXPECT_TRUE(notify.statuses.empty());
  // No camera in the list: the switch says so and opens nothing.
  manager->changeToCamera(0, 15, 0);
  EXPECT_EQ(notify.CountStatus(0, "Cam ID wrong, ID:-1, Cam sum:0"), 1);
}

// The filter opens the logo with nothing to end a blocked open: a FIFO held
// SetLogo for good.
TEST(ManagerLifecycle, ALogoThatIsNotARegularFileIsRefusedBeforeAFilterOpensIt) {
  OutsideDoubles doubles;
  ManagerPtr manager = MakeManager(nullptr);
  test_support::TempDir dir("strivon-logo");
  const std::string fifo = dir.File("logo.png");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, dir.path(), dir.File("missing.png")})
    EXPECT_EQ(manager->SetLogo(path.c_str(), 0, 10, 10, 0), -1) << path;
  EXPECT_TRUE(doubles.filters().empty());
  const std::string image = dir.File("image.png");
  ASSERT_TRUE(test_support::WriteFileBytes(image, "png"));
  EXPECT_EQ(manager->SetLogo(image.c_str(), 0, 10, 10, 0), 0);
  EXPECT_EQ(doubles.filters().size(), 1u);
}

TEST(SdkVersion, FileTimeIsFormattedAsFourteenDigitsOfLocalTime) {
  EXPECT_EQ(FileTimeVersionString(""), "");
  EXPECT_EQ(FileTimeVersionString("/no/such/file"), "");
  const std::string version = FileTimeVersionString("/");
  ASSERT_EQ(version.size(), 14u);
  EXPECT_GE(version.substr(0, 4), "1970");
}

}  // namespace
