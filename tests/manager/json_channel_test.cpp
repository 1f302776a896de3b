// The JSON command channel: every command word, every failure reason, and
// requests a hostile or careless host might send.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <json/json.h>

#include "manager_test_support.h"
#include "strivon/JsonReply.h"

namespace {

class JsonChannelTest : public ::testing::Test {
 protected:
  // Sends through SendCmd with a program-sized buffer and parses the reply.
  Json::Value Send(const std::string& request) {
    std::vector<char> buffer(kSendCmdReplyBufferSize, 'X');
    char* out = buffer.data();
    EXPECT_TRUE(manager->SendCmd(request.c_str(), &out));
    const char* end = static_cast<const char*>(memchr(buffer.data(), '\0', buffer.size()));
    EXPECT_NE(end, nullptr) << "reply not terminated";
    if (!end) return Json::Value();
    lastText.assign(buffer.data(), static_cast<size_t>(end - buffer.data()));
    Json::Value reply;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    EXPECT_TRUE(reader->parse(lastText.data(), lastText.data() + lastText.size(), &reply, nullptr)) << lastText;
    return reply;
  }

  void ExpectFailure(const std::string& request, const std::string& reason) {
    const Json::Value reply = Send(request);
    EXPECT_EQ(reply["code"].asInt(), 1) << request;
    EXPECT_EQ(reply["data"]["reason"].asString(), reason) << request;
  }

  void ExpectSuccessWithoutData(const std::string& request) {
    const Json::Value reply = Send(request);
    EXPECT_EQ(reply["code"].asInt(), 0) << request << "\n" << lastText;
    EXPECT_TRUE(reply["data"].isNull()) << request;
  }

  ManagerPtr manager = MakeManager(nullptr);
  RtmpPublishManager* m = Concrete(manager);
  std::string lastText;
};

TEST_F(JsonChannelTest, ReplyIsStyledWithSortedKeysAndTrailingNewline) {
  Send(R"({"cmd":"SetShowSpectrum","params":{"bShow":true}})");
  EXPECT_EQ(lastText, "{\n   \"code\" : 0,\n   \"data\" : null\n}\n");
}

TEST_F(JsonChannelTest, GetSdkVersionGivesFourteenDigits) {
  const Json::Value reply = Send(R"({"cmd":"GetSdkVersion","params":{}})");
  EXPECT_EQ(reply["code"].asInt(), 0);
  const std::string version = reply["data"]["version"].asString();
  EXPECT_EQ(version.size(), 14u);
  EXPECT_EQ(version.find_first_not_of("0123456789"), std::string::npos) << version;
}

TEST(JsonChannel, UnreadableVersionIsAFailureWithItsReason) {
  ManagerFactories factories;
  factories.sdkVersion = [] { return std::string(); };
  ManagerPtr manager(CreateRtmpPublishManagerWith(nullptr, factories));
  std::vector<char> buffer(kSendCmdReplyBufferSize, 'X');
  char* out = buffer.data();
  ASSERT_TRUE(manager->SendCmd(R"({"cmd":"GetSdkVersion","params":{}})", &out));
  EXPECT_STREQ(buffer.data(), "{\n   \"code\" : 1,\n   \"data\" : {\n      \"reason\" : \"no version.\"\n   }\n}\n");
}

TEST_F(JsonChannelTest, RequestErrorsGiveTheirReasons) {
  ExpectFailure("{}", kReasonNoCmd);
  ExpectFailure(R"({"cmd":""})", kReasonNoCmd);
  ExpectFailure(R"({"cmd":"GetSdkVersion"})", kReasonParamsNotObject);
  for (const char* params : {"null", "[]", "1", "\"x\""}) {
    ExpectFailure(std::string(R"({"cmd":"GetSdkVersion","params":)") + params + "}", kReasonParamsNotObject);
  }
  ExpectFailure("abc", kReasonNotJson);
  ExpectFailure("", kReasonNotJson);
  ExpectFailure(R"({"cmd":"getsdkversion","params":{}})", kReasonNotJson);
  ExpectFailure(R"({"cmd":"NoSuchCommand","params":{}})", kReasonNotJson);
}

TEST_F(JsonChannelTest, ParseCmdReportsRequestErrors) {
  std::string reply;
  EXPECT_FALSE(m->ParseCmd("{}", &reply));
  EXPECT_TRUE(m->ParseCmd(R"({"cmd":"GetPlayerList","params":{}})", &reply));
}

TEST_F(JsonChannelTest, StoringCommandsStoreTheirValues) {
  ExpectSuccessWithoutData(R"({"cmd":"SetShowSpectrum","params":{"bShow":false}})");
  EXPECT_FALSE(m->ShowSpectrum());
  ExpectSuccessWithoutData(R"({"cmd":"ScreenCaptureSettings","params":{"isFollowCursor":true,"isFullScreen":true}})");
  EXPECT_TRUE(m->FollowCursor());
  EXPECT_TRUE(m->FullScreen());
  ExpectSuccessWithoutData(R"({"cmd":"SetVBRQuality","params":{"Quality":23}})");
  ExpectSuccessWithoutData(R"({"cmd":"SetBframeCount","params":{"BframeCount":2}})");
  ExpectSuccessWithoutData(R"({"cmd":"SetAbrQmin","params":{"qMin":12}})");
  ExpectSuccessWithoutData(R"({"cmd":"Set_rf_constant","params":{"rf_constant":20,"rf_constant_max":30}})");
  EncoderSettings settings = m->Encoder();
  EXPECT_EQ(settings.vbrQuality, 23);
  EXPECT_EQ(settings.bframeCount, 2);
  EXPECT_EQ(settings.abrQmin, 12);
  EXPECT_FLOAT_EQ(settings.rfConstant, 20.0f);
  EXPECT_FLOAT_EQ(settings.rfConstantMax, 30.0f);

  ExpectSuccessWithoutData(R"({"cmd":"Set_rf_constant","params":{"rf_constant":-1,"rf_constant_max":0}})");
  EXPECT_FLOAT_EQ(m->Encoder().rfConstant, 4294967295.0f);
}

TEST_F(JsonChannelTest, BframeCountsBeyondWhatTheEncoderPlansAreRefused) {
  ExpectSuccessWithoutData(R"({"cmd":"SetBframeCount","params":{"BframeCount":16}})");
  for (const char* count : {"17", "2147483647", "-1"}) {
    ExpectFailure(std::string(R"({"cmd":"SetBframeCount","params":{"BframeCount":)") + count + "}}",
                  kReasonBframeCountOutOfRange);
    EXPECT_EQ(m->Encoder().bframeCount, 16) << count;
  }
}

TEST_F(JsonChannelTest, CommandsThatReachNoRunningComponentStillSucceed) {
  ExpectSuccessWithoutData(R"({"cmd":"SetAutoCtrlBitrate","params":{"bAuto":true}})");
  for (const char* mode : {"0", "1", "2", "5"}) {
    ExpectSuccessWithoutData(std::string(R"({"cmd":"changeToVexaFile","params":{"mode":)") + mode +
                             R"(,"pszFilePath":"/no/file","camId":0}})");
  }
  const Json::Value reply = Send(R"({"cmd":"GetPlayerList","params":{}})");
  EXPECT_EQ(reply["code"].asInt(), 0);
  EXPECT_TRUE(reply["data"].isObject());
  EXPECT_TRUE(reply["data"].isMember("player"));
  EXPECT_TRUE(reply["data"]["player"].isNull());
}

TEST_F(JsonChannelTest, SetCaptureAreaRoundsTheOutputWidthWhenNoAreaIsSet) {
  ExpectSuccessWithoutData(R"({"cmd":"SetCaptureArea","params":{"left":10,"top":20}})");
  EXPECT_EQ(m->Video().outputWidth, 320);
  m->SetPublishVideoPara(332, 200, 10, 0, 0, 0);
  ExpectSuccessWithoutData(R"({"cmd":"SetCaptureArea","params":{"left":2147483647,"top":-2147483648}})");
  EXPECT_EQ(m->Video().outputWidth, 332) << "an area is already set";
}

TEST_F(JsonChannelTest, ParametersOfTheWrongTypeAreRefusedAndChangeNothing) {
  ExpectFailure(R"({"cmd":"SetShowSpectrum","params":{"bShow":"yes"}})", kReasonParamsNotObject);
  EXPECT_TRUE(m->ShowSpectrum());
  ExpectFailure(R"({"cmd":"SetVBRQuality","params":{"Quality":{}}})", kReasonParamsNotObject);
  ExpectFailure(R"({"cmd":"SetBframeCount","params":{"BframeCount":1e40}})", kReasonParamsNotObject);
  ExpectFailure(R"({"cmd":"SetAbrQmin","params":{"qMin":[1]}})", kReasonParamsNotObject);
  ExpectFailure(R"({"cmd":"Set_rf_constant","params":{"rf_constant":"20","rf_constant_max":30}})",
                kReasonParamsNotObject);
  ExpectFailure(R"({"cmd":"SetCaptureArea","params":{"left":4294967296,"top":0}})", kReasonParamsNotObject);
  ExpectFailure(R"({"cmd":"ScreenCaptureSettings","params":{"isFollowCursor":true,"isFullScreen":{}}})",
                kReasonParamsNotObject);
  EXPECT_FALSE(m->FollowCursor());
  ExpectFailure(R"({"cmd":"SetAutoCtrlBitrate","params":{"bAuto":[]}})", kReasonParamsNotObject);
  ExpectFailure(R"({"cmd":"changeToVexaFile","params":{"mode":"1"}})", kReasonParamsNotObject);
  ExpectFailure(R"({"cmd":"changeToVexaFile","params":{"mode":1,"pszFilePath":{}}})", kReasonParamsNotObject);
  ExpectFailure(R"({"cmd":"changeToVexaFile","params":{"mode":2,"camId":"a"}})", kReasonParamsNotObject);
  const EncoderSettings settings = m->Encoder();
  EXPECT_EQ(settings.vbrQuality, -1);
  EXPECT_EQ(settings.bframeCount, 0);
  EXPECT_EQ(settings.abrQmin, 0);
}

TEST_F(JsonChannelTest, HostileShapesAreAnsweredNotCrashedOn) {
  ExpectFailure("[1]", kReasonNotJson);
  ExpectFailure("42", kReasonNotJson);
  ExpectFailure("\"GetSdkVersion\"", kReasonNotJson);
  // A cmd that is there but no text names no command.
  ExpectFailure(R"({"cmd":1,"params":{}})", kReasonNotJson);
  ExpectFailure(R"({"cmd":true,"params":{}})", kReasonNotJson);
  ExpectFailure(R"({"cmd":{"a":1},"params":{}})", kReasonNotJson);
  ExpectFailure(R"({"cmd":["GetSdkVersion"],"params":{}})", kReasonNotJson);
  ExpectFailure(R"({"cmd":1})", kReasonParamsNotObject);
  ExpectFailure(R"({"cmd":null,"params":{}})", kReasonNoCmd);
  ExpectFailure(R"({"cmd":"GetSdkVersion","params":{})", kReasonNotJson);

  const std::string deep = std::string(5000, '[') + std::string(5000, ']');
  ExpectFailure(deep, kReasonNotJson);
  const std::string deepObject = R"({"cmd":"SetShowSpectrum","params":{"bShow":)" + std::string(5000, '[') +
                                 std::string(5000, ']') + "}}";
  ExpectFailure(deepObject, kReasonNotJson);
}

TEST_F(JsonChannelTest, NullArgumentsLeaveTheBufferAlone) {
  char buffer[kSendCmdReplyBufferSize];
  memset(buffer, 'X', sizeof buffer);
  char* out = buffer;
  char* none = nullptr;
  EXPECT_FALSE(manager->SendCmd(nullptr, &out));
  EXPECT_FALSE(manager->SendCmd("{}", nullptr));
  EXPECT_FALSE(manager->SendCmd("{}", &none));
  EXPECT_EQ(buffer[0], 'X');
}

TEST_F(JsonChannelTest, PrefilledBufferGetsATerminatedReply) {
  std::vector<char> buffer(kSendCmdReplyBufferSize, 'X');
  char* out = buffer.data();
  ASSERT_TRUE(manager->SendCmd("abc", &out));
  const std::string text(buffer.data());
  EXPECT_LT(text.size(), kSendCmdReplyBufferSize);
  EXPECT_NE(text.find("cmd must be json format."), std::string::npos);
}

TEST(ReplyCopy, ReplyThatDoesNotFitBecomesAShortFailureNeverCutJson) {
  std::vector<char> buffer(kSendCmdReplyBufferSize, 'X');
  Json::Value data(Json::objectValue);
  data["long"] = std::string(2000, 'a');
  EXPECT_FALSE(CopyReplyToBuffer(WriteReply(0, data), buffer.data(), buffer.size()));
  Json::Value reply;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  const std::string text(buffer.data());
  ASSERT_TRUE(reader->parse(text.data(), text.data() + text.size(), &reply, nullptr));
  EXPECT_EQ(reply["code"].asInt(), 1);

  const std::string exact(kSendCmdReplyBufferSize - 1, 'b');
  EXPECT_TRUE(CopyReplyToBuffer(exact, buffer.data(), buffer.size()));
  EXPECT_EQ(buffer[kSendCmdReplyBufferSize - 1], '\0');
  EXPECT_FALSE(CopyReplyToBuffer(exact + "b", buffer.data(), buffer.size()));

  char tiny[4] = {'X', 'X', 'X', 'X'};
  EXPECT_FALSE(CopyReplyToBuffer(exact, tiny, sizeof tiny));
  EXPECT_EQ(tiny[0], '\0');
}

}  // namespace

TEST(JsonEvents, MediaFileEventsReachTheHostInTheStyledForm) {
  RecordingNotify notify;
  ManagerPtr manager = MakeManager(&notify);
  RtmpPublishManager* m = Concrete(manager);
  m->OnVexaCapturePlayComplete();
  short pcm[64] = {};
  m->OnVexaCaptureAudio(0, reinterpret_cast<BYTE*>(pcm), sizeof pcm, 40, 32);
  ASSERT_EQ(notify.messages.size(), 2u);
  EXPECT_EQ(notify.messages[0], "{\n   \"cmd\" : \"OnVexaCapturePlayComplete\",\n   \"params\" : null\n}\n");
  EXPECT_EQ(notify.messages[1],
            "{\n   \"cmd\" : \"OnAudioPercent\",\n   \"params\" : {\n      \"uPercent\" : 0\n   }\n}\n");
}
