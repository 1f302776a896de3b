#include "strivon/JsonReply.h"

#include <cstring>
#include <memory>

#include <json/reader.h>
#include <json/writer.h>

namespace {

constexpr const char* kReasonReplyTooLong = "reply too long.";

// The styled writer is jsoncpp's older interface; its layout (nested values
// opened on the key's line, short arrays on one line) is the one hosts read.
std::string Styled(const Json::Value& value) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  Json::StyledWriter writer;
  return writer.write(value);
#pragma GCC diagnostic pop
}

}  // namespace

bool ReadJsonRequest(const std::string& text, Json::Value* root) {
  try {
    Json::CharReaderBuilder builder;
    builder["stackLimit"] = kMaxRequestDepth;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(text.data(), text.data() + text.size(), root, &errors);
  } catch (...) {
    // The reader throws when the nesting limit is hit.
    return false;
  }
}

std::string WriteReply(int code, const Json::Value& data) {
  Json::Value reply(Json::objectValue);
  reply["code"] = code;
  reply["data"] = data;
  return Styled(reply);
}

std::string WriteEvent(const char* cmd, const Json::Value& params) {
  Json::Value event(Json::objectValue);
  event["cmd"] = cmd;
  event["params"] = params;
  return Styled(event);
}

std::string FailureReply(const std::string& reason) {
  Json::Value data(Json::objectValue);
  data["reason"] = reason;
  return WriteReply(1, data);
}

bool CopyReplyToBuffer(const std::string& reply, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return false;
  if (reply.size() < size) {
    memcpy(buffer, reply.data(), reply.size());
    buffer[reply.size()] = '\0';
    return true;
  }
  const std::string shortReply = FailureReply(kReasonReplyTooLong);
  const size_t length = shortReply.size() < size ? shortReply.size() : 0;
  memcpy(buffer, shortReply.data(), length);
  buffer[length] = '\0';
  return false;
}

bool ReadBoolParam(const Json::Value& params, const char* key, bool* out) {
  const Json::Value& value = params[key];
  if (!value.isConvertibleTo(Json::booleanValue)) return false;
  *out = value.asBool();
  return true;
}

bool ReadIntParam(const Json::Value& params, const char* key, int* out) {
  const Json::Value& value = params[key];
  if (!value.isConvertibleTo(Json::intValue)) return false;
  *out = value.asInt();
  return true;
}

bool ReadTextParam(const Json::Value& params, const char* key, std::string* out) {
  const Json::Value& value = params[key];
  if (!value.isConvertibleTo(Json::stringValue)) return false;
  *out = value.asString();
  return true;
}
