// strivon_devices: prints the devices the library sees, the same lists the
// publish manager offers its host (cameras, recording inputs, playback
// devices, and the two compressor categories), one name per line with its
// index. Handy for checking which names to pass as camera or microphone.
//
//   strivon_devices            all five categories
//   strivon_devices 1          only recording inputs (codes as in GetList)
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "capture/IDeviceList.h"
#include "capture/TextConvert.h"

namespace {

const char* const kTitles[] = {"video inputs", "audio inputs", "audio renderers", "audio compressors",
                               "video compressors"};

void PrintCategory(IDeviceList* list, int code) {
  const std::vector<std::wstring>* names = list->GetList(code);
  std::printf("%s (%d):\n", kTitles[code], code);
  if (!names || names->empty()) {
    std::printf("  (none)\n");
    return;
  }
  for (size_t i = 0; i < names->size(); ++i) std::printf("  [%zu] %s\n", i, WideToAnsi((*names)[i]).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  int only = -1;
  if (argc > 2 || (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0))) {
    std::fprintf(stderr, "usage: %s [category 0-4]\n", argv[0]);
    return 2;
  }
  if (argc == 2) {
    char* end = nullptr;
    const long v = std::strtol(argv[1], &end, 10);
    if (!end || *end || v < 0 || v > 4) {
      std::fprintf(stderr, "category must be 0 (video inputs) .. 4 (video compressors)\n");
      return 2;
    }
    only = static_cast<int>(v);
  }
  IDeviceList* list = CreateDeviceList(nullptr);
  if (!list) {
    std::fprintf(stderr, "device list unavailable\n");
    return 1;
  }
  for (int code = 0; code < 5; ++code)
    if (only < 0 || only == code) PrintCategory(list, code);
  list->Release();
  return 0;
}
