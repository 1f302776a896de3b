// The capture frame's three modes as the frame counts them (1 free, 2 lock,
// 3 ratio) and as user_config.xml saves them (m_lockMode: 0 free, 1 lock,
// 2 ratio). Every window that moves between the two goes through these
// conversions, so the numbering lives in one place.
#pragma once
#include "ui/CaptureDlg.h"

// m_lockMode values.
constexpr int kSavedModeFree = 0;
constexpr int kSavedModeLock = 1;
constexpr int kSavedModeRatio = 2;

// An unknown saved value (a hand-edited file) means free: the frame then
// keeps its size and stays resizable.
constexpr int CaptureFrameModeFromSaved(int savedMode) {
  switch (savedMode) {
    case kSavedModeLock:
      return CCaptureDlg::kModeLock;
    case kSavedModeRatio:
      return CCaptureDlg::kModeRatio;
    default:
      return CCaptureDlg::kModeFree;
  }
}

constexpr int SavedModeFromCaptureFrame(int frameMode) {
  switch (frameMode) {
    case CCaptureDlg::kModeLock:
      return kSavedModeLock;
    case CCaptureDlg::kModeRatio:
      return kSavedModeRatio;
    default:
      return kSavedModeFree;
  }
}
