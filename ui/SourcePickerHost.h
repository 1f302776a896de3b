// What the source pickers need from the window that opens them (the main
// window): applying a capture size chosen by the presenter and switching the
// published source. Called on the GUI thread only.
#pragma once
#include <string>

class ISourcePickerHost {
 public:
  enum SourceKind { kSourceDesktop = 1, kSourceMediaFile = 2, kSourceCamera = 3 };

  virtual ~ISourcePickerHost() = default;
  // text is an entry of the capture-size list: "width x height" or "全屏".
  virtual void ApplyCaptureSize(const std::wstring& text) = 0;
  virtual void SwitchSource(int kind) = 0;
};
