#include "program/VelmoraMain.h"

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <cstdio>
#include <memory>
#include <string>

#include "program/DisplayCheck.h"
#include "app/PublishParams.h"
#include "app/UserConfig.h"
#include "platform/duilib/paint_manager.h"
#include "platform/duilib/qt_start.h"
#include "ui/MainWnd.h"
#include "ui/QtTranslations.h"

namespace {

// The two program-wide objects exist before the entry point, publish
// parameters first; the user configuration makes the "video" folder. They
// are torn down in the reverse order, the configuration saving once more.
const bool g_programObjects = [] {
  ThePublishParams();
  TheUserConfig();
  return true;
}();

constexpr const char* kSkinRoot = ":/skin";

void Fail(const std::string& what) { std::fprintf(stderr, "Velmora: %s\n", what.c_str()); }

}  // namespace

void InitSkinResources() { CPaintManagerUI::SetResourcePath(kSkinRoot); }

int RunVelmora(int argc, char** argv) {
  (void)g_programObjects;
  std::string why;
  if (!DisplayUsable(&why)) {
    Fail(why);
    return 1;
  }
  PrepareQtForWindows();
  QApplication app(argc, argv);
  InstallQtTranslations();
  // The sizes the capture frame offers depend on the screen, known only now.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect all = screen->virtualGeometry();
    UseScreenSize(all.width(), all.height());
  }
  InitSkinResources();
  if (!QFile::exists(QString::fromStdString(CPaintManagerUI::ResolvePath("skin.xml")))) {
    Fail("the skin is missing from the program");
    return 1;
  }

  auto mainWnd = std::make_unique<CMainWnd>();
  // Created hidden: the main window shows itself when the login succeeds.
  if (!mainWnd->Create(0, L"transwnd", UI_WNDSTYLE_FRAME & ~WS_VISIBLE, 0, 0, 0, 990, 690)) {
    Fail("the main window could not be made: " + mainWnd->GetCreateError());
    return 1;
  }
  if (!mainWnd->StartupError().empty()) {
    Fail(mainWnd->StartupError());
    return 1;
  }
  mainWnd->CenterWindow();
  mainWnd->ShowWindow(false, true);
  CPaintManagerUI::MessageLoop();
  // The main window stops the library and joins every thread it started,
  // before the configuration's last save at static teardown.
  mainWnd.reset();
  return 0;
}
