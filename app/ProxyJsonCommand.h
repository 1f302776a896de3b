// Sends one JSON command {"cmd": word, "params": object} to the publish
// manager's text channel, in jsoncpp's styled form. The caller owns the reply
// buffer (kSendCmdReplyBufferSize bytes) and reuses it for a series of
// commands; the reply is not read.
#pragma once
#include <json/value.h>

#include "strivon/IRtmpPublishManager.h"

class ProxyReplyBuffer {
 public:
  ProxyReplyBuffer();
  // Zero-filled before every command, so no earlier reply shows through.
  char* Clear();

 private:
  char m_bytes[kSendCmdReplyBufferSize];
};

void SendJsonCommand(IRtmpPublishManager* manager, ProxyReplyBuffer* reply, const char* command,
                     const Json::Value& params);
