// The earlier builds name a web page when they connect: nginx-rtmp hands
// what the client sent in its connect command to an HTTP callback, so the
// server's own reading of the packet is checked.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "RtmpLib/jni/IRtmpLib.h"
#include "tests/rtmp/recording_notify.h"
#include "tests/support/fake_http_server.h"
#include "tests/support/nginx_rtmp.h"

namespace {

// A field of an url-encoded form body, decoded; "(absent)" when not there.
std::string FormField(const std::string& request, const std::string& name) {
  const size_t bodyStart = request.find("\r\n\r\n");
  const std::string body = bodyStart == std::string::npos ? "" : request.substr(bodyStart + 4);
  size_t at = 0;
  while (at <= body.size()) {
    size_t end = body.find('&', at);
    if (end == std::string::npos) end = body.size();
    const std::string pair = body.substr(at, end - at);
    if (pair.rfind(name + "=", 0) == 0) {
      std::string value;
      for (size_t i = name.size() + 1; i < pair.size(); ++i) {
        if (pair[i] == '%' && i + 2 < pair.size()) {
          value += static_cast<char>(std::stoi(pair.substr(i + 1, 2), nullptr, 16));
          i += 2;
        } else {
          value += pair[i] == '+' ? ' ' : pair[i];
        }
      }
      return value;
    }
    at = end + 1;
  }
  return "(absent)";
}

TEST(EarlierConnect, NginxSeesTheFixedSwfUrlAndNoPageUrl) {
  test_support::FakeHttpServer callback;
  ASSERT_TRUE(callback.Start([](const std::string&) { return test_support::HttpReply{}; }));
  test_support::NginxRtmp nginx;
  test_support::NginxRtmpOptions options;
  options.serverDirectives = "on_connect http://127.0.0.1:" + std::to_string(callback.port()) + "/connect;";
  ASSERT_TRUE(nginx.Start(options)) << nginx.error();

  RecordingNotify notify;
  std::unique_ptr<IRtmpLib, RtmpLibDeleter> client(CreateRtmpLib(&notify));
  ASSERT_TRUE(client->Connect(nginx.Url("page").c_str()));
  // The callback answered 200, so the connect goes on to publishing.
  EXPECT_TRUE(notify.WaitForWord("NetStream.Publish.Start", 10000));
  ASSERT_TRUE(callback.WaitForRequests(1, 10000));
  const std::string request = callback.WholeRequests().front();
  EXPECT_EQ(FormField(request, "call"), "connect") << request;
  EXPECT_EQ(FormField(request, "swfurl"), "http://www.example.com/demo.swf") << request;
  const std::string page = FormField(request, "pageurl");
  EXPECT_TRUE(page.empty() || page == "(absent)") << request;
}

}  // namespace
