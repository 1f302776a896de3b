// Recordings that end without a proper close: the publishing process killed
// with SIGKILL, and a disk that fills up. The publishing side runs in a
// forked child so that it can be killed, or given a disk of its own; this
// process makes no manager, so no child inherits libraries whose threads
// it lacks.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/Log.h"
#include "strivon/StatusWords.h"
#include "tests/record/publish_run.h"
#include "tests/support/media_tools.h"
#include "tests/support/nginx_rtmp.h"
#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tiny_disk.h"
#include "tests/support/xvfb_server.h"

namespace {

using namespace strivon_status;

// A child that reports through one pipe. It leaves with _exit: the parent's
// server objects were copied into it and must not be stopped by it.
class ForkedChild {
 public:
  explicit ForkedChild(const std::function<int(int reportFd)>& body) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    m_pid = ::fork();
    if (m_pid == 0) {
      ::close(fds[0]);
      ::_exit(body(fds[1]));
    }
    ::close(fds[1]);
    m_fd = fds[0];
  }
  ~ForkedChild() {
    if (m_pid > 0) Kill();
    if (m_fd >= 0) ::close(m_fd);
  }
  bool started() const { return m_pid > 0; }
  // The next line the child wrote, "" when none came within ms.
  std::string ReadLine(int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      const size_t end = m_pending.find('\n');
      if (end != std::string::npos) {
        std::string line = m_pending.substr(0, end);
        m_pending.erase(0, end + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{m_fd, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
      char buffer[256];
      const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
      if (n <= 0) return "";
      m_pending.append(buffer, static_cast<size_t>(n));
    }
  }
  // SIGKILL; the wait status.
  int Kill() {
    int status = 0;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    return status;
  }
  int Wait() {
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    return status;
  }

 private:
  pid_t m_pid = -1;
  int m_fd = -1;
  std::string m_pending;
};

void Say(int fd, const std::string& line) {
  const std::string text = line + "\n";
  if (::write(fd, text.data(), text.size()) < 0) ::_exit(120);
}

struct Peers {
  test_support::XvfbServer xvfb;
  test_support::PulseServer pulse;
  test_support::NginxRtmp nginx;
  bool Start() {
    if (!xvfb.Start() || !pulse.Start() || !nginx.Start()) return false;
    xvfb.ExportDisplay();
    pulse.ExportToClients();
    return pulse.PlayTone(1000, 60000);
  }
};

// The child's side: publish to nginx and record to path; "recording" once
// the recorder runs. The manager is left to whatever ends the process.
record_test::ManagerPtr StartRecordingRun(Peers* peers, record_test::WaitingNotify* notify, const std::string& path,
                                          int reportFd) {
  record_test::ManagerPtr manager = record_test::MakePublishingManager(notify, peers->pulse.MonitorDescription());
  if (!manager) {
    Say(reportFd, "microphone not listed");
    return nullptr;
  }
  manager->SetPublishUrl(("rtmp://127.0.0.1:" + std::to_string(peers->nginx.port())).c_str(), "live", "cut");
  manager->SetRecordFilePath(path.c_str());
  if (!manager->StartPublish() || !notify->WaitFor(kLevelError, kPublishStart, 1, 20000)) {
    Say(reportFd, "not published");
    return nullptr;
  }
  manager->EnableRecordFile(true);
  Say(reportFd, "recording");
  return manager;
}

long long LastStampMs(const std::string& path) {
  std::vector<test_support::ProbedPacket> packets;
  if (!test_support::ProbePackets(path, &packets)) return -1;
  long long last = -1;
  for (const auto& p : packets) last = std::max(last, p.dtsMs);
  return last;
}

TEST(RecordingCutShort, KilledProcessLeavesAFileThatDecodesUpToTheCut) {
  Peers peers;
  ASSERT_TRUE(peers.Start());
  test_support::TempDir dir("strivon-record-kill");
  const std::string path = dir.File("killed.flv");
  ForkedChild child([&](int fd) {
    record_test::WaitingNotify notify;
    record_test::ManagerPtr manager = StartRecordingRun(&peers, &notify, path, fd);
    if (!manager) return 2;
    for (;;) ::pause();
  });
  ASSERT_TRUE(child.started());
  ASSERT_EQ(child.ReadLine(40000), "recording");

  // A few seconds on file, as far as a reader can tell, then the kill.
  long long beforeKill = -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (beforeKill < 3000 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    beforeKill = LastStampMs(path);
  }
  const int status = child.Kill();
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "child ended early: " << status;
  ASSERT_GE(beforeKill, 3000);

  const long long afterKill = LastStampMs(path);
  Json::Value root;
  ASSERT_TRUE(test_support::FfprobeJson(path, {"-show_format"}, &root));
  printf("killed recording: %lld bytes, last stamp %lld ms (%lld ms seen before the kill), ffprobe duration %s s\n",
         test_support::FileSize(path), afterKill, beforeKill, root["format"]["duration"].asString().c_str());
  record_test::ExpectStreamsWithCodecParameters(path);
  EXPECT_GE(afterKill, beforeKill);
  EXPECT_EQ(test_support::DecodeErrors(path), "");
  EXPECT_EQ(test_support::FlvCheckErrors(path), "") << "a whole FLV file after every tag";
}

TEST(RecordingCutShort, FullDiskIsReportedAsFailure) {
  // A file that cannot even take its header.
  {
    ForkedChild child([](int fd) {
      record_test::WaitingNotify notify;
      record_test::ManagerPtr manager(CreateRtmpPublishManagerWith(&notify, DefaultManagerFactories()));
      manager->SetRecordFilePath("/dev/full");
      manager->EnableRecordFile(true);
      Say(fd, "reported " + std::to_string(notify.Count(kLevelError, kRecordFileError)));
      manager->EnableRecordFile(false);
      return 0;
    });
    EXPECT_EQ(child.ReadLine(20000), "reported 1");
    child.Wait();
  }

  // A disk that fills up while the run records.
  Peers peers;
  ASSERT_TRUE(peers.Start());
  test_support::TempDir dir("strivon-record-full");
  const std::string disk = dir.File("disk"), copy = dir.File("copy.flv");
  ASSERT_EQ(::mkdir(disk.c_str(), 0755), 0);
  ForkedChild child([&](int fd) {
    if (!test_support::MountTinyDisk(disk, "64k")) {
      Say(fd, "no tmpfs");
      return 0;
    }
    // The library's log in the test's folder, to count what it says.
    log_testing::ResetLog(dir.File("libStrivon.so"));
    record_test::WaitingNotify notify;
    record_test::ManagerPtr manager = StartRecordingRun(&peers, &notify, disk + "/full.flv", fd);
    if (!manager) return 2;
    const bool reported = notify.WaitFor(kLevelError, kRecordFileError, 1, 30000);
    // The mount is gone with this process: the parent gets a copy.
    test_support::WriteFileBytes(copy, test_support::ReadFileBytes(disk + "/full.flv"));
    Say(fd, reported ? "reported" : "not reported");
    // The run goes on publishing: two more seconds reach the server while
    // the recorder is told of every tag.
    const std::string server = peers.nginx.RecordingPath("cut");
    const long long atReport = LastStampMs(server);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (LastStampMs(server) < atReport + 2000 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Say(fd, "server went on " + std::to_string(LastStampMs(server) - atReport));
    Say(fd, "reports " + std::to_string(notify.Count(kLevelError, kRecordFileError)));
    const std::string log = test_support::ReadFileBytes(log_testing::CurrentLogPath());
    int causes = 0;
    std::string said;
    for (size_t at = log.find("No space left on device"); at != std::string::npos;
         at = log.find("No space left on device", at + 1)) {
      ++causes;
      const size_t begin = log.rfind('\n', at), end = log.find('\n', at);
      said = log.substr(begin == std::string::npos ? 0 : begin + 1, end == std::string::npos ? end : end - begin - 1);
    }
    Say(fd, "causes logged " + std::to_string(causes));
    Say(fd, said);
    Say(fd, manager->StopPublish() ? "stopped" : "not stopped");
    manager.reset();
    return 0;
  });
  ASSERT_TRUE(child.started());
  const std::string first = child.ReadLine(40000);
  if (first == "no tmpfs") GTEST_SKIP() << "no user and mount namespaces here; only /dev/full was checked";
  ASSERT_EQ(first, "recording");
  EXPECT_EQ(child.ReadLine(40000), "reported");
  const std::string went = child.ReadLine(40000);
  ASSERT_EQ(went.rfind("server went on ", 0), 0u) << went;
  EXPECT_GE(std::stoll(went.substr(15)), 2000) << "the live stream stalled with the recording";
  EXPECT_EQ(child.ReadLine(20000), "reports 1");
  EXPECT_EQ(child.ReadLine(20000), "causes logged 1");
  printf("the library's log: %s\n", child.ReadLine(20000).c_str());
  EXPECT_EQ(child.ReadLine(20000), "stopped");
  const int status = child.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  // What made it to the disk is a whole recording up to the point it
  // filled, its header completed.
  const long long size = test_support::FileSize(copy);
  const long long lastStamp = LastStampMs(copy);
  const std::string decode = test_support::DecodeErrors(copy), framing = test_support::FlvCheckErrors(copy);
  const double duration = record_test::FormatDuration(copy);
  printf("full disk: %lld bytes kept, last stamp %lld ms, header duration %.3f s, decode: \"%s\", flvmeta: \"%s\"\n",
         size, lastStamp, duration, decode.c_str(), framing.c_str());
  EXPECT_GT(size, 48 * 1024);
  EXPECT_GT(lastStamp, 2000);
  record_test::ExpectStreamsWithCodecParameters(copy);
  EXPECT_EQ(decode, "");
  EXPECT_EQ(framing, "");
  EXPECT_NEAR(duration, lastStamp / 1000.0, 0.0015);
}

}  // namespace
