#include "tools/demo_account_service/demo_account.h"

#include <json/json.h>

#include "common/Md5.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

std::string Reply(const Json::Value& value) {
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  return Json::writeString(writer, value);
}

Json::Value FlagOnly(int flag) {
  Json::Value value(Json::objectValue);
  value["Flag"] = flag;
  return value;
}

}  // namespace

bool SplitRtmpUrl(const std::string& url, PublishAddressFields* out) {
  static const std::string kScheme = "rtmp://";
  if (url.compare(0, kScheme.size(), kScheme) != 0) return false;
  const std::string rest = url.substr(kScheme.size());
  const size_t appStart = rest.find('/');
  if (appStart == std::string::npos) return false;
  const size_t streamStart = rest.find('/', appStart + 1);
  if (streamStart == std::string::npos) return false;
  const std::string hostPort = rest.substr(0, appStart);
  const std::string host = hostPort.substr(0, hostPort.find(':'));
  const size_t dot = host.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == host.size()) return false;
  out->pubUrlPub = hostPort.substr(0, dot);
  out->domain = hostPort.substr(dot + 1);
  out->application = rest.substr(appStart + 1, streamStart - appStart - 1);
  out->stream = rest.substr(streamStart + 1);
  return !out->application.empty() && !out->stream.empty() && out->stream.find('/') == std::string::npos;
}

bool QueryParameter(const std::string& target, const std::string& name, std::string* value) {
  const size_t query = target.find('?');
  if (query == std::string::npos) return false;
  size_t start = query + 1;
  while (start <= target.size()) {
    size_t end = target.find('&', start);
    if (end == std::string::npos) end = target.size();
    const std::string pair = target.substr(start, end - start);
    const size_t equals = pair.find('=');
    if (pair.substr(0, equals) == name) {
      *value = equals == std::string::npos ? std::string() : PercentDecode(pair.substr(equals + 1));
      return true;
    }
    start = end + 1;
  }
  return false;
}

std::string AnswerLogin(const DemoAccount& account, const std::string& target) {
  std::string action, user, digest;
  if (!QueryParameter(target, "a", &action) || action != "getStream" || !QueryParameter(target, "id", &user) ||
      !QueryParameter(target, "pwd", &digest))
    return Reply(FlagOnly(101));
  if (user != account.user) return Reply(FlagOnly(102));
  if (digest != MD5(account.password).HexDigest()) return Reply(FlagOnly(103));
  PublishAddressFields address;
  if (!SplitRtmpUrl(account.rtmpUrl, &address)) return Reply(FlagOnly(101));

  Json::Value value = FlagOnly(100);
  value["Uin"] = "10001";
  value["PubUrlPub"] = address.pubUrlPub;
  value["Domain"] = address.domain;
  value["PublishRoomInfo"] = address.application;
  value["stream"] = address.stream;
  value["PubWay"] = "rtmp";
  // The program reads every number from a JSON string; rates in kbit/s.
  value["ADSampleRate"] = "44100";
  value["ADBitperSample"] = "16";
  value["ADBitRate"] = "64";
  value["VDFPS"] = "15";
  value["VFFPS"] = "25";
  value["VCFPS"] = "15";
  value["VDBitRate"] = "800";
  value["VFBitRate"] = "800";
  value["VCBitRate"] = "600";
  value["VDIntervalSecond"] = "3";
  value["BFrameCount"] = "0";
  value["MaxOutResolution"] = account.maxOutResolution;
  return Reply(value);
}
