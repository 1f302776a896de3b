// The program-wide user configuration and where its file lives.
#include <X11/Xlib.h>

#include "app/ProgramFolder.h"
#include "app/UserConfig.h"

namespace {

struct ScreenSize {
  int width, height;
};

// The root window spans every monitor, like the virtual screen the size lists
// were designed for. Without a display the lists are those of a small screen.
ScreenSize VirtualScreenSize() {
  ScreenSize size{1280, 720};
  if (Display* display = XOpenDisplay(nullptr)) {
    Screen* screen = DefaultScreenOfDisplay(display);
    size = {WidthOfScreen(screen), HeightOfScreen(screen)};
    XCloseDisplay(display);
  }
  return size;
}

// Saved once more when the process ends, so changes made after the main
// window's own save are not lost.
struct ProgramUserConfig {
  ProgramUserConfig() : ProgramUserConfig(VirtualScreenSize()) {}
  explicit ProgramUserConfig(ScreenSize screen) : config(GetProgramFolder(), screen.width, screen.height) {}
  ~ProgramUserConfig() { config.Save(UserConfigPath()); }
  CUserConfig config;
};

}  // namespace

std::string UserConfigPath() { return GetProgramFolder() + "/user_config.xml"; }

CUserConfig& TheUserConfig() {
  static ProgramUserConfig program;
  return program.config;
}
