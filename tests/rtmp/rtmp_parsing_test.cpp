// The RTMP client's pure parsers: publish URLs, Annex-B access units and the
// bounds check in front of the AMF0 decoder.
#include <gtest/gtest.h>

#include <string>

#include "RtmpLib/jni/rtmp_aac.h"
#include "RtmpLib/jni/rtmp_amf.h"
#include "RtmpLib/jni/rtmp_avc.h"
#include "RtmpLib/jni/rtmp_url.h"

namespace {

std::string UrlError(const std::string& url) {
  rtmp::RtmpUrl parsed;
  std::string error;
  return rtmp::ParseRtmpUrl(url, &parsed, &error) ? "" : error;
}

TEST(RtmpUrlTest, DefaultPortAndTcUrl) {
  rtmp::RtmpUrl url;
  std::string error;
  ASSERT_TRUE(rtmp::ParseRtmpUrl("rtmp://host/app/stream", &url, &error));
  EXPECT_EQ(url.host, "host");
  EXPECT_EQ(url.port, 1935);
  EXPECT_EQ(url.app, "app");
  EXPECT_EQ(url.stream, "stream");
  EXPECT_EQ(rtmp::BuildTcUrl(url), "rtmp://host:1935/app");
}

TEST(RtmpUrlTest, ApplicationEndsAtTheFirstSlashEvenWithAQuery) {
  rtmp::RtmpUrl url;
  std::string error;
  ASSERT_TRUE(rtmp::ParseRtmpUrl("rtmp://10.0.0.1:1936/live?k=1/a/b", &url, &error));
  EXPECT_EQ(url.port, 1936);
  EXPECT_EQ(url.app, "live?k=1");
  EXPECT_EQ(url.stream, "a/b");
}

TEST(RtmpUrlTest, RefusedUrlsNameTheirFault) {
  EXPECT_EQ(UrlError("host/app/s"), "RTMP URL: No :// in url!");
  EXPECT_EQ(UrlError("rtmp://"), "No hostname in URL!");
  EXPECT_EQ(UrlError("rtmp://h:70000/app/s"), "Invalid port number!");
  EXPECT_EQ(UrlError("rtmp://h:-1/app/s"), "Invalid port number!");
  EXPECT_EQ(UrlError("rtmp://h:99999999999999999999/app/s"), "Invalid port number!");
  EXPECT_EQ(UrlError("rtmp://h"), "No application in URL!");
  EXPECT_EQ(UrlError("rtmp://h/app"), "No stream in URL!");
  EXPECT_EQ(UrlError("rtmp://h/app/"), "No stream in URL!");
  EXPECT_EQ(UrlError("rtmp://" + std::string(256, 'h') + "/app/s"), "Hostname exceeds 255 characters!");
  EXPECT_EQ(UrlError("rtmp://" + std::string(255, 'h') + "/app/s"), "");
}

TEST(RtmpUrlTest, LongApplicationKeepsTcUrlWithin511Characters) {
  rtmp::RtmpUrl url;
  std::string error;
  ASSERT_TRUE(rtmp::ParseRtmpUrl("rtmp://h/" + std::string(1000, 'a') + "/s", &url, &error));
  EXPECT_EQ(rtmp::BuildTcUrl(url).size(), 511u);
}

TEST(RtmpAvcTest, StartCodesOfBothLengthsAndTrailingZerosAreSplitOff) {
  const std::string au("\x00\x00\x00\x01\x67\x64\x00\x1F\x00\x00\x00\x01\x68\xEE\x00\x00\x01\x65\x88\x00", 20);
  const auto units = rtmp::SplitAnnexB(reinterpret_cast<const uint8_t*>(au.data()), au.size());
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(units[0].type(), 7);
  EXPECT_EQ(units[0].size, 4u);
  EXPECT_EQ(units[1].type(), 8);
  EXPECT_EQ(units[1].size, 2u);
  EXPECT_EQ(units[2].type(), 5);
  EXPECT_EQ(units[2].size, 2u);

  int length = 0;
  EXPECT_EQ(rtmp::FindStartCode(reinterpret_cast<const uint8_t*>(au.data()), 20, &length), 0);
  EXPECT_EQ(length, 4);
  // A start code in the last four bytes is not looked for.
  const std::string tail("\xAA\xBB\x00\x00\x01\x65", 6);
  EXPECT_EQ(rtmp::FindStartCode(reinterpret_cast<const uint8_t*>(tail.data()), 6, &length), -1);
}

TEST(RtmpAvcTest, ShortSpsGivesNoConfiguration) {
  const uint8_t sps[] = {0x67, 0x64};
  const uint8_t pps[] = {0x68, 0xEE};
  EXPECT_TRUE(rtmp::BuildAvcDecoderConfig({sps, sizeof(sps)}, {pps, sizeof(pps)}).empty());
}

TEST(RtmpAacTest, SequenceHeadersOfTheTable) {
  uint8_t out[7];
  ASSERT_TRUE(rtmp::BuildAacSequenceHeader(44100, 1, out));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 7), std::string("\xAF\x00\x13\x88\x56\xE5\xA0", 7));
  // Stereo is parametric stereo on one core channel: the same configuration.
  ASSERT_TRUE(rtmp::BuildAacSequenceHeader(48000, 2, out));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 7), std::string("\xAF\x00\x13\x08\x56\xE5\x98", 7));
  EXPECT_FALSE(rtmp::BuildAacSequenceHeader(16000, 2, out));
}

bool WellFormed(const std::string& bytes, int depth = rtmp::kMaxAmfDepth) {
  return rtmp::AmfWellFormed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), depth);
}

TEST(RtmpAmfTest, NestingDepthAndLengthsAreBounded) {
  std::string nested;
  for (int i = 0; i < 5; ++i) nested += std::string("\x03\x00\x01k", 4);
  nested += std::string(1, '\x05');
  for (int i = 0; i < 5; ++i) nested += std::string("\x00\x00\x09", 3);
  EXPECT_TRUE(WellFormed(nested, 5));
  EXPECT_FALSE(WellFormed(nested, 4));
  EXPECT_FALSE(WellFormed(nested.substr(0, nested.size() - 1)));
  EXPECT_FALSE(WellFormed(std::string("\x02\x00\x05" "abc", 6)));
  EXPECT_FALSE(WellFormed(std::string("\x0C\x7F\xFF\xFF\xFF" "a", 6)));
  EXPECT_FALSE(WellFormed(std::string("\x00\x01\x02", 3)));
  EXPECT_TRUE(WellFormed(std::string("\x0A\x00\x00\x00\x02\x05\x06", 7)));
  EXPECT_FALSE(WellFormed(std::string("\x0A\x00\x00\x00\x03\x05\x06", 7)));
}

TEST(RtmpAmfTest, WriterRefusesWhatDoesNotFit) {
  rtmp::AmfWriter small(8);
  small.String("0123456789");
  EXPECT_FALSE(small.ok());
  rtmp::AmfWriter fits(64);
  fits.String("connect").Number(1).Null();
  ASSERT_TRUE(fits.ok());
  std::string method;
  int transaction = 0;
  ASSERT_TRUE(rtmp::PeekMethodAndTransaction(fits.data(), fits.size(), &method, &transaction));
  EXPECT_EQ(method, "connect");
  EXPECT_EQ(transaction, 1);
}

}  // namespace
