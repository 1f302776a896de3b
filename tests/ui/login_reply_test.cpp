// The login request's URL and the meaning of the service's reply: flags,
// field forms, defaults and what lands in the publish parameters.
#include <QtTest>

#include "app/Md5Hex.h"
#include "ui/LoginReply.h"
#include "ui/LoginRequest.h"

class LoginReplyTest : public QObject {
  Q_OBJECT

 private slots:
  void urlCarriesTheStrippedEncodedNameAndTheDigest() {
    const std::string url = BuildLoginUrl("http://svc.test/login?v=1 \r\n", "a b", "x", 1700000000);
    QCOMPARE(url, "http://svc.test/login?v=1&a=getStream&id=ab&pwd=" + Md5Hex("x") + "&type=pc&time=1700000000");
    // A name cannot add query fields or reach the path, whatever it holds.
    const std::string hostile = BuildLoginUrl("http://h/l?", "张三&pwd=1/../x", "", -5);
    QCOMPARE(hostile, "http://h/l?&a=getStream&id=%E5%BC%A0%E4%B8%89%26pwd%3D1%2F..%2Fx&pwd=" + Md5Hex("") +
                          "&type=pc&time=-5");
  }

  void flagsAndRepliesThatAreNoLogin() {
    QCOMPARE(InterpretLoginReply(R"({"Flag":104})").outcome, LoginOutcome::kFrozen);
    QCOMPARE(InterpretLoginReply(R"({"Flag":103})").outcome, LoginOutcome::kBadCredentials);
    QCOMPARE(InterpretLoginReply(R"({"Flag":102})").outcome, LoginOutcome::kBadCredentials);
    QCOMPARE(InterpretLoginReply(R"({"Flag":100})").outcome, LoginOutcome::kSuccess);
    for (const char* failed : {R"({"Flag":"100"})", R"({"Flag":101})", R"({"Flag":true})", "{}", "not json",
                               "[100]", R"([{"Flag":100}])", "100", "null", R"({"Flag":100)"}) {
      QCOMPARE(InterpretLoginReply(failed).outcome, LoginOutcome::kFailed);
    }
    QCOMPARE(std::wstring(LoginOutcomeText(LoginOutcome::kFrozen)), std::wstring(L"当前用户已经被冻结！"));
    QCOMPARE(std::wstring(LoginOutcomeText(LoginOutcome::kBadCredentials)), std::wstring(L"用户名或者密码错误！"));
    QCOMPARE(std::wstring(LoginOutcomeText(LoginOutcome::kFailed)), std::wstring(L"请求数据失败！"));
    QCOMPARE(std::wstring(LoginOutcomeText(LoginOutcome::kMalformed)),
             std::wstring(L"请求数据解析异常,请检查设置参数！"));
  }

  void numbersMustBeStringsAndTextKeysMustBeScalars() {
    const LoginReply kbit = InterpretLoginReply(R"({"Flag":100,"ADBitRate":"48"})");
    QCOMPARE(kbit.outcome, LoginOutcome::kSuccess);
    PublishParamValues params;
    ApplyLoginFields(kbit.fields, params);
    QCOMPARE(params.ADBitRate, 48000);
    QCOMPARE(params.ADSampleRate, 44100);
    QCOMPARE(params.ADBitperSample, 16);
    QCOMPARE(params.VDFPS, 10);
    QCOMPARE(params.VFFPS, 25);
    QCOMPARE(params.VCFPS, 15);
    QCOMPARE(params.VDBitRate, 500000);
    QCOMPARE(params.VFBitRate, 500000);
    QCOMPARE(params.VCBitRate, 500000);
    QCOMPARE(params.VDIntervalSencond, 3);
    QCOMPARE(params.BFrameCount, 0);
    QCOMPARE(params.VDInterval, 0);

    QCOMPARE(InterpretLoginReply(R"({"Flag":100,"ADBitRate":48})").outcome, LoginOutcome::kMalformed);
    QCOMPARE(InterpretLoginReply(R"({"Flag":100,"StrKey":{"a":1}})").outcome, LoginOutcome::kMalformed);
    // Null counts as absent; numbers and booleans are text to a text key.
    const LoginReply texts = InterpretLoginReply(R"({"Flag":100,"VDFPS":null,"stream":12,"PubWay":true})");
    QCOMPARE(texts.outcome, LoginOutcome::kSuccess);
    QCOMPARE(texts.fields.vdFps, 10);
    QCOMPARE(texts.fields.stream, std::string("12"));
    QCOMPARE(texts.fields.pubWay, std::string("true"));
    // A huge kilobit figure saturates instead of wrapping negative.
    QVERIFY(InterpretLoginReply(R"({"Flag":100,"VDBitRate":"99999999"})").fields.vdBitRate > 0);
  }

  void fieldsLandInThePublishParameters() {
    const LoginReply reply = InterpretLoginReply(R"({"Flag":100,"ChatUrl":"http:\\/\\/chat.test\\/r","Uin":"77",
      "Domain":"cdn.test","StrKey":"k","stream":"s","PubWay":"rtmp","PubUrlPub":"mq","PublishRoomInfo":"room",
      "VDIntervalSecond":"5","BFrameCount":"2","MaxOutResolution":"1920*1080","VBRQuality":"23",
      "VBRFQuality":"0","CQuality":"28","ADChannels":"1","ADVolum":"9"})");
    QCOMPARE(reply.outcome, LoginOutcome::kSuccess);
    PublishParamValues params;
    params.FQuality = 11;
    ApplyLoginFields(reply.fields, params);
    QCOMPARE(params.strChatUrl, std::string("http://chat.test/r"));
    QCOMPARE(reply.fields.uin, std::string("77"));
    QCOMPARE(params.strDomain, std::string(".cdn.test"));
    QCOMPARE(params.strChatTabName, std::string("聊天"));  // kept: the reply has none
    QCOMPARE(params.strmqPubUrlPub, std::string("mq"));
    QCOMPARE(params.VDIntervalSencond, 5);
    QCOMPARE(params.BFrameCount, 2);
    QCOMPARE(params.MaxVDWidth, 1920);
    QCOMPARE(params.MaxVDHeight, 1080);
    QVERIFY(params.bVBR);
    QCOMPARE(params.Quality, 23);
    QCOMPARE(params.FQuality, 11);  // below 1: unchanged
    QCOMPARE(params.CQuality, 28);
    QCOMPARE(params.ADChannels, 2);

    PublishParamValues dotted;
    ApplyLoginFields(InterpretLoginReply(R"({"Flag":100,"Domain":".cdn.test","ChatTabName":"聊"})").fields, dotted);
    QCOMPARE(dotted.strDomain, std::string(".cdn.test"));
    QCOMPARE(dotted.strChatTabName, std::string("聊"));
    // Without a usable largest size the limit is 1280*720, never 0*0.
    QCOMPARE(dotted.MaxVDWidth, 1280);
    QCOMPARE(dotted.MaxVDHeight, 720);
    ApplyLoginFields(InterpretLoginReply(R"({"Flag":100,"MaxOutResolution":"abc"})").fields, dotted);
    QCOMPARE(dotted.MaxVDWidth, 1280);
    QCOMPARE(dotted.MaxVDHeight, 720);
  }
};

QTEST_GUILESS_MAIN(LoginReplyTest)
#include "login_reply_test.moc"
