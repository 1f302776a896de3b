// A host compiled elsewhere calls the manager through its virtual table, so
// every operation must sit in its agreed slot. Under the Itanium C++ ABI a
// pointer to a virtual member function holds 1 + the slot's byte offset.
#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "strivon/IRtmpPublishManager.h"

namespace {

template <typename MemberFunction>
size_t SlotOf(MemberFunction function) {
  static_assert(sizeof(function) == 2 * sizeof(uintptr_t));
  uintptr_t words[2];
  memcpy(words, &function, sizeof words);
  EXPECT_EQ(words[0] % sizeof(void*), 1u) << "not a virtual function";
  return (words[0] - 1) / sizeof(void*);
}

#define EXPECT_SLOT(Class, name, slot) EXPECT_EQ(SlotOf(&Class::name), size_t{slot}) << #name

TEST(SlotOrder, ManagerInterfaceHasItsFiftyThreeOperationsInOrder) {
  using M = IRtmpPublishManager;
  EXPECT_SLOT(M, SendCmd, 0);
  EXPECT_SLOT(M, SetVideoSource, 1);
  EXPECT_SLOT(M, StartPublish, 2);
  EXPECT_SLOT(M, StopPublish, 3);
  EXPECT_SLOT(M, changeToScreen, 4);
  EXPECT_SLOT(M, setCaptrueArea, 5);
  EXPECT_SLOT(M, ShowCaptureFrame, 6);
  EXPECT_SLOT(M, IsCaptureFrameShown, 7);
  EXPECT_SLOT(M, ScreenCaptureAuxA, 8);
  EXPECT_SLOT(M, ScreenCaptureAuxB, 9);
  EXPECT_SLOT(M, SetCaptureWindow, 10);
  EXPECT_SLOT(M, changeToVexaFile, 11);
  EXPECT_SLOT(M, PlayFile, 12);
  EXPECT_SLOT(M, StopFile, 13);
  EXPECT_SLOT(M, PauseFile, 14);
  EXPECT_SLOT(M, SeekFile, 15);
  EXPECT_SLOT(M, SetFilePara, 16);
  EXPECT_SLOT(M, GetFilePosition, 17);
  EXPECT_SLOT(M, SetFileVolume, 18);
  EXPECT_SLOT(M, changeToCamera, 19);
  EXPECT_SLOT(M, EnableNoiseSuppression, 20);
  EXPECT_SLOT(M, SetNoiseSuppressionPara, 21);
  EXPECT_SLOT(M, SetAgcLevel, 22);
  EXPECT_SLOT(M, SetVideoBitrate, 23);
  EXPECT_SLOT(M, SetLogo, 24);
  EXPECT_SLOT(M, release, 25);
  EXPECT_SLOT(M, GetCamList, 26);
  EXPECT_SLOT(M, GetMicList, 27);
  EXPECT_SLOT(M, SetCam, 28);
  EXPECT_SLOT(M, SetMic, 29);
  EXPECT_SLOT(M, SetStereoMix, 30);
  EXPECT_SLOT(M, SetPublishAudioPara, 31);
  EXPECT_SLOT(M, SetPublishVideoPara, 32);
  EXPECT_SLOT(M, SetPublishUrl, 33);
  EXPECT_SLOT(M, SetPublishVolume, 34);
  EXPECT_SLOT(M, SetBackgroundVolume, 35);
  EXPECT_SLOT(M, GetInstalledPlayers, 36);
  EXPECT_SLOT(M, SelectPlayerName, 37);
  EXPECT_SLOT(M, EnableHookPlayer, 38);
  EXPECT_SLOT(M, SetHookVolume, 39);
  EXPECT_SLOT(M, SetHookFlag, 40);
  EXPECT_SLOT(M, ClearHookBuffer, 41);
  EXPECT_SLOT(M, SetUserID, 42);
  EXPECT_SLOT(M, SetRecordFilePath, 43);
  EXPECT_SLOT(M, EnableRecordFile, 44);
  EXPECT_SLOT(M, EnablePreviewRender, 45);
  EXPECT_SLOT(M, SetSYNBufTime, 46);
  EXPECT_SLOT(M, GetAudioPlayDevList, 47);
  EXPECT_SLOT(M, SetAudioPlayDev, 48);
  EXPECT_SLOT(M, IsNonZero, 49);
  EXPECT_SLOT(M, SetPublishUrlParts, 50);
  EXPECT_SLOT(M, ReservedFalse, 51);
  EXPECT_SLOT(M, ReservedNoop, 52);
}

TEST(SlotOrder, NotifyInterfaceHasItsFiveOperationsInOrder) {
  using N = IRtmpPublishManagerNotify;
  EXPECT_SLOT(N, OnMessage, 0);
  EXPECT_SLOT(N, OnStatus, 1);
  EXPECT_SLOT(N, OnSendStatistics, 2);
  EXPECT_SLOT(N, OnReservedPointer, 3);
  EXPECT_SLOT(N, OnReservedInt, 4);
}

// Neither interface may carry a destructor slot or anything beyond its
// operations: a class deriving from it starts its own slots right after.
struct AfterManager : IRtmpPublishManager {
  virtual void Next() = 0;
};
struct AfterNotify : IRtmpPublishManagerNotify {
  virtual void Next() = 0;
};

TEST(SlotOrder, NothingFollowsTheLastOperation) {
  EXPECT_SLOT(AfterManager, Next, 53);
  EXPECT_SLOT(AfterNotify, Next, 5);
}

}  // namespace
