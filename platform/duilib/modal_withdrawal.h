// Takes a modal window back from the window manager before Qt hides it.
// Hiding a modal window, Qt's X11 platform looks for the window now under
// the cursor by walking down the window tree from the root. Under a
// reparenting window manager that walk meets the frame of the very window
// being hidden, which the manager tears down at the same moment; a request on
// the vanished frame prints "XCB error: 3 (BadWindow)". Withdrawn first, and
// its frame gone, the window leaves the walk only windows that stay.
//
// CWindowWnd does this for the program's skinned windows; Qt's own dialogs
// (file, folder, message box) are made as WithdrawnBeforeHide<...>. Nothing
// is done without a window manager, or for a window that is not modal or not
// shown. GUI thread only.
#pragma once
#include <QWidget>

void WithdrawModalBeforeHide(QWidget* window);

// A Qt dialog whose every ending (a button, Escape, the window manager's
// close) withdraws it before the dialog hides itself.
template <typename Dialog>
class WithdrawnBeforeHide : public Dialog {
 public:
  using Dialog::Dialog;

  void done(int result) override {
    WithdrawModalBeforeHide(this);
    Dialog::done(result);
  }
};
