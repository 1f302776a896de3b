// Arbitrary host text through the JSON command channel: every reply must be
// a terminated text inside the program's buffer. Half the inputs are sent as
// they are; the other half become the params of a real command word, so the
// handlers see hostile parameters without the fuzzer having to find the
// words first.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "strivon/RtmpPublishManager.h"

namespace {

const char* const kWords[] = {"GetSdkVersion",   "SetShowSpectrum", "SetAutoCtrlBitrate", "GetPlayerList",
                              "ScreenCaptureSettings", "SetCaptureArea", "SetVBRQuality", "SetBframeCount",
                              "SetAbrQmin",      "Set_rf_constant", "changeToVexaFile"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static IRtmpPublishManager* manager = CreateRtmpPublishManagerWith(nullptr, ManagerFactories());
  std::string request;
  if (size > 0 && (data[0] & 1)) {
    const char* word = kWords[(data[0] >> 1) % (sizeof kWords / sizeof kWords[0])];
    request = std::string("{\"cmd\":\"") + word + "\",\"params\":" +
              std::string(reinterpret_cast<const char*>(data + 1), size - 1) + "}";
  } else {
    request.assign(reinterpret_cast<const char*>(data), size);
  }
  char buffer[kSendCmdReplyBufferSize];
  memset(buffer, 'X', sizeof buffer);
  char* out = buffer;
  manager->SendCmd(request.c_str(), &out);
  if (memchr(buffer, '\0', sizeof buffer) == nullptr) __builtin_trap();
  return 0;
}
