// The program's HTTP client against the fake HTTP server on loopback: what
// the server receives, which replies count as failures, whole bodies, blanks
// in URLs, redirects, and the time-outs that end a dead exchange.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>

#include "tests/app/http_test_support.h"
#include "tests/support/free_port.h"
#include "tests/support/process_memory.h"
#include "tests/support/tls_server.h"

using app_test::Base;
using app_test::LimitedHttp;
using app_test::Raw;
using app_test::ShortLimitHttp;
using test_support::FakeHttpServer;
using test_support::HttpReply;

namespace {

const std::wstring kFailure = L"发送请求失败，请检查网络";

HttpReply Echo(const std::string& target) { return HttpReply{200, "reply:" + target, false, {}}; }

std::string FirstLine(const std::string& text) { return text.substr(0, text.find("\r\n")); }
std::string Body(const std::string& text) { return text.substr(text.find("\r\n\r\n") + 4); }

}  // namespace

TEST(HttpRequest, GetAndPostReachTheServerAsSent) {
  FakeHttpServer server;
  ASSERT_TRUE(server.Start(Echo));
  auto http = ShortLimitHttp();
  const std::string host = "127.0.0.1:" + std::to_string(server.port());
  EXPECT_EQ(http->HttpRequestA(Base(server) + "/path?a=1&b=2", 1, "ignored", ""), "reply:/path?a=1&b=2");
  EXPECT_EQ(http->HttpRequestA(Base(server) + "/login", 2, "user=a&pwd=b", ""), "reply:/login");
  EXPECT_EQ(http->HttpRequestA(host + "/bare", 1, "", ""), "reply:/bare");
  // No path asks for "/", not for the previous request's path.
  EXPECT_EQ(http->HttpRequestA(Base(server), 1, "", ""), "reply:/");
  EXPECT_EQ(http->HttpRequestW(L"http://" + http->AnsiToUnicode(host) + L"/wide", 0, L"n=中文", L""), "reply:/wide");
  EXPECT_EQ(http->HttpRequestA(Base(server) + "/own", 1, "", "X-Own: 1\r\n\r\n"), "reply:/own");
  EXPECT_EQ(http->GetErrorText(), L"");

  const std::vector<std::string> seen = server.WholeRequests();
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(FirstLine(seen[0]), "GET /path?a=1&b=2 HTTP/1.1");
  EXPECT_NE(seen[0].find("\r\nHost: " + host + "\r\n"), std::string::npos) << seen[0];
  EXPECT_NE(seen[0].find("\r\nUser-Agent: Mozilla/5.0 (Windows NT 6.1; WOW64)"), std::string::npos);
  EXPECT_NE(seen[0].find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
  EXPECT_EQ(Body(seen[0]), "");
  EXPECT_EQ(FirstLine(seen[1]), "POST /login HTTP/1.1");
  EXPECT_EQ(Body(seen[1]), "user=a&pwd=b");
  EXPECT_EQ(FirstLine(seen[2]), "GET /bare HTTP/1.1");
  EXPECT_EQ(FirstLine(seen[4]), "POST /wide HTTP/1.1");
  EXPECT_NE(seen[4].find("\r\nnReferer: " + host + "\r\n"), std::string::npos) << seen[4];
  EXPECT_NE(seen[4].find("\r\nUser-Agent: Http-connect\r\n"), std::string::npos);
  EXPECT_EQ(Body(seen[4]), "n=中文");
  EXPECT_NE(seen[5].find("\r\nX-Own: 1\r\n"), std::string::npos);
  EXPECT_EQ(seen[5].find("Content-Type"), std::string::npos) << "given headers replace the default block";
}

TEST(HttpRequest, NotFoundFailsOtherStatusesGiveTheirBody) {
  FakeHttpServer server;
  ASSERT_TRUE(server.Start([](const std::string& target) {
    return HttpReply{target == "/missing" ? 404 : 500, "server says no", false, {}};
  }));
  auto http = ShortLimitHttp();
  EXPECT_EQ(http->HttpRequestA("", 1, "", ""), "");
  EXPECT_EQ(http->GetErrorText(), L"") << "an empty URL leaves the error text alone";
  EXPECT_EQ(http->HttpRequestA(Base(server) + "/missing", 1, "", ""), "");
  EXPECT_EQ(std::wstring(http->GetErrorTextPtr()), kFailure);
  EXPECT_EQ(http->HttpRequestW(http->AnsiToUnicode(Base(server)) + L"/missing", 1, L"", L""), "");
  EXPECT_EQ(http->HttpRequestA(Base(server) + "/broken", 1, "", ""), "server says no");
  EXPECT_EQ(http->GetErrorText(), kFailure) << "kept until the next failure replaces it";

  test_support::RefusingPort refusing;
  const std::string refused = "http://127.0.0.1:" + std::to_string(refusing.port());
  for (const std::string& url : {std::string("http://127.0.0.1:99999/"), refused}) {
    auto fresh = ShortLimitHttp();
    EXPECT_EQ(fresh->HttpRequestA(url, 1, "", ""), "") << url;
    EXPECT_EQ(fresh->GetErrorText(), kFailure) << url;
  }
}

TEST(HttpRequest, BodiesArriveWholeZeroBytesIncluded) {
  std::string body;
  for (int i = 0; i < 20000; ++i) body.push_back(static_cast<char>(i % 251));
  FakeHttpServer server;
  ASSERT_TRUE(server.Start([&](const std::string&) { return HttpReply{200, body, false, {}}; }));
  auto http = ShortLimitHttp();
  EXPECT_EQ(http->HttpRequestA(Base(server) + "/binary", 1, "", ""), body);
  EXPECT_EQ(http->HttpRequestW(http->AnsiToUnicode(Base(server)) + L"/binary", 1, L"", L""), body);
}

TEST(HttpRequest, BlanksInTheUrlAreEncoded) {
  FakeHttpServer server;
  ASSERT_TRUE(server.Start(Echo));
  auto http = ShortLimitHttp();
  EXPECT_EQ(http->HttpRequestA(Base(server) + "/a b/c d?q=x y", 1, "", ""), "reply:/a%20b/c%20d?q=x%20y");
  EXPECT_EQ(http->HttpRequestW(http->AnsiToUnicode(Base(server)) + L"/w b", 2, L"", L""), "reply:/w%20b");
}

TEST(HttpRequest, RedirectsOnlyToHttpAndHttps) {
  test_support::TlsServer tls;
  ASSERT_TRUE(tls.Start()) << tls.error();
  const std::string secure = "https://127.0.0.1:" + std::to_string(tls.port()) + "/";
  FakeHttpServer server;
  ASSERT_TRUE(server.Start([&](const std::string& target) {
    if (target == "/old") return Raw("302 Found\r\nLocation: /new\r\nContent-Length: 0");
    if (target == "/to-https") return Raw("302 Found\r\nLocation: " + secure + "\r\nContent-Length: 0");
    if (target == "/to-file") return Raw("302 Found\r\nLocation: file:///etc/passwd\r\nContent-Length: 0");
    if (target == "/to-ftp") return Raw("302 Found\r\nLocation: ftp://127.0.0.1:1/x\r\nContent-Length: 0");
    return Echo(target);
  }));
  auto http = ShortLimitHttp();
  EXPECT_EQ(http->HttpRequestA(Base(server) + "/old", 1, "", ""), "reply:/new");
  EXPECT_EQ(http->HttpRequestA(Base(server) + "/to-file", 1, "", ""), "");
  EXPECT_EQ(http->GetErrorText(), kFailure);
  EXPECT_EQ(http->HttpRequestA(Base(server) + "/to-ftp", 1, "", ""), "");
  EXPECT_EQ(server.Requests(), (std::vector<std::string>{"/old", "/new", "/to-file", "/to-ftp"}));

  // The service moved to https: followed, and an https address works as it
  // stands, against a certificate the client was told to trust...
  ::setenv("SSL_CERT_FILE", tls.CertificatePath().c_str(), 1);
  EXPECT_NE(http->HttpRequestA(Base(server) + "/to-https", 1, "", "").find("s_server"), std::string::npos);
  EXPECT_NE(http->HttpRequestA(secure, 1, "", "").find("s_server"), std::string::npos);
  // ...and refused against one nobody vouches for.
  ::unsetenv("SSL_CERT_FILE");
  EXPECT_EQ(http->HttpRequestA(Base(server) + "/to-https", 1, "", ""), "");
  EXPECT_EQ(http->LastFailure(), IHttpInterface::Failure::kUnreachable);
}

TEST(HttpRequest, RepliesBeyondTheCapEndTheTransferThere) {
  FakeHttpServer server;
  ASSERT_TRUE(server.Start([](const std::string& target) {
    HttpReply reply;
    if (target == "/exact") {
      reply.body = std::string(4096, 'e');
    } else {
      // 256 MiB, far beyond any reply the program reads.
      reply.piece = std::string(64 << 10, 'x');
      reply.pieces = 4096;
    }
    return reply;
  }));
  HttpLimits limits{2000, 1};
  auto http = LimitedHttp(limits);
  ASSERT_TRUE(test_support::ResetPeakResident());
  const long before = test_support::ResidentKb();
  EXPECT_EQ(http->HttpRequestA(Base(server) + "/huge", 1, "", ""), "");
  EXPECT_EQ(http->LastFailure(), IHttpInterface::Failure::kTooLarge);
  EXPECT_EQ(http->GetErrorText(), kFailure);
  EXPECT_LT(test_support::PeakResidentKb() - before, 32 * 1024) << "KiB kept while the reply streamed in";
  EXPECT_LT(server.StreamedBytes(), 64ull << 20) << "the transfer went on after the cap";

  limits.maxReplyBytes = 4096;
  auto small = LimitedHttp(limits);
  EXPECT_EQ(small->HttpRequestA(Base(server) + "/exact", 1, "", "").size(), 4096u);
  EXPECT_EQ(small->LastFailure(), IHttpInterface::Failure::kNone);
  limits.maxReplyBytes = 4095;
  EXPECT_EQ(LimitedHttp(limits)->HttpRequestA(Base(server) + "/exact", 1, "", ""), "");
}

TEST(HttpRequest, TricklingRepliesEndAtTheOverallDeadline) {
  FakeHttpServer server;
  // Five bytes a second pass the low-speed limit; 100 of them take 20 s.
  ASSERT_TRUE(server.Start([](const std::string&) {
    HttpReply reply;
    reply.piece = "x";
    reply.pieces = 100;
    reply.pieceIntervalMs = 200;
    return reply;
  }));
  HttpLimits limits{2000, 1};
  limits.requestTimeoutMs = 1500;
  auto http = LimitedHttp(limits);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(http->HttpRequestA(Base(server) + "/trickle", 1, "", ""), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(http->LastFailure(), IHttpInterface::Failure::kUnreachable);
}

TEST(HttpRequest, CancelEndsAWaitingRequestAtOnce) {
  FakeHttpServer server;
  ASSERT_TRUE(server.Start([](const std::string&) { return HttpReply{200, {}, true, {}}; }));
  auto cancel = std::make_shared<HttpCancellation>();
  auto http = LimitedHttp(HttpLimits{60000, 60}, cancel);
  auto reply = std::async(std::launch::async, [&] { return http->HttpRequestA(Base(server) + "/hung", 1, "", ""); });
  ASSERT_TRUE(server.WaitForRequests(1, 10000));
  cancel->Cancel();
  ASSERT_EQ(reply.wait_for(std::chrono::seconds(1)), std::future_status::ready) << "the request outlived its cancel";
  EXPECT_EQ(reply.get(), "");
  EXPECT_EQ(http->LastFailure(), IHttpInterface::Failure::kCancelled);
  // Cancelled for good: nothing more is sent.
  EXPECT_EQ(http->HttpRequestA(Base(server) + "/again", 1, "", ""), "");
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(HttpRequest, DeadServersEndWithinTheLimits) {
  FakeHttpServer server;
  ASSERT_TRUE(server.Start([](const std::string&) { return HttpReply{200, {}, true, {}}; }));
  test_support::UnansweredPort unanswered;
  ASSERT_NE(unanswered.port(), 0);
  // Each limit alone ends its case: a server that accepts and never answers,
  // and one that never completes the connection.
  const struct {
    std::string url;
    long connectMs, lowSpeedSeconds;
  } cases[] = {{Base(server) + "/stall", 60000, 1},
               {"http://127.0.0.1:" + std::to_string(unanswered.port()) + "/", 500, 60}};
  for (const auto& dead : cases) {
    auto http = ShortLimitHttp(dead.connectMs, dead.lowSpeedSeconds);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(http->HttpRequestA(dead.url, 1, "", ""), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << dead.url;
    EXPECT_EQ(http->GetErrorText(), kFailure);
  }
}
