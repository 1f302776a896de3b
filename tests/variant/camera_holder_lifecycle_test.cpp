// The picture-in-picture camera holds a device: it is let go when the mode
// ends, before another camera opens and when the manager goes.
#include <gtest/gtest.h>

#include <set>

#include "tests/manager/manager_test_support.h"

namespace {

struct Cameras {
  std::set<IVideoCaptureNotify*> open;  // the owners of the captures alive
  std::vector<std::pair<int, int>> sizes;
};

class FakeCapture final : public IVideoCapture {
 public:
  FakeCapture(Cameras* cameras, IVideoCaptureNotify* owner) : m_cameras(cameras), m_owner(owner) {
    m_cameras->open.insert(owner);
  }
  bool Start() override { return true; }
  bool Stop() override { return true; }
  int GetId() override { return 0; }
  void SetAudioLevel(const short*, int) override {}
  void EnableLevelBar(const bool*) override {}
  void Release() override {
    m_cameras->open.erase(m_owner);
    delete this;
  }

 private:
  Cameras* m_cameras;
  IVideoCaptureNotify* m_owner;
};

TEST(CameraHolder, ItsCameraIsReleasedWhenPictureInPictureEndsOrAnotherCameraOpens) {
  Cameras cameras;
  RecordingNotify notify;
  ManagerFactories factories;
  factories.createDeviceList = [](IDeviceListNotfiy*) -> IDeviceList* {
    return new FakeDeviceList({L"Cam"}, {}, {});
  };
  factories.createVideoCapture = [&cameras](IVideoCaptureNotify* owner, int, const char*, int, int, int* width,
                                            int* height, int*, bool* ok, std::string*) -> IVideoCapture* {
    cameras.sizes.emplace_back(*width, *height);
    *ok = true;
    return new FakeCapture(&cameras, owner);
  };
  factories.createPictureCompositor = &CreatePictureCompositor;
  ManagerPtr manager(CreateRtmpPublishManagerWith(&notify, std::move(factories)));
  ASSERT_NE(manager, nullptr);
  IVideoCaptureNotify* const managerSink = Concrete(manager);
  manager->SetPublishVideoPara(640, 360, 25, 800000, 0, 50);

  manager->changeToCameraIn(0, 25, 50, 1);
  ASSERT_EQ(cameras.open.size(), 1u) << "only the holder's camera";
  EXPECT_EQ(cameras.open.count(managerSink), 0u);
  EXPECT_EQ(cameras.sizes.back(), std::make_pair(480, 270));

  manager->changeToScreen(25, 50);
  EXPECT_TRUE(cameras.open.empty());

  manager->changeToCameraIn(0, 25, 50, 0);
  ASSERT_EQ(cameras.open.size(), 1u);
  EXPECT_EQ(cameras.sizes.back(), std::make_pair(640, 360)) << "camera main fills the output";
  manager->changeToCamera(0, 25, 50);
  ASSERT_EQ(cameras.open.size(), 1u);
  EXPECT_EQ(cameras.open.count(managerSink), 1u) << "the holder let go before the manager's camera opened";

  manager->changeToCameraIn(0, 25, 50, 1);
  EXPECT_EQ(cameras.open.size(), 1u);
  manager.reset();
  EXPECT_TRUE(cameras.open.empty());
}

}  // namespace
