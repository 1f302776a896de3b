// What the demo login service answers: it knows one account and hands out a
// publish address on a given RTMP server. Pure request-to-reply logic; the
// listener is in loopback_http.h.
#pragma once
#include <string>

struct DemoAccount {
  std::string user;
  std::string password;
  // rtmp://host[:port]/application/stream; the host must hold a dot, since
  // the program rebuilds it from two reply fields joined by one.
  std::string rtmpUrl;
  std::string maxOutResolution = "1920*1080";
};

// The reply fields that carry the publish address, split as the program
// joins them again: PubUrlPub + "." + Domain is the host with its port.
struct PublishAddressFields {
  std::string pubUrlPub, domain, application, stream;
};
// False when the URL is not of the form above.
bool SplitRtmpUrl(const std::string& url, PublishAddressFields* out);

// The value of a query parameter of a request target ("/path?a=1&b=2"),
// percent-decoded; false when the parameter is absent.
bool QueryParameter(const std::string& target, const std::string& name, std::string* value);

// The JSON reply to a request target: Flag 100 with the publish parameters
// for the account with the right password digest, 102 for an unknown user,
// 103 for a wrong password, and 101 for a request that is no login at all.
std::string AnswerLogin(const DemoAccount& account, const std::string& target);
