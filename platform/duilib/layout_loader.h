// Builds a window's control tree from its XML layout. The format:
//   <Window size="w,h" caption="left,top,right,bottom">
//     <VerticalLayout> <Label name="..." text="..." textcolor="#FF00FF00"/> ...
// with one root control inside Window. Tags: Control, Container,
// VerticalLayout, HorizontalLayout, TabLayout, Label, Text, Button, Option,
// Edit, Slider, Progress, List, Combo (holding ListLabelElement items). A
// tag the library does not know is offered to the window's CreateControl.
#pragma once
#include <memory>
#include <string>

#include "platform/duilib/control.h"

class IDialogBuilderCallback {
 public:
  virtual ~IDialogBuilderCallback() = default;
  // A control for a tag the library does not know, or null.
  virtual std::unique_ptr<CControlUI> CreateControl(const std::wstring& tag) = 0;
};

struct LoadedLayout {
  std::unique_ptr<CControlUI> root;
  SIZE size{0, 0};
  RECT caption{0, 0, 0, 0};
};

// The skin file is found under the resource folder. On failure error says
// what and where, and nothing is returned.
bool LoadLayoutFile(const std::string& skinFile, IDialogBuilderCallback* callback, LoadedLayout& out,
                    std::string& error);
// The same from text in memory; name only labels the errors.
bool LoadLayoutText(const std::string& xml, const std::string& name, IDialogBuilderCallback* callback,
                    LoadedLayout& out, std::string& error);
