// The program-wide user configuration and where its file lives.
#include <atomic>

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
// window's own save are not lost; a save that would only repeat the main
// window's is skipped, and a program that never loaded the file (it could
// not start) writes nothing.
struct ProgramUserConfig {
  ProgramUserConfig() : ProgramUserConfig(kFallbackScreen) {}
  explicit ProgramUserConfig(ScreenSize screen) : config(GetProgramFolder(), screen.width, screen.height) {}
  ~ProgramUserConfig() {
    if (loaded) config.SaveIfChanged(UserConfigPath());
  }
  CUserConfig config;
  std::atomic<bool> loaded{false};
};

ProgramUserConfig& Program() {
  static ProgramUserConfig program;
  return program;
}

}  // namespace

std::string UserConfigPath() { return GetProgramFolder() + "/user_config.xml"; }

CUserConfig& TheUserConfig() { return Program().config; }

ProgramConfigLoad LoadProgramUserConfig() {
  ProgramUserConfig& program = Program();
  const std::string path = UserConfigPath();
  ProgramConfigLoad load;
  load.result = program.config.Load(path);
  // Kept aside before anything is saved: the defaults go into a new file and
  // the damaged one stays for the presenter (or support) to look at.
  if (load.result == CUserConfig::LoadResult::kDamaged) load.keptAs = program.config.SetAsideDamaged(path);
  program.loaded = true;
  return load;
}

bool SaveProgramUserConfig() {
  ProgramUserConfig& program = Program();
  return program.loaded && program.config.Save(UserConfigPath());
}

void UseScreenSize(int width, int height) {
  if (width <= 0 || height <= 0) return;
  UserConfigValues values = TheUserConfig().Get();
  values.captureSizeList = CaptureSizesFor(width, height);
  TheUserConfig().Set(values);
}
