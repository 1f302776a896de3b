// leaking_window [--leak]: shows and paints a window on the X server the way
// the program makes its own, then ends; with --leak it first loses an
// allocation of its own. Run by the leak check of the address build, which
// must fail the second run and pass the first.
#include <QApplication>
#include <QWidget>
#include <QWindow>
#include <cstring>

#include "platform/duilib/qt_start.h"

namespace {

char* volatile g_lastAllocation = nullptr;

// Out of line and named, so the leak report can be told apart.
__attribute__((noinline)) void LoseAnAllocationOnPurpose() {
  g_lastAllocation = new char[96];
  std::memset(g_lastAllocation, 1, 96);
  g_lastAllocation = nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const bool leak = argc == 2 && std::strcmp(argv[1], "--leak") == 0;
  if (argc > 1 && !leak) return 2;
  PrepareQtForWindows();
  QApplication application(argc, argv);
  QWidget window;
  window.resize(200, 100);
  window.show();
  while (!window.windowHandle() || !window.windowHandle()->isExposed())
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  window.repaint();
  QApplication::processEvents();
  if (leak) LoseAnAllocationOnPurpose();
  return 0;
}
