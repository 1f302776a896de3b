// Publish parameters and the publish URL as the host sets them through the
// manager's API.
#include <gtest/gtest.h>

#include "manager_test_support.h"
#include "strivon/PublishUrl.h"

namespace {

class PublishParamsTest : public ::testing::Test {
 protected:
  ManagerPtr manager = MakeManager(nullptr);
  RtmpPublishManager* m = Concrete(manager);
};

TEST_F(PublishParamsTest, AudioBitRateIsClampedAndBytesPerSecondDerived) {
  m->SetPublishAudioPara(44100, 2, 16, 8000, 80, false);
  EXPECT_EQ(m->Audio().bitrate, 16000);
  EXPECT_EQ(m->Audio().bytesPerSecond, 176400);
  m->SetPublishAudioPara(44100, 2, 16, 96000, 80, false);
  EXPECT_EQ(m->Audio().bitrate, 64000);
  m->SetPublishAudioPara(48000, 1, 16, 32000, 30, true);
  const AudioParams audio = m->Audio();
  EXPECT_EQ(audio.bitrate, 32000);
  EXPECT_EQ(audio.bytesPerSecond, 96000);
  EXPECT_EQ(audio.volume, 30);
  EXPECT_TRUE(audio.mute);
}

TEST_F(PublishParamsTest, HostileAudioFormatDoesNotOverflowTheByteRate) {
  m->SetPublishAudioPara(2000000000, 2000000000, 2000000000, 0, 0, false);
  EXPECT_GT(m->Audio().bytesPerSecond, 0);
}

TEST_F(PublishParamsTest, VideoRulesForWidthRateKeyIntervalAndBitRate) {
  m->SetPublishVideoPara(640, 360, 25, 800000, 0, 50);
  EXPECT_EQ(m->SetPublishVideoPara(0, 480, 15, 500, 0, 0), 640 * 480 * 3);
  VideoParams video = m->Video();
  EXPECT_EQ(video.outputWidth, 640);
  EXPECT_EQ(video.outputHeight, 480);
  EXPECT_EQ(video.areaWidth, 640);
  EXPECT_EQ(video.areaHeight, 480);
  EXPECT_EQ(video.keyInterval, 45);
  EXPECT_EQ(video.bitrate, 64000);
  EXPECT_FALSE(video.preview);

  for (int bitrate : {0, 64000, 800000, -5}) {
    m->SetPublishVideoPara(640, 480, 15, bitrate, 0, 0);
    EXPECT_EQ(m->Video().bitrate, bitrate);
  }
}

// An odd side was stored as given; the encoder refuses it and the run went
// live without a single picture.
TEST_F(PublishParamsTest, SizesBecomeEvenAndStayWithinWhatIsEncoded) {
  const struct {
    int width, height, storedWidth, storedHeight;
  } cases[] = {{853, 481, 852, 480}, {101, 101, 100, 100}, {1919, 1079, 1918, 1078},
               {2, 1, 16, 16},       {100000, 2147483647, 1920, 1080}};
  for (const auto& c : cases) {
    EXPECT_EQ(m->SetPublishVideoPara(c.width, c.height, 25, 0, 0, 0), c.storedWidth * c.storedHeight * 3);
    const VideoParams video = m->Video();
    EXPECT_EQ(video.outputWidth, c.storedWidth) << c.width;
    EXPECT_EQ(video.outputHeight, c.storedHeight) << c.height;
    EXPECT_EQ(video.frameBytes, c.storedWidth * c.storedHeight * 3);
  }
}

TEST_F(PublishParamsTest, NonsenseSizesAndRatesKeepThePreviousValuesHighRatesAreCapped) {
  m->SetPublishVideoPara(640, 480, 20, 0, 0, 0);
  EXPECT_EQ(m->SetPublishVideoPara(-1, 0, 0, 0, 0, 0), 640 * 480 * 3);
  VideoParams video = m->Video();
  EXPECT_EQ(video.outputHeight, 480);
  EXPECT_EQ(video.frameRate, 20);
  EXPECT_EQ(video.keyInterval, 60);
  for (int rate : {1001, 5000, 2147483647}) {
    m->SetPublishVideoPara(640, 480, rate, 0, 0, 0);
    EXPECT_EQ(m->Video().frameRate, kMaxFrameRate) << rate;
    EXPECT_EQ(m->Video().keyInterval, 3 * kMaxFrameRate) << rate;
  }
}

TEST_F(PublishParamsTest, SoundFormatsTheEncoderCannotTakeAreRefused) {
  m->SetPublishAudioPara(48000, 1, 16, 32000, 80, false);
  m->SetPublishAudioPara(22050, 3, 8, 32000, 80, false);
  AudioParams audio = m->Audio();
  EXPECT_EQ(audio.sampleRate, 48000);
  EXPECT_EQ(audio.channels, 1);
  EXPECT_EQ(audio.bitsPerSample, 16);
  EXPECT_EQ(audio.bytesPerSecond, 96000);
  m->SetPublishAudioPara(-2147483647 - 1, 2, 16, 32000, 80, false);
  audio = m->Audio();
  EXPECT_EQ(audio.sampleRate, 48000);
  EXPECT_EQ(audio.channels, 2) << "each value is judged on its own";
}

TEST_F(PublishParamsTest, DisplayWindowSwitchesPreviewOnAndNullLeavesIt) {
  m->SetPublishVideoPara(320, 240, 10, 0, 0x1234, 0);
  EXPECT_TRUE(m->Video().preview);
  EXPECT_EQ(m->Video().display, 0x1234ul);
  m->SetPublishVideoPara(320, 240, 10, 0, 0, 0);
  EXPECT_EQ(m->Video().display, 0x1234ul);
  EXPECT_TRUE(m->EnablePreviewRender(false));
  EXPECT_FALSE(m->Video().preview);
}

TEST_F(PublishParamsTest, DefaultRouteBeforeAnyUrl) {
  EXPECT_EQ(m->Target().route, kRouteScheduled);
  EXPECT_EQ(m->Target().transport, kTransportUdp);
  EXPECT_EQ(m->Audio().sampleRate, 44100);
  EXPECT_EQ(m->Video().frameBytes, 244800);
}

TEST_F(PublishParamsTest, RtmpUrlPublishesDirectlyAndSplitsTheKey) {
  m->SetPublishUrl("rtmp://10.0.0.1:1935", "live?k", "s");
  const PublishTarget target = m->Target();
  EXPECT_EQ(target.route, kRouteDirect);
  EXPECT_EQ(target.transport, kTransportTcp);
  EXPECT_EQ(target.storedUrl, "rtmp://10.0.0.1:1935");
  EXPECT_EQ(target.app, "live");
  EXPECT_EQ(target.key, "k");
  EXPECT_EQ(target.stream, "s");
  EXPECT_EQ(target.protocolWord, "rtmp");
}

TEST_F(PublishParamsTest, SchedulingUrls) {
  m->SetPublishUrl("10.0.0.1:8080", "live", "s");
  EXPECT_EQ(m->Target().route, kRouteScheduled);
  EXPECT_EQ(m->Target().transport, kTransportUdp);
  EXPECT_EQ(m->Target().storedUrl, "http://10.0.0.1:8080/?cmd=SchedulingRequest_version2&app=live&stream=s");

  m->SetPublishUrl("httpRtmpUDP://H", "live", "s");
  EXPECT_EQ(m->Target().route, kRouteScheduled);
  EXPECT_EQ(m->Target().transport, kTransportUdp);
  EXPECT_EQ(m->Target().storedUrl, "http://H/?cmd=SchedulingRequest_version2&app=live&stream=s");

  m->SetPublishUrl("httpRtmp://H", "live", "s");
  EXPECT_EQ(m->Target().transport, kTransportTcp);
  m->SetPublishUrl("rtmpUDP://H", "live", "s");
  EXPECT_EQ(m->Target().route, kRouteDirect);
  EXPECT_EQ(m->Target().transport, kTransportUdp);

  m->SetPublishUrl("HTTP://H:81", "live", "s");
  EXPECT_EQ(m->Target().route, kRouteScheduled);
  EXPECT_EQ(m->Target().transport, kTransportUdp);
  EXPECT_EQ(m->Target().storedUrl, "http://H:81/?cmd=SchedulingRequest_version2&app=live&stream=s");
}

TEST_F(PublishParamsTest, UnknownOrMiscasedProtocolLeavesRouteAndUrl) {
  m->SetPublishUrl("rtmp://H", "live?key1", "s");
  for (const char* url : {"Rtmp://X", "ftp://X"}) {
    m->SetPublishUrl(url, "other", "t");
    const PublishTarget target = m->Target();
    EXPECT_EQ(target.route, kRouteDirect) << url;
    EXPECT_EQ(target.transport, kTransportTcp) << url;
    EXPECT_EQ(target.storedUrl, "rtmp://H") << url;
    EXPECT_EQ(target.app, "other");
    EXPECT_EQ(target.stream, "t");
    EXPECT_EQ(target.key, "key1") << "a name without '?' keeps the key";
  }
}

TEST_F(PublishParamsTest, EmptyPartsStoreTheNamesOnly) {
  m->SetPublishUrl("rtmp://H", "live?k", "s");
  m->SetPublishUrl("rtmp://other", "app2?k2", "");
  PublishTarget target = m->Target();
  EXPECT_EQ(target.storedUrl, "rtmp://H");
  EXPECT_EQ(target.app, "app2?k2");
  EXPECT_EQ(target.stream, "");
  EXPECT_EQ(target.key, "k");
  m->SetPublishUrl(nullptr, nullptr, nullptr);
  target = m->Target();
  EXPECT_EQ(target.storedUrl, "rtmp://H");
  EXPECT_EQ(target.app, "");
}

TEST_F(PublishParamsTest, SchedulingUrlEscapesNamesThatWouldBreakTheQuery) {
  m->SetPublishUrl("H", "li ve", "a&cmd=x#");
  EXPECT_EQ(m->Target().storedUrl, "http://H/?cmd=SchedulingRequest_version2&app=li%20ve&stream=a%26cmd%3Dx%23");
  EXPECT_EQ(PercentEncode("Az09-._~"), "Az09-._~");
  EXPECT_EQ(PercentEncode("\xE4/"), "%E4%2F");
}

TEST_F(PublishParamsTest, UserIdAndRecordPathIgnoreNull) {
  m->SetUserID("u1");
  m->SetUserID(nullptr);
  m->SetRecordFilePath("/tmp/r.flv");
  m->SetRecordFilePath(nullptr);
  EXPECT_EQ(m->UserId(), "u1");
  EXPECT_EQ(m->RecordFilePath(), "/tmp/r.flv");
}

TEST_F(PublishParamsTest, UrlPartsAreKeptApartFromThePublishTarget) {
  EXPECT_FALSE(m->SetPublishUrlParts(nullptr, "h/app", "s"));
  EXPECT_FALSE(m->SetPublishUrlParts("rtmp", nullptr, "s"));
  EXPECT_FALSE(m->SetPublishUrlParts("rtmp", "h/app", nullptr));
  const PublishTarget before = m->Target();
  EXPECT_TRUE(m->SetPublishUrlParts("rtmp", "h/app?key", "s"));
  const PublishTarget after = m->Target();
  EXPECT_EQ(after.storedUrl, before.storedUrl);
  EXPECT_EQ(after.route, before.route);
  EXPECT_EQ(after.key, before.key);
}

}  // namespace
