// The login request's URL and what a success reply puts into the publish
// parameters: field forms, defaults, ranges and the service's key names.
#include <QtTest>

#include "app/Md5Hex.h"
#include "ui/LoginReply.h"
#include "ui/LoginRequest.h"

class LoginReplyTest : public QObject {
  Q_OBJECT

 private slots:
  void urlCarriesTheStrippedEncodedNameAndTheDigest() {
    QCOMPARE(BuildLoginUrl("http://svc.test/login?v=1 \r\n", "a b", "x", 1700000000),
             "http://svc.test/login?v=1&a=getStream&id=ab&pwd=" + Md5Hex("x") + "&type=pc&time=1700000000");
    // A name cannot add query fields or reach the path, whatever it holds.
    QCOMPARE(BuildLoginUrl("http://h/l?", "张三&pwd=1/../x", "", -5),
             "http://h/l?&a=getStream&id=%E5%BC%A0%E4%B8%89%26pwd%3D1%2F..%2Fx&pwd=" + Md5Hex("") + "&type=pc&time=-5");
  }

  void numbersAreStringsAndAbsentKeysTakeTheirDefaults() {
    PublishParamValues p;
    ApplyLoginFields(InterpretLoginReply(R"({"Flag":100,"ADBitRate":"48","VDFPS":null})").fields, p);
    QCOMPARE(p.ADBitRate, 48000);
    const int defaults[] = {44100, 16, 10, 25, 15, 500000, 500000, 500000, 3, 0, 0, 1280, 720};
    const int stored[] = {p.ADSampleRate, p.ADBitperSample, p.VDFPS,      p.VFFPS,      p.VCFPS,
                          p.VDBitRate,    p.VFBitRate,      p.VCBitRate,  p.VDIntervalSencond,
                          p.BFrameCount,  p.VDInterval,     p.MaxVDWidth, p.MaxVDHeight};
    for (size_t i = 0; i < std::size(stored); ++i) QCOMPARE(stored[i], defaults[i]);
    for (const char* bad : {R"({"Flag":100,"ADBitRate":48})", R"({"Flag":100,"StrKey":{"a":1}})"}) {
      QCOMPARE(InterpretLoginReply(bad).outcome, LoginOutcome::kMalformed);
    }
    // A huge kilobit figure saturates instead of wrapping negative.
    QVERIFY(InterpretLoginReply(R"({"Flag":100,"VDBitRate":"99999999"})").fields.vdBitRate > 0);
  }

  void fieldsLandUnderTheirParameterNames() {
    PublishParamValues p;
    p.FQuality = 11;
    ApplyLoginFields(InterpretLoginReply(R"({"Flag":100,"ChatUrl":"http:\\/\\/c.test\\/r","Domain":"cdn.test",
      "PubUrlPub":"mq","stream":12,"VDIntervalSecond":"5","MaxOutResolution":"1920*1080","VBRQuality":"23",
      "VBRFQuality":"0","CQuality":"28","ADChannels":"1"})").fields, p);
    QCOMPARE(p.strChatUrl, std::string("http://c.test/r"));
    QCOMPARE(p.strDomain, std::string(".cdn.test"));
    QCOMPARE(p.strChatTabName, std::string("聊天"));  // the reply has none
    QCOMPARE(p.strmqPubUrlPub + "|" + p.stream, std::string("mq|12"));
    QCOMPARE(p.VDIntervalSencond, 5);
    QCOMPARE(QPoint(p.MaxVDWidth, p.MaxVDHeight), QPoint(1920, 1080));
    QVERIFY(p.bVBR);
    QCOMPARE(QVector<int>({p.Quality, p.FQuality, p.CQuality, p.ADChannels}), QVector<int>({23, 11, 28, 2}));
    ApplyLoginFields(InterpretLoginReply(R"({"Flag":100,"Domain":".d","MaxOutResolution":"abc"})").fields, p);
    QCOMPARE(p.strDomain, std::string(".d"));
    QCOMPARE(QPoint(p.MaxVDWidth, p.MaxVDHeight), QPoint(1280, 720));
  }

  // What the library cannot take is not passed on: the value an absent key
  // gives is used instead; the edges of each range are kept.
  void numbersOutOfRangeTakeTheirDefaults() {
    PublishParamValues p;
    ApplyLoginFields(InterpretLoginReply(R"({"Flag":100,"ADSampleRate":"-2147483648","VDFPS":"2147483647",
      "VFFPS":"0","VCFPS":"61","BFrameCount":"2147483647","ADBitperSample":"24",
      "MaxOutResolution":"99999*99999"})").fields, p);
    QCOMPARE(QVector<int>({p.ADSampleRate, p.VDFPS, p.VFFPS, p.VCFPS, p.BFrameCount, p.ADBitperSample}),
             QVector<int>({44100, 10, 25, 15, 0, 16}));
    QCOMPARE(QPoint(p.MaxVDWidth, p.MaxVDHeight), QPoint(1280, 720));
    ApplyLoginFields(InterpretLoginReply(R"({"Flag":100,"ADSampleRate":"24000","VDFPS":"60","VFFPS":"1",
      "BFrameCount":"16","MaxOutResolution":"1920*1080"})").fields, p);
    QCOMPARE(QVector<int>({p.ADSampleRate, p.VDFPS, p.VFFPS, p.BFrameCount}), QVector<int>({24000, 60, 1, 16}));
    QCOMPARE(QPoint(p.MaxVDWidth, p.MaxVDHeight), QPoint(1920, 1080));
    ApplyLoginFields(InterpretLoginReply(R"({"Flag":100,"MaxOutResolution":"1921*1080"})").fields, p);
    QCOMPARE(QPoint(p.MaxVDWidth, p.MaxVDHeight), QPoint(1280, 720));
  }
};

QTEST_GUILESS_MAIN(LoginReplyTest)
#include "login_reply_test.moc"
