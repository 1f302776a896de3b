#include "ui/LoginReply.h"

#include <json/json.h>

#include <climits>
#include <memory>
#include <stdexcept>

#include "app/LeadingInt.h"
#include "app/PublishParamRanges.h"

namespace {

// A field the reply holds in a form the login cannot read.
struct UnreadableField : std::runtime_error {
  using std::runtime_error::runtime_error;
};

bool Present(const Json::Value& root, const char* key) { return root.isMember(key) && !root[key].isNull(); }

// Text keys take numbers and booleans as their text; arrays and objects
// cannot be read.
void ReadText(const Json::Value& root, const char* key, std::string& out) {
  if (!Present(root, key)) return;
  const Json::Value& value = root[key];
  if (value.isArray() || value.isObject()) throw UnreadableField(key);
  out = value.asString();
}

// Number keys arrive as JSON strings holding decimal numbers; anything else
// is unreadable. Kilobit values are scaled, saturating instead of wrapping.
void ReadNumber(const Json::Value& root, const char* key, int& out, int factor = 1) {
  if (!Present(root, key)) return;
  const Json::Value& value = root[key];
  if (!value.isString()) throw UnreadableField(key);
  const long long scaled = static_cast<long long>(ParseLeadingInt(value.asString())) * factor;
  out = static_cast<int>(scaled > INT_MAX ? INT_MAX : scaled < INT_MIN ? INT_MIN : scaled);
}

void RemoveBackslashes(std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '\\') out.push_back(c);
  }
  text = out;
}

LoginFields ReadFields(const Json::Value& root) {
  LoginFields f;
  ReadText(root, "ChatUrl", f.chatUrl);
  RemoveBackslashes(f.chatUrl);
  ReadText(root, "Uin", f.uin);
  ReadText(root, "ChatTabName", f.chatTabName);
  ReadText(root, "PubUrlPub", f.pubUrlPub);
  ReadText(root, "Domain", f.domain);
  ReadText(root, "PublishRoomInfo", f.publishRoomInfo);
  ReadText(root, "StrKey", f.strKey);
  ReadText(root, "PubWay", f.pubWay);
  ReadText(root, "stream", f.stream);
  int unused = 0;
  ReadNumber(root, "ADSampleRate", f.adSampleRate);
  ReadNumber(root, "ADChannels", unused);
  ReadNumber(root, "ADBitperSample", f.adBitperSample);
  ReadNumber(root, "ADBitRate", f.adBitRate, 1000);
  ReadNumber(root, "ADVolum", unused);
  ReadNumber(root, "VDFPS", f.vdFps);
  ReadNumber(root, "VFFPS", f.vfFps);
  ReadNumber(root, "VCFPS", f.vcFps);
  ReadNumber(root, "VDBitRate", f.vdBitRate, 1000);
  ReadNumber(root, "VDIntervalSecond", f.vdIntervalSecond);
  ReadNumber(root, "BFrameCount", f.bFrameCount);
  ReadText(root, "MaxOutResolution", f.maxOutResolution);
  ReadNumber(root, "VBRQuality", f.vbrQuality);
  ReadNumber(root, "VFBitRate", f.vfBitRate, 1000);
  ReadNumber(root, "VBRFQuality", f.vbrFQuality);
  ReadNumber(root, "VCBitRate", f.vcBitRate, 1000);
  ReadNumber(root, "CQuality", f.cQuality);
  return f;
}

// The fields into the parameters as the service sent them.
void ApplyFieldsAsSent(const LoginFields& f, PublishParamValues& p) {
  if (!f.chatTabName.empty()) p.strChatTabName = f.chatTabName;
  p.strChatUrl = f.chatUrl;
  p.PublishRoomInfo = f.publishRoomInfo;
  p.strmqPubUrlPub = f.pubUrlPub;
  p.strDomain = (!f.domain.empty() && f.domain[0] == '.') ? f.domain : "." + f.domain;
  p.StrKey = f.strKey;
  p.PubWay = f.pubWay;
  p.stream = f.stream;
  p.ADSampleRate = f.adSampleRate;
  p.ADBitperSample = f.adBitperSample;
  p.ADBitRate = f.adBitRate;
  p.VDFPS = f.vdFps;
  p.VFFPS = f.vfFps;
  p.VCFPS = f.vcFps;
  p.VDBitRate = f.vdBitRate;
  p.VFBitRate = f.vfBitRate;
  p.VCBitRate = f.vcBitRate;
  p.VDIntervalSencond = f.vdIntervalSecond;
  p.BFrameCount = f.bFrameCount;
  p.VDInterval = 0;
  // "W*H"; without a usable size the cache file's own fallback applies, so
  // no output size is ever above a 0x0 limit.
  const auto star = f.maxOutResolution.find('*');
  const int width = ParseLeadingInt(std::string_view(f.maxOutResolution).substr(0, star));
  const int height =
      star == std::string::npos ? width : ParseLeadingInt(std::string_view(f.maxOutResolution).substr(star + 1));
  p.MaxVDWidth = width > 0 && height > 0 ? width : 1280;
  p.MaxVDHeight = width > 0 && height > 0 ? height : 720;
  if (f.vbrQuality > 0) {
    p.bVBR = true;
    p.Quality = f.vbrQuality;
  }
  if (f.vbrFQuality >= 1) p.FQuality = f.vbrFQuality;
  if (f.cQuality >= 1) p.CQuality = f.cQuality;
}

}  // namespace

LoginReply InterpretLoginReply(const std::string& text) {
  LoginReply reply;
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string errors;
  try {
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors) || !root.isObject()) return reply;
    const Json::Value& flag = root["Flag"];
    // Compared as a JSON integer: "100" as a string is not a login.
    if (!flag.isInt()) return reply;
    switch (flag.asInt()) {
      case 104: reply.outcome = LoginOutcome::kFrozen; return reply;
      case 102:
      case 103: reply.outcome = LoginOutcome::kBadCredentials; return reply;
      case 100: break;
      default: return reply;
    }
    reply.fields = ReadFields(root);
    reply.outcome = LoginOutcome::kSuccess;
  } catch (const std::exception&) {
    reply.outcome = LoginOutcome::kMalformed;
  }
  return reply;
}

void ApplyLoginFields(const LoginFields& f, PublishParamValues& p) {
  // A number out of what the library and its encoders accept takes the
  // value an absent key would have given.
  PublishParamValues defaults = p;
  ApplyFieldsAsSent(LoginFields(), defaults);
  ApplyFieldsAsSent(f, p);
  KeepPublishParamsInRange(&p, defaults, "login reply");
}

const wchar_t* LoginOutcomeText(LoginOutcome outcome) {
  switch (outcome) {
    case LoginOutcome::kFrozen: return L"当前用户已经被冻结！";
    case LoginOutcome::kBadCredentials: return L"用户名或者密码错误！";
    case LoginOutcome::kFailed: return L"请求数据失败！";
    case LoginOutcome::kMalformed: return L"请求数据解析异常,请检查设置参数！";
    case LoginOutcome::kSuccess: break;
  }
  return L"";
}
