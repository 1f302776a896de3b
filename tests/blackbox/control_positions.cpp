// control_positions <skin folder> <layout file> <width> <height> [<tabs>=<page>|<name>=shown|hidden]... <name>...
// Lays a skin out with the program's own window layer, offscreen, at the
// size its window has on screen, and prints "name left top right bottom"
// (window coordinates) for every named control it holds. The black-box tests
// click where this says a button is, so a changed layout moves the clicks
// with it. A "<tabs>=<page>" argument first shows that page of the named
// tab layout, as the program does when the presenter picks it, so controls
// of a page other than the first get their real places; "<name>=shown" and
// "<name>=hidden" show or hide a control, as the program does for a choice
// (the typed-size edits in place of the size list). Exits 1 when the layout
// does not load or a name is missing.
#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/duilib/layout_loader.h"
#include "platform/duilib/paint_manager.h"

namespace {

// Controls that only the program itself makes (a video host) still take
// their place in the layout.
struct PlaceholderControls : IDialogBuilderCallback {
  std::unique_ptr<CControlUI> CreateControl(const std::wstring&) override {
    return std::make_unique<CControlUI>(new QWidget);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: control_positions <skin folder> <layout file> <width> <height> <name>...\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  CPaintManagerUI::SetResourcePath(argv[1]);
  PlaceholderControls placeholders;
  LoadedLayout layout;
  std::string error;
  if (!LoadLayoutFile(argv[2], &placeholders, layout, error)) {
    std::fprintf(stderr, "control_positions: %s\n", error.c_str());
    return 1;
  }
  QWidget window;
  CPaintManagerUI manager;
  manager.Init(0, &window);
  manager.AttachRoot(std::move(layout.root));
  int status = 0;
  int first = 5;
  for (; first < argc; ++first) {
    const char* equals = std::strchr(argv[first], '=');
    if (!equals) break;
    const QString tabsName = QString::fromUtf8(argv[first], static_cast<int>(equals - argv[first]));
    const bool show = std::strcmp(equals + 1, "shown") == 0;
    if (show || std::strcmp(equals + 1, "hidden") == 0) {
      CControlUI* control = manager.FindControl(tabsName.toStdWString());
      if (!control) {
        std::fprintf(stderr, "control_positions: no control %s\n", argv[first]);
        return 1;
      }
      control->SetVisible(show);
      continue;
    }
    auto* tabs = dynamic_cast<CTabLayoutUI*>(manager.FindControl(tabsName.toStdWString()));
    if (!tabs || !tabs->SelectItem(std::atoi(equals + 1))) {
      std::fprintf(stderr, "control_positions: no page %s\n", argv[first]);
      return 1;
    }
  }
  // Pages are chosen before the window is laid out at its size.
  window.resize(std::atoi(argv[3]), std::atoi(argv[4]));
  window.show();
  QApplication::processEvents();
  for (int i = first; i < argc; ++i) {
    CControlUI* control = manager.FindControl(QString(argv[i]).toStdWString());
    if (!control) {
      std::fprintf(stderr, "control_positions: no control named %s\n", argv[i]);
      status = 1;
      continue;
    }
    const RECT r = control->GetPos();
    std::printf("%s %d %d %d %d\n", argv[i], static_cast<int>(r.left), static_cast<int>(r.top),
                static_cast<int>(r.right), static_cast<int>(r.bottom));
  }
  return status;
}
