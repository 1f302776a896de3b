// The program-wide user configuration and where its file lives.
#include "app/ProgramFolder.h"
#include "app/UserConfig.h"

namespace {

struct ScreenSize {
  int width, height;
};

// The program-wide object is built before the program has a display
// connection; until the program tells it the real screen (UseScreenSize),
// the capture sizes are those of a small screen.
constexpr ScreenSize kFallbackScreen{1280, 720};

// Saved once more when the process ends, so changes made after the main
// window's own save are not lost.
struct ProgramUserConfig {
  ProgramUserConfig() : ProgramUserConfig(kFallbackScreen) {}
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

void UseScreenSize(int width, int height) {
  if (width <= 0 || height <= 0) return;
  UserConfigValues values = TheUserConfig().Get();
  values.captureSizeList = CaptureSizesFor(width, height);
  TheUserConfig().Set(values);
}
