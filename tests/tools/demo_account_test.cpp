// The demo login service's answers: the account's publish address survives
// the program's way of joining it, and each wrong request gets its Flag.
#include <gtest/gtest.h>
#include <json/json.h>

#include "common/Md5.h"
#include "tools/demo_account_service/demo_account.h"

namespace {

Json::Value Parse(const std::string& text) {
  Json::Value value;
  Json::Reader().parse(text, value);
  return value;
}

std::string Request(const std::string& user, const std::string& password) {
  return "/login?v=1&a=getStream&id=" + user + "&pwd=" + MD5(password).HexDigest() + "&type=pc&time=1";
}

const DemoAccount kAccount{"demo", "pw", "rtmp://127.0.0.1:19350/live/velmora", "1920*1080"};

}  // namespace

TEST(DemoAccountTest, SuccessCarriesTheAddressAsTheProgramJoinsIt) {
  const Json::Value reply = Parse(AnswerLogin(kAccount, Request("demo", "pw")));
  EXPECT_EQ(reply["Flag"].asInt(), 100);
  // The program puts a "." before Domain and appends it to PubUrlPub.
  EXPECT_EQ(reply["PubUrlPub"].asString() + "." + reply["Domain"].asString(), "127.0.0.1:19350");
  EXPECT_EQ(reply["PublishRoomInfo"].asString(), "live");
  EXPECT_EQ(reply["stream"].asString(), "velmora");
  EXPECT_EQ(reply["MaxOutResolution"].asString(), "1920*1080");
  // Numbers travel as strings, the only form the program reads.
  EXPECT_TRUE(reply["ADBitRate"].isString());
  EXPECT_TRUE(reply["VDBitRate"].isString());
}

TEST(DemoAccountTest, WrongRequestsGetTheirFlags) {
  EXPECT_EQ(Parse(AnswerLogin(kAccount, Request("demo", "other")))["Flag"].asInt(), 103);
  EXPECT_EQ(Parse(AnswerLogin(kAccount, Request("nobody", "pw")))["Flag"].asInt(), 102);
  EXPECT_EQ(Parse(AnswerLogin(kAccount, "/login?v=1"))["Flag"].asInt(), 101);
  EXPECT_EQ(Parse(AnswerLogin(kAccount, "/"))["Flag"].asInt(), 101);
  // The program percent-encodes the name; the service decodes it.
  DemoAccount spaced = kAccount;
  spaced.user = "d e";
  EXPECT_EQ(Parse(AnswerLogin(spaced, Request("d%20e", "pw")))["Flag"].asInt(), 100);
  EXPECT_EQ(Parse(AnswerLogin(spaced, Request("d%2", "pw")))["Flag"].asInt(), 102);
}

TEST(DemoAccountTest, OnlyDottedRtmpAddressesSplit) {
  PublishAddressFields fields;
  EXPECT_TRUE(SplitRtmpUrl("rtmp://a.b.example:1935/app/s", &fields));
  EXPECT_EQ(fields.pubUrlPub, "a.b");
  EXPECT_EQ(fields.domain, "example:1935");
  EXPECT_FALSE(SplitRtmpUrl("rtmp://localhost:1935/app/s", &fields));
  EXPECT_FALSE(SplitRtmpUrl("rtmp://127.0.0.1/app", &fields));
  EXPECT_FALSE(SplitRtmpUrl("http://127.0.0.1/app/s", &fields));
  EXPECT_FALSE(SplitRtmpUrl("rtmp://127.0.0.1/app/s/extra", &fields));
}
