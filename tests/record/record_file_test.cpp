// The recorder's file: header and script tag bytes, tag framing, durations,
// the time line across reconnections, and failures that must be reported.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "strivon/RtmpRecord.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiny_disk.h"

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

// Walks the tags after the 124-byte header (which ends with the script
// tag's PreviousTagSize): every tag has its PreviousTagSize behind it, the
// last one included, and the file ends right there.
std::vector<Tag> Tags(const std::vector<uint8_t>& b) {
  std::vector<Tag> tags;
  EXPECT_GE(b.size(), 124u);
  if (b.size() < 124) return tags;
  EXPECT_EQ(Be(b, 120, 4), 107u);
  size_t at = 124;
  while (at < b.size()) {
    if (at + 11 > b.size()) {
      ADD_FAILURE() << "a partial tag header at " << at << " of " << b.size();
      break;
    }
    Tag t{b[at], Be(b, at + 1, 3), Be(b, at + 4, 3) | uint32_t{b[at + 7]} << 24, at + 11};
    const size_t end = at + 11 + t.size;
    if (end + 4 > b.size()) {
      ADD_FAILURE() << "the tag at " << at << " ends beyond the file or without its PreviousTagSize (file "
                    << b.size() << " bytes, tag body " << t.size << ")";
      break;
    }
    EXPECT_EQ(Be(b, end, 4), t.size + 11) << "behind the tag at " << at;
    tags.push_back(t);
    at = end + 4;
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
  record.SetVideoSize(640, 360);
  ASSERT_TRUE(record.SetRecordedFilePath(path.c_str()));
  for (int t = 1000; t <= 61000; t += 1000) ASSERT_TRUE(record.SetMediaData(body, 4, true, t));
  for (int t = 1040; t <= 60990; t += 1000) ASSERT_TRUE(record.SetMediaData(body, 3, false, t));
  // Readable as it is, before it is closed: a crash leaves this file.
  std::vector<uint8_t> open = ReadAll(path);
  ASSERT_GE(open.size(), 124u);
  EXPECT_EQ(std::string(open.begin(), open.begin() + 3), "FLV");
  EXPECT_EQ(open[3], 1);
  EXPECT_EQ(open[4], 5);
  EXPECT_EQ(Be(open, 5, 4), 9u);
  EXPECT_EQ(Be(open, 9, 4), 0u);
  EXPECT_EQ(open[13], 18);
  EXPECT_EQ(Be(open, 14, 3), 96u);
  EXPECT_EQ(std::string(open.begin() + 27, open.begin() + 37), "onMetaData");
  EXPECT_EQ(open[37], 8);
  EXPECT_EQ(Be(open, 38, 4), 4u);
  EXPECT_EQ(std::string(open.begin() + 44, open.begin() + 52), "duration");
  EXPECT_EQ(DoubleAt(open, 53), 0.0);
  EXPECT_EQ(std::string(open.begin() + 63, open.begin() + 75), "videocodecid");
  EXPECT_EQ(DoubleAt(open, 76), 7.0);
  EXPECT_EQ(std::string(open.begin() + 86, open.begin() + 91), "width");
  EXPECT_EQ(DoubleAt(open, 92), 640.0);
  EXPECT_EQ(std::string(open.begin() + 102, open.begin() + 108), "height");
  EXPECT_EQ(DoubleAt(open, 109), 360.0);
  EXPECT_EQ(Be(open, 117, 3), 9u);
  EXPECT_EQ(Tags(open).size(), 61u + 60u) << "a whole file before it is completed";
  EXPECT_TRUE(record.Close());

  const std::vector<uint8_t> closed = ReadAll(path);
  EXPECT_EQ(DoubleAt(closed, 53), 60.0);
  EXPECT_TRUE(std::equal(closed.begin(), closed.begin() + 53, open.begin()));
  EXPECT_TRUE(std::equal(closed.begin() + 61, closed.end(), open.begin() + 61, open.end()))
      << "completing patches the duration only";
  const std::vector<Tag> tags = Tags(closed);
  ASSERT_EQ(tags.size(), 61u + 60u);
  EXPECT_EQ(tags[0].type, 8);
  EXPECT_EQ(tags[0].time, 0u);
  EXPECT_EQ(tags[61].type, 9);
  EXPECT_EQ(tags[61].time, 40u);
  EXPECT_EQ(closed[tags[0].bodyAt], 0xAF);
}

TEST_F(RecordFile, DurationIsTheSpanOfTheStampsInTheFile) {
  const std::string path = Path("audio_only");
  ASSERT_TRUE(record.SetRecordedFilePath(path.c_str()));
  ASSERT_TRUE(record.SetMediaData(body, 4, true, 5000));
  ASSERT_TRUE(record.SetMediaData(body, 4, true, 9999));
  EXPECT_TRUE(record.Close());
  EXPECT_EQ(DoubleAt(ReadAll(path), 53), 4.999);

  // Both kinds, ending half-way through a second.
  ASSERT_TRUE(record.SetRecordedFilePath(path.c_str()));
  for (int t = 200; t <= 5000; t += 23) ASSERT_TRUE(record.SetMediaData(body, 4, true, t));
  for (int t = 210; t <= 5040; t += 40) ASSERT_TRUE(record.SetMediaData(body, 3, false, t));
  EXPECT_TRUE(record.Close());
  const std::vector<uint8_t> both = ReadAll(path);
  uint32_t last = 0;
  for (const Tag& t : Tags(both)) last = std::max(last, t.time);
  EXPECT_EQ(last, 4810u);
  EXPECT_EQ(DoubleAt(both, 53), 4.81);

  // Nothing recorded: a whole file of no length.
  ASSERT_TRUE(record.SetRecordedFilePath(path.c_str()));
  EXPECT_TRUE(record.Close());
  const std::vector<uint8_t> empty = ReadAll(path);
  EXPECT_EQ(empty.size(), 124u);
  EXPECT_TRUE(Tags(empty).empty());
  EXPECT_EQ(DoubleAt(empty, 53), 0.0);
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

// The recorder on a 16 KiB disk of a child process's own; the child leaves
// a copy of the file, and the number of tags it wrote, in the test's folder.
TEST_F(RecordFile, AFullDiskEndsTheFileWithItsLastWholeTagCompleted) {
  const std::string disk = m_dir.File("disk"), copy = Path("full_copy"), written = m_dir.File("written");
  ASSERT_EQ(::mkdir(disk.c_str(), 0755), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (!test_support::MountTinyDisk(disk, "16k")) ::_exit(3);
    RtmpRecord full{[] { return 0u; }};
    const std::string path = disk + "/full.flv";
    if (!full.SetRecordedFilePath(path.c_str())) ::_exit(4);
    // Tags that do not fit a page evenly, so the disk fills inside one.
    const std::vector<unsigned char> frame(1500, 0x5A);
    int tags = 0;
    while (tags < 1000 && full.SetMediaData(frame.data(), static_cast<int>(frame.size()), tags % 2 == 0, tags * 20.0))
      ++tags;
    if (full.IsOpen() || full.WriteError() != ENOSPC) ::_exit(5);
    // Nothing more goes into a recording that has ended.
    if (full.SetMediaData(frame.data(), static_cast<int>(frame.size()), true, 1e6)) ::_exit(6);
    const bool saved = test_support::WriteFileBytes(copy, test_support::ReadFileBytes(path)) &&
                       test_support::WriteFileBytes(written, std::to_string(tags));
    ::_exit(saved ? 0 : 7);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "no user and mount namespaces here";
  ASSERT_EQ(WEXITSTATUS(status), 0) << "1: killed, 4: no header, 5: not ended by ENOSPC, 6: written after the end";

  const std::vector<uint8_t> file = ReadAll(copy);
  const int tags = std::stoi(test_support::ReadFileBytes(written));
  ASSERT_GT(tags, 2);
  const std::vector<Tag> found = Tags(file);
  ASSERT_EQ(static_cast<int>(found.size()), tags);
  EXPECT_EQ(found.back().time, static_cast<uint32_t>((tags - 1) * 20));
  EXPECT_EQ(DoubleAt(file, 53), (tags - 1) * 20 / 1000.0);
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
