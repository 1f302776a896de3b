// The sample host's publish command line: the address split the library
// needs, option checking, and the microphone choice by name.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "tools/host/publish_options.h"

namespace {

TEST(HostPublishAddress, SplitsServerApplicationAndStream) {
  std::string server, app, stream;
  ASSERT_TRUE(SplitPublishAddress("rtmp://127.0.0.1:1935/live/cam", &server, &app, &stream));
  EXPECT_EQ(server, "rtmp://127.0.0.1:1935");
  EXPECT_EQ(app, "live");
  EXPECT_EQ(stream, "cam");
  // Everything after the application belongs to the stream, keys included.
  ASSERT_TRUE(SplitPublishAddress("rtmp://example.test/app/a/b?key=1", &server, &app, &stream));
  EXPECT_EQ(server, "rtmp://example.test");
  EXPECT_EQ(app, "app");
  EXPECT_EQ(stream, "a/b?key=1");
}

TEST(HostPublishAddress, RefusesAddressesMissingAPart) {
  std::string server, app, stream;
  for (const char* url : {"", "rtmp://", "rtmp://host", "rtmp://host/", "rtmp://host/app", "rtmp://host/app/",
                          "rtmp:///app/stream", "rtmp://host//stream", "host/app/stream", "://host/app/stream"})
    EXPECT_FALSE(SplitPublishAddress(url, &server, &app, &stream)) << url;
}

TEST(HostPublishOptions, DefaultsAndEveryOption) {
  PublishOptions defaults;
  std::string error;
  ASSERT_TRUE(ParsePublishOptions({"--url", "rtmp://h/a/s"}, &defaults, &error)) << error;
  EXPECT_EQ(defaults.seconds, 0);
  EXPECT_EQ(defaults.width, 1280);
  EXPECT_EQ(defaults.height, 720);
  EXPECT_EQ(defaults.fps, 25);
  EXPECT_TRUE(defaults.mic.empty());
  EXPECT_TRUE(defaults.file.empty());
  EXPECT_FALSE(defaults.verbose);

  PublishOptions options;
  ASSERT_TRUE(ParsePublishOptions({"--seconds", "4", "--size", "640x360", "--fps", "30", "--mic", "Monitor of",
                                   "--lib", "/x/libStrivon.so", "--verbose", "--url", "rtmp://h:1/a/s"},
                                  &options, &error))
      << error;
  EXPECT_EQ(options.server, "rtmp://h:1");
  EXPECT_EQ(options.seconds, 4);
  EXPECT_EQ(options.width, 640);
  EXPECT_EQ(options.height, 360);
  EXPECT_EQ(options.fps, 30);
  EXPECT_EQ(options.mic, "Monitor of");
  EXPECT_EQ(options.library, "/x/libStrivon.so");
  EXPECT_TRUE(options.verbose);
  PublishOptions fromFile;
  ASSERT_TRUE(ParsePublishOptions({"--file", "/tmp/a.mp4", "--url", "rtmp://h:1/a/s"}, &fromFile, &error)) << error;
  EXPECT_EQ(fromFile.file, "/tmp/a.mp4");
}

TEST(HostPublishOptions, RefusesBadInput) {
  const std::vector<std::vector<std::string>> bad = {
      {},                                                  // no address
      {"--url", "rtmp://h/a"},                             // no stream
      {"--url", "rtmp://h/a/s", "--seconds"},              // value missing
      {"--url", "rtmp://h/a/s", "--seconds", "-1"},        // negative
      {"--url", "rtmp://h/a/s", "--seconds", "4s"},        // trailing text
      {"--url", "rtmp://h/a/s", "--fps", "0"},             // no pictures
      {"--url", "rtmp://h/a/s", "--fps", "99999999999"},   // overflow
      {"--url", "rtmp://h/a/s", "--size", "1280"},         // no height
      {"--url", "rtmp://h/a/s", "--size", "641x360"},      // odd width for 4:2:0
      {"--url", "rtmp://h/a/s", "--size", "x360"},         // no width
      {"--url", "rtmp://h/a/s", "--mic", ""},              // empty name
      {"--url", "rtmp://h/a/s", "--volume", "3"},          // unknown option
      {"--url", "rtmp://h/a/s", "--file", "/tmp/a.mp4", "--mic", "x"},  // a file brings its own sound
  };
  for (const auto& args : bad) {
    PublishOptions options;
    std::string error;
    EXPECT_FALSE(ParsePublishOptions(args, &options, &error)) << ::testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }
}

TEST(HostMicrophoneChoice, ExactNameBeforePartOfAName) {
  const std::vector<std::string> names = {"Built-in Audio", "Monitor of Built-in Audio", "USB Mic"};
  EXPECT_EQ(ChooseMicrophone(names, ""), 0);
  EXPECT_EQ(ChooseMicrophone(names, "USB Mic"), 2);
  EXPECT_EQ(ChooseMicrophone(names, "Built-in Audio"), 0);
  EXPECT_EQ(ChooseMicrophone(names, "Monitor"), 1);
  EXPECT_EQ(ChooseMicrophone(names, "Bluetooth"), -1);
  EXPECT_EQ(ChooseMicrophone({}, ""), -1);
}

TEST(HostMediaFile, OnlyAReadableRegularFileIsPublished) {
  const std::string folder = ::testing::TempDir();
  const std::string fifo = folder + "strivon_host_fifo.mp4", file = folder + "strivon_host_file.mp4";
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::FILE* made = std::fopen(file.c_str(), "wb");
  ASSERT_NE(made, nullptr);
  std::fclose(made);
  std::string reason;
  EXPECT_TRUE(CheckMediaFile(file, &reason));
  EXPECT_FALSE(CheckMediaFile(folder + "strivon_host_missing.mp4", &reason));
  EXPECT_EQ(reason, "No such file or directory");
  EXPECT_FALSE(CheckMediaFile(fifo, &reason));
  EXPECT_EQ(reason, "not a regular file");
  EXPECT_FALSE(CheckMediaFile(folder, &reason));
  ::unlink(fifo.c_str());
  ::unlink(file.c_str());
}

}  // namespace
