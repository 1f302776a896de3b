// Arbitrary bytes as the login service's reply, and as a typed user name:
// the reply is judged without throwing or crashing, a login never leaves a
// 0x0 output limit or an undotted domain, and the name never escapes its
// query value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ui/LoginReply.h"
#include "ui/LoginRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const LoginReply reply = InterpretLoginReply(text);
  if (reply.outcome == LoginOutcome::kSuccess) {
    PublishParamValues params;
    ApplyLoginFields(reply.fields, params);
    if (params.MaxVDWidth <= 0 || params.MaxVDHeight <= 0) std::abort();
    if (params.strDomain.empty() || params.strDomain[0] != '.') std::abort();
    if (params.strChatUrl.find('\\') != std::string::npos) std::abort();
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
