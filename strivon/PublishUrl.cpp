#include "strivon/PublishUrl.h"

#include "common/Md5.h"

namespace {

std::string TextOrEmpty(const char* text) { return text ? std::string(text) : std::string(); }

std::string SchedulingRequestUrl(const std::string& hostPart, const PublishTarget& target) {
  return "http://" + hostPart + "/?cmd=SchedulingRequest_version2&app=" + PercentEncode(target.app) +
         "&stream=" + PercentEncode(target.stream);
}

}  // namespace

const std::map<std::string, std::pair<int, int>>& PublishProtocolMap() {
  static const std::map<std::string, std::pair<int, int>> map = {
      {"rtmp", {kRouteDirect, kTransportTcp}},
      {"rtmpUDP", {kRouteDirect, kTransportUdp}},
      {"httpRtmp", {kRouteScheduled, kTransportTcp}},
      {"httpRtmpUDP", {kRouteScheduled, kTransportUdp}},
  };
  return map;
}

void ApplyPublishUrl(PublishTarget* target, const char* url, const char* app, const char* stream) {
  const std::string urlText = TextOrEmpty(url);
  target->app = TextOrEmpty(app);
  target->stream = TextOrEmpty(stream);
  if (urlText.empty() || target->app.empty() || target->stream.empty()) return;

  // The key rides in the application name after "?"; a name without one
  // leaves the previous key in force.
  const size_t question = target->app.find('?');
  if (question != std::string::npos) {
    target->key = target->app.substr(question + 1);
    target->app.erase(question);
  }

  const size_t schemeEnd = urlText.find("://");
  if (schemeEnd == std::string::npos) {
    target->route = kRouteScheduled;
    target->transport = kTransportUdp;
    target->storedUrl = SchedulingRequestUrl(urlText, *target);
    return;
  }
  const std::string word = urlText.substr(0, schemeEnd);
  const std::string rest = urlText.substr(schemeEnd + 3);
  const auto& map = PublishProtocolMap();
  target->protocolWord = word;
  const auto row = map.find(word);
  if (row != map.end()) {
    target->route = row->second.first;
    target->transport = row->second.second;
    target->storedUrl = target->route == kRouteDirect ? urlText : SchedulingRequestUrl(rest, *target);
  } else if (word == "http" || word == "HTTP") {
    target->route = kRouteScheduled;
    target->transport = kTransportUdp;
    target->storedUrl = SchedulingRequestUrl(rest, *target);
  }
  // Any other word leaves the previous route and URL in force.
}

std::string BuildConnectUrl(const PublishTarget& target, const ConnectTarget& connect, int64_t unixSeconds) {
  std::string signature;
  if (!target.key.empty()) {
    const std::string t = std::to_string(static_cast<int32_t>(static_cast<uint32_t>(unixSeconds)));
    signature = "?k=" + MD5(target.key + t).HexDigest() + "&t=" + t;
  }
  if (connect.forward) {
    return "rtmp://" + connect.serverAddress + ":" + connect.serverPort + "/" + target.app + "/" + target.stream;
  }
  if (target.route == kRouteScheduled) {
    return std::string(connect.udp ? "rtmpUDP://" : "rtmp://") + connect.serverAddress + ":" + connect.serverPort +
           "/" + target.app + signature + "/" + target.stream;
  }
  if (target.route == kRouteDirect) return target.storedUrl + "/" + target.app + signature + "/" + target.stream;
  return std::string();
}
