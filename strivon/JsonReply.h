// Reading JSON requests and writing JSON replies and events for the
// manager's command channel. Requests are untrusted host text: reading never
// throws and stops at a fixed nesting depth. Replies {"code": 0|1, "data":
// ...} and events {"cmd": word, "params": ...} are written in jsoncpp's
// styled form (sorted keys, three-space indent, newline at the end).
#pragma once
#include <cstddef>
#include <string>

#include <json/value.h>

inline constexpr const char* kReasonNotJson = "cmd must be json format.";
inline constexpr const char* kReasonNoCmd = "cmd can not be null.";
inline constexpr const char* kReasonParamsNotObject = "params must be object.";
inline constexpr const char* kReasonNoVersion = "no version.";
inline constexpr const char* kReasonBframeCountOutOfRange = "BframeCount must be 0..16.";

// Deepest nesting a request may have; commands use two levels.
inline constexpr int kMaxRequestDepth = 64;

// False for text that is not JSON (or nests deeper than kMaxRequestDepth).
bool ReadJsonRequest(const std::string& text, Json::Value* root);

std::string WriteReply(int code, const Json::Value& data);
std::string FailureReply(const std::string& reason);
// The text of an event for IRtmpPublishManagerNotify::OnMessage.
std::string WriteEvent(const char* cmd, const Json::Value& params);

// Copies reply into buffer[0..size) with a terminating zero. A reply that
// does not fit is replaced by a short failure reply rather than cut, so the
// host never parses truncated JSON; false in that case.
bool CopyReplyToBuffer(const std::string& reply, char* buffer, size_t size);

// Typed reads of one member of a params object. An absent member reads as
// JSON null does (false, 0, ""); false only for a value of a type that
// cannot stand for the wanted one.
bool ReadBoolParam(const Json::Value& params, const char* key, bool* out);
bool ReadIntParam(const Json::Value& params, const char* key, int* out);
bool ReadTextParam(const Json::Value& params, const char* key, std::string* out);
