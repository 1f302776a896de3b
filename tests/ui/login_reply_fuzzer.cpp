// Arbitrary bytes as the login service's reply (up to the size the HTTP
// client lets through), and as a typed user name: the reply is judged
// without throwing or crashing, a login never leaves a 0x0 output limit, an
// undotted domain or a number the library cannot take, and the name never
// escapes its query value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/HttpTransfer.h"
#include "ui/LoginReply.h"
#include "ui/LoginRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > HttpLimits().maxReplyBytes) return 0;  // never reaches the reply's reader
  const std::string text(reinterpret_cast<const char*>(data), size);
  const LoginReply reply = InterpretLoginReply(text);
  if (reply.outcome == LoginOutcome::kSuccess) {
    PublishParamValues params;
    ApplyLoginFields(reply.fields, params);
    if (params.MaxVDWidth <= 0 || params.MaxVDHeight <= 0) std::abort();
    if (params.strDomain.empty() || params.strDomain[0] != '.') std::abort();
    if (params.strChatUrl.find('\\') != std::string::npos) std::abort();
    if (params.MaxVDWidth > 1920 || params.MaxVDHeight > 1080 || params.VDFPS < 1 || params.VDFPS > 60 ||
        params.VFFPS < 1 || params.VFFPS > 60 || params.VCFPS < 1 || params.VCFPS > 60 || params.BFrameCount < 0 ||
        params.BFrameCount > 16 || params.ADBitperSample != 16)
      std::abort();
    const int rate = params.ADSampleRate;
    if (rate != 24000 && rate != 32000 && rate != 44100 && rate != 48000) std::abort();
  }
  const std::string url = BuildLoginUrl("http://h/l?", text, text, 0);
  const std::string prefix = "http://h/l?&a=getStream&id=";
  const size_t end = url.find("&pwd=", prefix.size());
  if (url.compare(0, prefix.size(), prefix) != 0 || end == std::string::npos) std::abort();
  for (size_t i = prefix.size(); i < end; ++i) {
    const char c = url[i];
    const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                         c == '-' || c == '.' || c == '_' || c == '~' || c == '%';
    if (!allowed) std::abort();
  }
  return 0;
}
