// The device list over virtual devices: all five categories, the playback
// filter rule, bad category codes, the apartment failure and lists that
// change threads.
#include <gtest/gtest.h>

#include <thread>

#include "capture/IDeviceList.h"
#include "platform/dshow/com.h"
#include "tests/capture/thread_runner.h"
#include "tests/capture/virtual_env.h"

namespace {

using capture_test::Mic;
using capture_test::Named;
using dshow::VirtualKind;

struct RecordingNotify : IDeviceListNotfiy {
  void OnDeviceListNotify(int l, int, HRESULT h, const wchar_t* t) override {
    level = l;
    hr = h;
    text = t ? t : L"";
  }
  int level = -1;
  HRESULT hr = S_OK;
  std::wstring text;
};

using Names = std::vector<std::wstring>;

class DeviceListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    baseline_ = dshow::LiveObjectCount();
    auto dsound = Named(VirtualKind::AudioRenderer, L"Speakers (DirectSound)");
    auto own = Named(VirtualKind::AudioRenderer, L"Pellix Audio Render");
    own.directSound = false;
    auto ownLower = Named(VirtualKind::AudioRenderer, L"pellix audio render");
    ownLower.directSound = false;
    auto waveOut = Named(VirtualKind::AudioRenderer, L"Speakers (WaveOut)");
    waveOut.directSound = false;
    auto camera = Named(VirtualKind::VideoInput, L"Test Pattern Camera");
    dshow::SetVirtualDevices({camera, Mic(L"Mic A"), Mic(L"Mic A"), Mic(L"Line In"), dsound, own, ownLower,
                              waveOut, Named(VirtualKind::AudioCompressor, L"PCM Codec"),
                              Named(VirtualKind::VideoCompressor, L"Pattern Codec")});
  }
  void TearDown() override {
    dshow::SetVirtualDevices({});
    EXPECT_EQ(baseline_, dshow::LiveObjectCount());
  }
  long baseline_ = 0;
};

TEST_F(DeviceListTest, ListsEveryCategoryInEnumerationOrderIntoOneReusedList) {
  IDeviceList* list = CreateDeviceList(nullptr);
  ASSERT_NE(nullptr, list);
  Names* cams = list->GetList(0);
  ASSERT_NE(nullptr, cams);
  EXPECT_EQ(Names{L"Test Pattern Camera"}, *cams);
  // Identical devices stay separate entries: the captures count on that.
  EXPECT_EQ((Names{L"Mic A", L"Mic A", L"Line In"}), *list->GetList(1));
  // Only DirectSound renderers and the maker's own renderer (exact case).
  EXPECT_EQ((Names{L"Speakers (DirectSound)", L"Pellix Audio Render"}), *list->GetList(2));
  EXPECT_EQ(Names{L"PCM Codec"}, *list->GetList(3));
  Names* codecs = list->GetList(4);
  EXPECT_EQ(Names{L"Pattern Codec"}, *codecs);
  EXPECT_EQ(cams, codecs) << "one list, refilled by every call";
  list->Release();
}

TEST_F(DeviceListTest, BadCodesGiveNullAndKeepTheListAndEmptyCategoriesGiveAnEmptyList) {
  IDeviceList* list = CreateDeviceList(nullptr);
  ASSERT_NE(nullptr, list);
  Names* mics = list->GetList(1);
  EXPECT_EQ(nullptr, list->GetList(5));
  EXPECT_EQ(nullptr, list->GetList(-1));
  EXPECT_EQ(3u, mics->size());
  dshow::SetVirtualDevices({});
  Names* none = list->GetList(0);
  ASSERT_NE(nullptr, none);
  EXPECT_TRUE(none->empty());
  EXPECT_TRUE(list->GetDeviceList(nullptr)->empty());
  list->Release();
}

TEST_F(DeviceListTest, CreationOnAMultithreadedApartmentFailsWithANotice) {
  std::thread([] {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    RecordingNotify notify;
    EXPECT_EQ(nullptr, CreateDeviceList(&notify));
    EXPECT_EQ(2, notify.level);
    EXPECT_EQ(RPC_E_CHANGED_MODE, notify.hr);
    EXPECT_EQ(L"com初始化错误", notify.text);
    // The failed creation must not have undone this thread's own initialisation.
    EXPECT_EQ(1, CoInitializeDepth());
    CoUninitialize();
    // Without a notify interface it just fails.
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_EQ(nullptr, CreateDeviceList(nullptr));
    CoUninitialize();
  }).join();
}

TEST_F(DeviceListTest, CreateAndReleaseKeepTheApartmentBalanced) {
  std::thread([] {
    IDeviceList* a = CreateDeviceList(nullptr);
    IDeviceList* b = CreateDeviceList(nullptr);
    EXPECT_EQ(2, CoInitializeDepth());
    a->Release();
    b->Release();
    EXPECT_EQ(0, CoInitializeDepth());
  }).join();
}

// The manager makes its lists on one thread and may use and release them on
// another: each thread's count ends where it began, a count the releasing
// thread holds for itself survives, and the list works on either thread.
TEST_F(DeviceListTest, AListMadeOnOneThreadAndReleasedOnAnotherLeavesBothCountsAsTheyWere) {
  capture_test::ThreadRunner maker, releaser;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    const bool releaserHoldsItsOwn = round == 2;
    IDeviceList* list = nullptr;
    maker.Run([&] {
      list = CreateDeviceList(nullptr);
      EXPECT_EQ(1, CoInitializeDepth());
    });
    ASSERT_NE(nullptr, list);
    releaser.Run([&] {
      if (releaserHoldsItsOwn) {
        EXPECT_EQ(S_OK, CoInitialize(nullptr));
      }
      EXPECT_EQ(3u, list->GetList(1)->size()) << "the list works on the releasing thread";
      list->Release();
      EXPECT_EQ(releaserHoldsItsOwn ? 1 : 0, CoInitializeDepth());
      if (releaserHoldsItsOwn) CoUninitialize();
    });
    maker.Run([] { EXPECT_EQ(0, CoInitializeDepth()); });
  }
  for (capture_test::ThreadRunner* runner : {&maker, &releaser}) {
    runner->Run([] {
      IDeviceList* list = CreateDeviceList(nullptr);
      ASSERT_NE(nullptr, list);
      EXPECT_EQ(3u, list->GetList(1)->size());
      list->Release();
      EXPECT_EQ(0, CoInitializeDepth());
    });
  }
}

}  // namespace
