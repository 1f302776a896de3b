#include "app/ProxyJsonCommand.h"

#include <cstring>
#include <string>

#include <json/writer.h>

ProxyReplyBuffer::ProxyReplyBuffer() { Clear(); }

char* ProxyReplyBuffer::Clear() {
  std::memset(m_bytes, 0, sizeof m_bytes);
  return m_bytes;
}

void SendJsonCommand(IRtmpPublishManager* manager, ProxyReplyBuffer* reply, const char* command,
                     const Json::Value& params) {
  if (!manager) return;
  std::string text;
  try {
    Json::Value request(Json::objectValue);
    request["cmd"] = command;
    request["params"] = params;
    text = Json::StyledWriter().write(request);
  } catch (...) {
    // Only memory exhaustion throws here; the command is then not sent.
    return;
  }
  char* buffer = reply->Clear();
  manager->SendCmd(text.c_str(), &buffer);
}
