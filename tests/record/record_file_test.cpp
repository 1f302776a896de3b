// The recorder's file: header and script tag bytes, tag framing, durations,
// the time line across reconnections, and failures that must be reported.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "strivon/RtmpRecord.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t Be(const std::vector<uint8_t>& b, size_t at, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | b.at(at + i);
  return v;
}

double DoubleAt(const std::vector<uint8_t>& b, size_t at) {
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits = bits << 8 | b.at(at + i);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

struct Tag {
  int type;
  uint32_t size, time;
  size_t bodyAt;
};

// Walks the tags after the 91-byte header, checking every PreviousTagSize.
std::vector<Tag> Tags(const std::vector<uint8_t>& b) {
  std::vector<Tag> tags;
  size_t at = 87;
  uint32_t expectedPrevious = 74;
  while (at + 15 <= b.size()) {
    EXPECT_EQ(Be(b, at, 4), expectedPrevious) << "at " << at;
    Tag t{b[at + 4], Be(b, at + 5, 3), Be(b, at + 8, 3) | uint32_t{b[at + 11]} << 24, at + 15};
    tags.push_back(t);
    expectedPrevious = t.size + 11;
    at += 15 + t.size;
  }
  return tags;
}

class RecordFile : public ::testing::Test {
 protected:
  std::string Path(const char* name) { return m_dir.File(std::string(name) + ".flv"); }
  test_support::TempDir m_dir{"record-file"};
  uint32_t now = 1000;
  RtmpRecord record{[this] { return now; }};
  const unsigned char body[4] = {0xAF, 1, 2, 3};
};

TEST_F(RecordFile, HeaderIsFinalFromTheStartAndOnlyTheDurationIsPatched) {
  const std::string path = Path("layout");
  ASSERT_TRUE(record.SetRecordedFilePath(path.c_str()));
  for (int t = 1000; t <= 61000; t += 1000) ASSERT_TRUE(record.SetMediaData(body, 4, true, t));
  for (int t = 1040; t <= 60990; t += 1000) ASSERT_TRUE(record.SetMediaData(body, 3, false, t));
  // Readable as it is, before it is closed: a crash leaves this file.
  std::vector<uint8_t> open = ReadAll(path);
  ASSERT_GE(open.size(), 91u);
  EXPECT_EQ(std::string(open.begin(), open.begin() + 3), "FLV");
  EXPECT_EQ(open[3], 1);
  EXPECT_EQ(open[4], 5);
  EXPECT_EQ(Be(open, 5, 4), 9u);
  EXPECT_EQ(Be(open, 9, 4), 0u);
  EXPECT_EQ(open[13], 18);
  EXPECT_EQ(Be(open, 14, 3), 63u);
  EXPECT_EQ(std::string(open.begin() + 27, open.begin() + 37), "onMetaData");
  EXPECT_EQ(open[37], 8);
  EXPECT_EQ(Be(open, 38, 4), 2u);
  EXPECT_EQ(std::string(open.begin() + 44, open.begin() + 52), "duration");
  EXPECT_EQ(DoubleAt(open, 53), 0.0);
  EXPECT_EQ(std::string(open.begin() + 63, open.begin() + 75), "videocodecid");
  EXPECT_EQ(DoubleAt(open, 76), 7.0);
  EXPECT_EQ(Be(open, 84, 3), 9u);
  EXPECT_TRUE(record.Close());

  const std::vector<uint8_t> closed = ReadAll(path);
  EXPECT_EQ(DoubleAt(closed, 53), 60.0);
  EXPECT_TRUE(std::equal(closed.begin(), closed.begin() + 53, open.begin()));
  const std::vector<Tag> tags = Tags(closed);
  ASSERT_EQ(tags.size(), 61u + 60u);
  EXPECT_EQ(tags[0].type, 8);
  EXPECT_EQ(tags[0].time, 0u);
  EXPECT_EQ(tags[61].type, 9);
  EXPECT_EQ(tags[61].time, 40u);
  EXPECT_EQ(closed[tags[0].bodyAt], 0xAF);
}

TEST_F(RecordFile, DurationCountsWholeSecondsOfOneKind) {
  const std::string path = Path("audio_only");
  ASSERT_TRUE(record.SetRecordedFilePath(path.c_str()));
  ASSERT_TRUE(record.SetMediaData(body, 4, true, 5000));
  ASSERT_TRUE(record.SetMediaData(body, 4, true, 9999));
  EXPECT_TRUE(record.Close());
  EXPECT_EQ(DoubleAt(ReadAll(path), 53), 4.0);
}

TEST_F(RecordFile, LongRecordingsKeepBitsAbove24InTheExtendedByte) {
  const std::string path = Path("extended");
  ASSERT_TRUE(record.SetRecordedFilePath(path.c_str()));
  ASSERT_TRUE(record.SetMediaData(body, 4, false, 100));
  ASSERT_TRUE(record.SetMediaData(body, 4, false, 100 + 20000000.0));
  ASSERT_TRUE(record.Close());
  const std::vector<Tag> tags = Tags(ReadAll(path));
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_EQ(tags[1].time, 20000000u);  // 0x01312D00: extended byte 1
}

TEST_F(RecordFile, ReconnectionContinuesTheTimeLineWithTheRealPause) {
  const std::string path = Path("reconnect");
  ASSERT_TRUE(record.SetRecordedFilePath(path.c_str()));
  ASSERT_TRUE(record.SetMediaData(body, 4, true, 500));
  ASSERT_TRUE(record.SetMediaData(body, 4, false, 520));
  ASSERT_TRUE(record.SetMediaData(body, 4, true, 5500));
  now += 2500;  // the connection was down for 2.5 s
  record.StartNewTimeLine();
  ASSERT_TRUE(record.SetMediaData(body, 4, true, 0));  // the new encoder starts at 0
  ASSERT_TRUE(record.SetMediaData(body, 4, false, 30));
  ASSERT_TRUE(record.Close());
  const std::vector<Tag> tags = Tags(ReadAll(path));
  ASSERT_EQ(tags.size(), 5u);
  EXPECT_EQ(tags[2].time, 5000u);
  EXPECT_EQ(tags[3].time, 7500u);
  EXPECT_EQ(tags[4].time, 7530u);
  // A new recording starts its own time line at 0.
  ASSERT_TRUE(record.SetRecordedFilePath(path.c_str()));
  ASSERT_TRUE(record.SetMediaData(body, 4, true, 90000));
  ASSERT_TRUE(record.Close());
  EXPECT_EQ(Tags(ReadAll(path)).at(0).time, 0u);
}

TEST_F(RecordFile, FilesThatCannotBeMadeOrWrittenAreFailures) {
  EXPECT_FALSE(record.SetRecordedFilePath(nullptr));
  EXPECT_FALSE(record.SetRecordedFilePath("/nonexistent-folder/x.flv"));
  EXPECT_FALSE(record.SetMediaData(body, 4, true, 0));
  // A full disk: the header cannot be written.
  EXPECT_FALSE(record.SetRecordedFilePath("/dev/full"));
  EXPECT_FALSE(record.IsOpen());
}

TEST_F(RecordFile, AFileThatCannotSeekBackToItsDurationFailsToClose) {
  const std::string pipe = Path("pipe");
  ::unlink(pipe.c_str());
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);  // the recorder's open need not wait
  ASSERT_GE(reader, 0);
  ASSERT_TRUE(record.SetRecordedFilePath(pipe.c_str()));
  ASSERT_TRUE(record.SetMediaData(body, 4, true, 1000));
  EXPECT_FALSE(record.Close()) << "the duration was never written";
  ::close(reader);
  ::unlink(pipe.c_str());
}

TEST_F(RecordFile, StartingAgainCompletesThePreviousFile) {
  const std::string first = Path("first");
  ASSERT_TRUE(record.SetRecordedFilePath(first.c_str()));
  ASSERT_TRUE(record.SetMediaData(body, 4, true, 1000));
  ASSERT_TRUE(record.SetMediaData(body, 4, true, 4000));
  ASSERT_TRUE(record.SetRecordedFilePath(Path("second").c_str()));
  EXPECT_EQ(DoubleAt(ReadAll(first), 53), 3.0);
  {
    RtmpRecord scoped;
    ASSERT_TRUE(scoped.SetRecordedFilePath(first.c_str()));
    ASSERT_TRUE(scoped.SetMediaData(body, 4, true, 0));
    ASSERT_TRUE(scoped.SetMediaData(body, 4, true, 2000));
  }  // destruction completes it too
  EXPECT_EQ(DoubleAt(ReadAll(first), 53), 2.0);
}

}  // namespace
