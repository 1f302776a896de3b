// The log writer as a reader of the log file sees it: name, line format,
// verbatim messages, failure while the folder cannot be made, and whole lines
// under concurrent writers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "common/Log.h"

namespace fs = std::filesystem;

namespace {

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("strivon-log-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    module_ = (dir_ / "libStrivon.so").string();
    log_testing::ResetLog(module_);
  }
  void TearDown() override {
    log_testing::ResetLog("");
    fs::remove_all(dir_);
  }
  std::vector<std::string> Lines() {
    std::ifstream in(log_testing::CurrentLogPath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  fs::path dir_;
  std::string module_;
};

TEST_F(LogTest, FileNameAndLineFormat) {
  WriteLog(kLogInfo, "src/rtmp.cpp", 42, "CRtmp::CloseSocket", "closed");
  const std::string path = log_testing::CurrentLogPath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(fs::path(path).parent_path(), dir_ / "RtmpLog");
  const std::regex name(R"(libStrivon\.so\[\d{4}-\d{2}-\d{2}-\d{2}-\d{2}-\d{2}\] \.log)");
  EXPECT_TRUE(std::regex_match(fs::path(path).filename().string(), name)) << path;

  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  const std::regex line(R"(\[\d{4}-\d{2}-\d{2}-\d{2}-\d{2}-\d{2}\] _INFO_ src/rtmp\.cpp 42 CRtmp::CloseSocket: closed)");
  EXPECT_TRUE(std::regex_match(lines[0], line)) << lines[0];
}

TEST_F(LogTest, MessagesAreWrittenVerbatimAndWhole) {
  WriteLog(kLogDebug, "f.cpp", 1, "F::G", "100% of %d %s");
  const std::string longMessage(2000, 'x');
  WriteLog(kLogWarning, "f.cpp", 2, "F::G", longMessage.c_str());
  std::string formatted;
  STRIVON_LOG(kLogFatal, "F::H", "value %d and %s", 7, "text");

  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("_DEBUG_ f.cpp 1 F::G: 100% of %d %s"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find(": " + longMessage), std::string::npos);
  EXPECT_EQ(lines[1].size(), lines[1].find(": ") + 2 + longMessage.size());
  EXPECT_NE(lines[2].find("F::H: value 7 and text"), std::string::npos) << lines[2];
}

TEST_F(LogTest, FormatStringGrowsPastItsFirstSize) {
  std::string out;
  const std::string big(5000, 'a');
  EXPECT_EQ(std::string(FormatString(&out, "<%s|%d>", big.c_str(), 12)), "<" + big + "|12>");
  EXPECT_EQ(out.size(), big.size() + 5);
  EXPECT_STREQ(FormatString(&out, "%s", ""), "");
}

TEST_F(LogTest, UnwritableFolderReportsAndLaterOpensANewFile) {
  // A plain file where the log folder should go makes every open fail.
  { std::ofstream(dir_ / "RtmpLog") << "in the way"; }
  ::testing::internal::CaptureStdout();
  WriteLog(kLogInfo, "f.cpp", 1, "F::G", "lost");
  WriteLog(kLogInfo, "f.cpp", 2, "F::G", "lost too");
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("can't open log file " + (dir_ / "RtmpLog").string() + "/libStrivon.so["), std::string::npos)
      << printed;
  EXPECT_EQ(printed.find('\n'), std::string::npos);
  EXPECT_TRUE(log_testing::CurrentLogPath().empty());

  fs::remove(dir_ / "RtmpLog");
  WriteLog(kLogInfo, "f.cpp", 3, "F::G", "kept");
  ASSERT_FALSE(log_testing::CurrentLogPath().empty());
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("F::G: kept"), std::string::npos);
}

TEST_F(LogTest, ConcurrentWritersNeverTearALine) {
  constexpr int kThreads = 8, kLines = 1000;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([t] {
      const std::string body = "thread " + std::to_string(t) + " " + std::string(100 + t * 13, 'a' + t);
      for (int i = 0; i < kLines; ++i) WriteLog(kLogInfo, "w.cpp", i, "W::Run", body.c_str());
    });
  }
  for (auto& w : writers) w.join();

  const auto lines = Lines();
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
  const std::regex whole(R"(\[[-\d]+\] _INFO_ w\.cpp \d+ W::Run: thread (\d) ([a-h]+))");
  std::vector<int> perThread(kThreads, 0);
  for (const auto& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, whole)) << line;
    const int t = std::stoi(m[1]);
    EXPECT_EQ(m[2].str(), std::string(100 + t * 13, 'a' + t));
    ++perThread[t];
  }
  for (int count : perThread) EXPECT_EQ(count, kLines);
}

TEST_F(LogTest, AnEndlessStreamOfLinesKeepsTheFolderBoundedUnderOneName) {
  const std::string line(1000, 'r');
  WriteLog(kLogInfo, "f.cpp", 1, "F::G", line.c_str());
  const std::string path = log_testing::CurrentLogPath();
  const size_t total = (kLogKeptFiles + 2) * kLogRotateBytes;
  for (size_t written = 0; written < total; written += line.size())
    WriteLog(kLogInfo, "f.cpp", 2, "F::G", line.c_str());
  WriteLog(kLogInfo, "f.cpp", 4, "F::G", "last");
  EXPECT_EQ(log_testing::CurrentLogPath(), path);

  std::vector<std::string> names;
  uintmax_t folderBytes = 0;
  for (const auto& entry : fs::directory_iterator(dir_ / "RtmpLog")) {
    names.push_back(entry.path().filename().string());
    folderBytes += entry.file_size();
  }
  std::sort(names.begin(), names.end());
  const std::string name = fs::path(path).filename().string();
  std::vector<std::string> expected{name};
  for (int i = 1; i <= kLogKeptFiles; ++i) expected.push_back(name + "." + std::to_string(i));
  EXPECT_EQ(names, expected);
  EXPECT_LE(folderBytes, (kLogKeptFiles + 1) * (kLogRotateBytes + kLogMaxLineBytes));
  ASSERT_FALSE(Lines().empty());
  EXPECT_NE(Lines().back().find("F::G: last"), std::string::npos);
}

TEST_F(LogTest, AHugeLineIsCutAndPeerTextsAreExcerpted) {
  const std::string huge(100u << 20, 'h');
  WriteLog(kLogInfo, "f.cpp", 1, "F::G", huge.c_str());
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_LE(lines[0].size() + 1, kLogMaxLineBytes);
  EXPECT_EQ(lines[0].substr(lines[0].size() - 13), "...(line cut)");

  EXPECT_EQ(LogExcerpt("short reply"), "short reply");
  const std::string excerpt = LogExcerpt(huge);
  EXPECT_EQ(excerpt.size(), kLogExcerptBytes + std::strlen("...(104857600 bytes)"));
  EXPECT_EQ(excerpt.substr(kLogExcerptBytes - 1), "h...(104857600 bytes)");
  // A cut never leaves half a character behind.
  const std::string wide = std::string(kLogExcerptBytes - 1, 'a') + "\xE4\xBD\xA0" + std::string(10, 'b');
  EXPECT_EQ(LogExcerpt(wide),
            std::string(kLogExcerptBytes - 1, 'a') + "...(" + std::to_string(wide.size()) + " bytes)");
}

TEST(LogBesideModule, DefaultFolderIsBesideTheRunningModule) {
  log_testing::ResetLog("");
  WriteLog(kLogInfo, "f.cpp", 1, "F::G", "beside");
  const fs::path path = log_testing::CurrentLogPath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.parent_path().filename(), "RtmpLog");
  EXPECT_EQ(path.filename().string().rfind("common_log_tests[", 0), 0u) << path;
  log_testing::ResetLog("");
  fs::remove(path);
}

}  // namespace
