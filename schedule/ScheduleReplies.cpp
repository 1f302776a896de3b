#include "schedule/ScheduleReplies.h"

#include <json/json.h>

#include <exception>
#include <memory>

#include "oldpublic/IHttpConnect.h"

namespace {

bool Parse(const std::string& body, Json::Value* root) {
  if (body.empty() || body.size() > kMaxHttpReplyBytes) return false;
  Json::CharReaderBuilder builder;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  return reader->parse(body.data(), body.data() + body.size(), root, &errors) && root->isObject();
}

bool IsTrue(const Json::Value& v) {
  if (v.isBool()) return v.asBool();
  if (v.isNumeric()) return v.asDouble() != 0;
  return false;
}

}  // namespace

std::vector<ScheduleServer> ParseCandidates(const std::string& body) {
  std::vector<ScheduleServer> servers;
  try {
    Json::Value root;
    if (!Parse(body, &root) || !IsTrue(root["success"])) return {};
    const Json::Value& list = root["Servers"];
    if (!list.isObject()) return {};
    const Json::Value& publish = list["Publish"];
    if (!publish.isArray()) return {};
    for (const Json::Value& item : publish) {
      if (servers.size() == kMaxScheduleCandidates) break;
      if (!item.isObject() || !item["IP"].isString() || !item["RtmpPort"].isUInt() || !item["TcpPort"].isUInt() ||
          !item["HttpPort"].isUInt() || !IsPlainHost(item["IP"].asString()))
        return {};
      servers.push_back({item["IP"].asString(), std::to_string(item["RtmpPort"].asUInt()),
                         std::to_string(item["TcpPort"].asUInt()), std::to_string(item["HttpPort"].asUInt())});
    }
  } catch (const std::exception&) {
    return {};
  }
  return servers;
}

bool IsPlainHost(const std::string& host) {
  if (host.empty() || host.size() > 253) return false;
  for (unsigned char c : host) {
    if (c <= ' ' || c >= 0x7f) return false;
    switch (c) {
      case '/': case '?': case '#': case '@': case ':': case '\\': case '"': case '%':
        return false;
      default:
        break;
    }
  }
  return true;
}

bool ParsePublishAddress(const std::string& body, ScheduleResult* out) {
  try {
    Json::Value root;
    if (!Parse(body, &root) || !IsTrue(root["success"])) return false;
    const Json::Value& addr = root["addr"];
    if (!addr.isObject()) return false;
    const Json::Value& ip = addr["IP"];
    const Json::Value& port = addr["RtmpPort"];
    const Json::Value& mode = addr["Mode"];
    const Json::Value& client = addr["ClientIP"];
    const Json::Value& time = addr["Time"];
    if (!ip.isString() || !port.isInt() || !(mode.isNull() || mode.isString()) ||
        !(client.isNull() || client.isString()) || !(time.isNull() || time.isUInt()))
      return false;
    const int portNumber = port.asInt();
    if (portNumber < 1 || portNumber > 65535 || !IsPlainHost(ip.asString())) return false;
    ScheduleResult result;
    result.IP = ip.asString();
    result.RtmpPort = std::to_string(portNumber);
    result.bTcp = mode.isString() && mode.asString() == "TCP" ? 1 : 0;
    if (client.isString()) result.ClientIP = client.asString();
    if (time.isUInt()) result.Time = static_cast<int>(time.asUInt());
    *out = result;
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string BuildListInfo(const std::vector<TimedServer>& servers) {
  if (servers.empty()) return std::string();
  Json::Value list(Json::arrayValue);
  for (const TimedServer& s : servers) {
    Json::Value item;
    item["IP"] = s.IP;
    item["HttpPort"] = std::atoi(s.HttpPort.c_str());
    item["Ping"] = s.pingMs;
    list.append(item);
  }
  // The service reads the styled form (three-blank indentation, keys in
  // order), so that exact writer is kept.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  Json::StyledWriter writer;
  return writer.write(list);
#pragma GCC diagnostic pop
}

std::string EscapeUrl(const std::string& url) {
  std::string out;
  out.reserve(url.size());
  for (char c : url) {
    if (c == ' ')
      out += "%20";
    else if (c == '"')
      out += "%22";
    else if (c != '\x07' && c != '\n')
      out += c;
  }
  return out;
}

std::string BuildAddressRequest(const ServerPath& first, const std::string& listInfo, int mode) {
  std::string url = "http://" + first.host + ":" + first.port + "/?cmd=RtmpSvrAddrRequest";
  for (size_t i = 1; i < first.params.size(); ++i) url += "&" + first.params[i];
  url += "&listInfo=" + listInfo;
  url += std::string("&bPublish=") + (mode == 0 ? "true" : "false");
  return EscapeUrl(url);
}
