// Arbitrary bytes as an INI file: the per-account parameters load (within the
// ranges the library takes; a file beyond the size limit is refused),
// lookups answer, and a write changes exactly the key it names, whatever the
// file held.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/FileAccess.h"
#include "app/IniFile.h"
#include "app/PublishParams.h"
#include "tests/app/fuzz_scratch_folder.h"

namespace {

std::string OneLine(std::string value) {
  for (char& c : value)
    if (c == '\r' || c == '\n') c = ' ';
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string path = FuzzScratchFolder() + "/account";
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  CPublishParams params;
  ReadFileResult result = ReadFileResult::kRead;
  const bool read = params.LoadIni(path, &result);
  if (size > kMaxSettingsFileBytes) {
    if (read || result != ReadFileResult::kTooLarge) __builtin_trap();
    return 0;
  }
  if (!read) __builtin_trap();
  const PublishParamValues loaded = params.Get();
  const bool aacRate = loaded.ADSampleRate == 24000 || loaded.ADSampleRate == 32000 || loaded.ADSampleRate == 44100 ||
                       loaded.ADSampleRate == 48000;
  if (!aacRate || loaded.VDFPS < 1 || loaded.VDFPS > 60 || loaded.VCFPS < 1 || loaded.VCFPS > 60 ||
      loaded.BFrameCount < 0 || loaded.BFrameCount > 16 || loaded.MaxVDWidth < 1 || loaded.MaxVDWidth > 1920 ||
      loaded.MaxVDHeight < 1 || loaded.MaxVDHeight > 1080)
    __builtin_trap();
  if (loaded.bVBR != (IniGetString(path, "VideoParam", "bVBR", "") == "True" ||
                      IniGetString(path, "VideoParam", "bVBR", "") == "true"))
    __builtin_trap();
  const int storedFps = IniGetInt(path, "videoparam", "VDFPS", 7);
  if (loaded.VDFPS != (storedFps >= 1 && storedFps <= 60 ? storedFps : 7)) __builtin_trap();

  // The last bytes, as a value from outside, go into a key of the file.
  const std::string value = bytes.substr(bytes.size() / 2);
  IniDocument doc = IniDocument::Parse(bytes);
  const auto url = doc.Find("PARAMS", "URL");
  const auto fps = doc.Find("VideoParam", "VDFPS");
  if (!doc.Set("VideoParam", "stream", value)) __builtin_trap();
  const IniDocument reread = IniDocument::Parse(doc.Serialize());
  if (reread.Find("VideoParam", "stream") != OneLine(value)) __builtin_trap();
  if (reread.Find("PARAMS", "URL") != url || reread.Find("VideoParam", "VDFPS") != fps) __builtin_trap();
  return 0;
}
