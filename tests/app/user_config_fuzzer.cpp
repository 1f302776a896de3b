// Arbitrary bytes as user_config.xml. Whatever loads must save and load back
// to the same settings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/UserConfig.h"

namespace {

// Memory-backed when possible: every input is written and read as a file.
struct ScratchFolder {
  ScratchFolder() {
    for (const char* base : {"/dev/shm", "/tmp"}) {
      std::string pattern = std::string(base) + "/user-config-fuzz-XXXXXX";
      if (::mkdtemp(pattern.data())) {
        path = pattern;
        return;
      }
    }
    std::abort();
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

const std::string& Folder() {
  static ScratchFolder folder;
  return folder.path;
}

bool SameStored(const UserConfigValues& a, const UserConfigValues& b) {
  return a.micName == b.micName && a.camName == b.camName && a.recordPath == b.recordPath &&
         a.outResolution == b.outResolution && a.roomId == b.roomId && a.userPwd == b.userPwd &&
         a.userId == b.userId && a.fileList == b.fileList && a.resolutionList == b.resolutionList &&
         a.capRect == b.capRect && a.volume == b.volume && a.transparence == b.transparence &&
         a.volMagnify == b.volMagnify && a.lockCap == b.lockCap && a.antiNoise == b.antiNoise &&
         a.audioMix == b.audioMix && a.record == b.record &&
         a.selectResolutionIndex == b.selectResolutionIndex && a.lockMode == b.lockMode;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = Folder() + "/input.xml";
  const std::string output = Folder() + "/user_config.xml";
  {
    std::ofstream file(input, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  CUserConfig config(Folder(), 1920, 1080);
  config.Load(input);
  if (!config.Save(output)) __builtin_trap();
  CUserConfig again(Folder(), 1920, 1080);
  again.Load(output);
  if (!SameStored(config.Get(), again.Get())) __builtin_trap();
  return 0;
}
