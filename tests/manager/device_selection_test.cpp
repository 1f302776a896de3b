// Device lists handed to the host and the selection of one device of each kind.
#include <gtest/gtest.h>

#include "manager_test_support.h"

namespace {

using strivon_status::kGetAudioPlayDevListLeak;
using strivon_status::kGetCamListLeak;
using strivon_status::kGetMicListLeak;

class DeviceSelectionTest : public ::testing::Test {
 protected:
  RecordingNotify notify;
  ManagerPtr manager = MakeManager(&notify, DeviceNames{{L"Cam"}, {L"A", L"B", L"A"}, {L"O1", L"O2", L"O3"}});
  RtmpPublishManager* m = Concrete(manager);
};

TEST_F(DeviceSelectionTest, DuplicateNamesRecordCountAndOccurrence) {
  EXPECT_EQ(m->SetMic(2), 0);
  DeviceSelection mic = m->Selected(DeviceKind::kMicrophone);
  EXPECT_EQ(mic.position, 2);
  EXPECT_EQ(mic.sameNameCount, 2);
  EXPECT_EQ(mic.occurrence, 1);
  EXPECT_EQ(mic.name, L"A");

  EXPECT_EQ(m->SetMic(1), 0);
  mic = m->Selected(DeviceKind::kMicrophone);
  EXPECT_EQ(mic.sameNameCount, 1);
  EXPECT_EQ(mic.occurrence, 0);

  EXPECT_EQ(m->SetMic(0), 0);
  EXPECT_EQ(m->Selected(DeviceKind::kMicrophone).occurrence, 0);
  EXPECT_EQ(m->Selected(DeviceKind::kMicrophone).sameNameCount, 2);
}

TEST_F(DeviceSelectionTest, OutOfRangeIndicesChangeNothing) {
  EXPECT_EQ(m->SetMic(2), 0);
  for (int index : {3, -1, 1 << 30}) {
    EXPECT_EQ(m->SetMic(index), -1);
    EXPECT_EQ(m->SetCam(index), -1);
    EXPECT_EQ(m->SetAudioPlayDev(index), -1);
  }
  EXPECT_EQ(m->SetCam(1), -1);
  EXPECT_EQ(m->Selected(DeviceKind::kMicrophone).position, 2);
  EXPECT_EQ(m->Selected(DeviceKind::kCamera).position, -1);
  EXPECT_EQ(m->SetAudioPlayDev(2), 0);
  EXPECT_EQ(m->Selected(DeviceKind::kAudioOutput).name, L"O3");
}

TEST_F(DeviceSelectionTest, ListsGiveTheNamesAndTheSameArrayEveryTime) {
  const wchar_t** outs = nullptr;
  unsigned count = 0;
  ASSERT_EQ(m->GetAudioPlayDevList(&outs, &count), 0);
  ASSERT_EQ(count, 3u);
  EXPECT_STREQ(outs[0], L"O1");
  EXPECT_STREQ(outs[2], L"O3");

  const wchar_t** again = nullptr;
  ASSERT_EQ(m->GetAudioPlayDevList(&again, &count), 0);
  EXPECT_EQ(again, outs);

  const wchar_t** mics = nullptr;
  ASSERT_EQ(m->GetMicList(&mics, &count), 0);
  EXPECT_EQ(count, 3u);
  EXPECT_STREQ(mics[1], L"B");
  EXPECT_TRUE(notify.statuses.empty());
}

TEST_F(DeviceSelectionTest, NonNullArrayIsReportedAsPossibleLeakAndRefused) {
  const wchar_t* dummy[1] = {L"x"};
  const wchar_t** names = dummy;
  unsigned count = 77;
  EXPECT_EQ(m->GetMicList(&names, &count), 0);
  EXPECT_EQ(names, dummy);
  EXPECT_EQ(count, 77u);
  EXPECT_EQ(m->GetCamList(&names, &count), 0);
  EXPECT_EQ(m->GetAudioPlayDevList(&names, &count), 0);
  EXPECT_EQ(notify.CountStatus(1, kGetMicListLeak), 1);
  EXPECT_EQ(notify.CountStatus(1, kGetCamListLeak), 1);
  EXPECT_EQ(notify.CountStatus(1, kGetAudioPlayDevListLeak), 1);
  EXPECT_EQ(notify.statuses.size(), 3u);
}

TEST_F(DeviceSelectionTest, NullArgumentsAreRefused) {
  const wchar_t** names = nullptr;
  unsigned count = 5;
  EXPECT_EQ(m->GetCamList(nullptr, &count), -1);
  EXPECT_EQ(m->GetMicList(&names, nullptr), -1);
  EXPECT_EQ(m->GetAudioPlayDevList(nullptr, nullptr), -1);
  EXPECT_EQ(count, 5u);
}

TEST(DeviceLists, WithoutAnEnumeratorListsAreEmptyButValid) {
  RecordingNotify notify;
  ManagerPtr manager = MakeManager(&notify, {}, false);
  const wchar_t** names = nullptr;
  unsigned count = 9;
  EXPECT_EQ(manager->GetCamList(&names, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_NE(names, nullptr);
  EXPECT_EQ(manager->SetCam(0), -1);
  EXPECT_EQ(manager->SetMic(0), -1);
  EXPECT_EQ(manager->SetAudioPlayDev(0), -1);
}

TEST(DeviceLists, LeakNoticeWithoutNotifyIsSilent) {
  ManagerPtr manager = MakeManager(nullptr, DeviceNames{{L"C"}, {}, {}});
  const wchar_t* dummy[1] = {L"x"};
  const wchar_t** names = dummy;
  unsigned count = 0;
  EXPECT_EQ(manager->GetCamList(&names, &count), 0);
}

TEST(DeviceLists, StereoMixChoiceIsStoredWithoutACapture) {
  ManagerPtr manager = MakeManager(nullptr);
  RtmpPublishManager* m = Concrete(manager);
  EXPECT_EQ(m->StereoMixChoice(), 0);
  EXPECT_EQ(m->SetStereoMix(true), 0);
  EXPECT_EQ(m->StereoMixChoice(), 1);
  EXPECT_EQ(m->SetStereoMix(false), 0);
  EXPECT_EQ(m->StereoMixChoice(), -1);
}

TEST(DeviceLists, DeviceListIsReleasedWithTheManager) {
  std::shared_ptr<int> releases;
  ManagerPtr manager = MakeManager(nullptr, DeviceNames{{L"C"}, {}, {}}, true, &releases);
  ASSERT_TRUE(releases);
  EXPECT_EQ(*releases, 0);
  manager.reset();
  EXPECT_EQ(*releases, 1);
}

}  // namespace

namespace {

TEST(DeviceLists, NamesReachTheCapturesAsUtf8) {
  EXPECT_EQ(RtmpPublishManager::WideToAnsiString(L"Mikrofon \u00e4 \u9ea6\u514b\u98ce"),
            "Mikrofon \xC3\xA4 \xE9\xBA\xA6\xE5\x85\x8B\xE9\xA3\x8E");
  EXPECT_EQ(RtmpPublishManager::WideToAnsiString(L""), "");
}

}  // namespace
