// Arbitrary bytes as user_config.xml. Whatever loads must save and load back
// to the same settings; whatever does not load (not XML, beyond the size
// limit) leaves the defaults, and is never written over.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/FileAccess.h"
#include "app/UserConfig.h"
#include "tests/app/fuzz_scratch_folder.h"

namespace {

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
  const std::string input = FuzzScratchFolder() + "/input.xml";
  const std::string output = FuzzScratchFolder() + "/user_config.xml";
  {
    std::ofstream file(input, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  CUserConfig config(FuzzScratchFolder(), 1920, 1080);
  const CUserConfig::LoadResult result = config.Load(input);
  if (size > kMaxSettingsFileBytes && result != CUserConfig::LoadResult::kDamaged) __builtin_trap();
  if (result == CUserConfig::LoadResult::kDamaged) {
    if (config.Save(input) || config.SaveIfChanged(input)) __builtin_trap();
    if (!SameStored(config.Get(), CUserConfig(FuzzScratchFolder(), 1920, 1080).Get())) __builtin_trap();
  }
  if (!config.Save(output)) __builtin_trap();
  CUserConfig again(FuzzScratchFolder(), 1920, 1080);
  again.Load(output);
  if (!SameStored(config.Get(), again.Get())) __builtin_trap();
  return 0;
}
