// Platform base: tick wrap-around, the manual-reset event, priorities and the
// module path.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "platform/base/event.h"
#include "platform/base/module_path.h"
#include "platform/base/socket.h"
#include "platform/base/thread_priority.h"
#include "platform/base/tick.h"

namespace {

TEST(Tick, ElapsedTimeSurvivesWrapAround) {
  platform::SetTickOffsetForTest(0);
  const uint32_t base = platform::TickCount();
  platform::SetTickOffsetForTest(0xFFFFFFFFu - base - 5);  // 5 ms before the wrap
  const uint32_t before = platform::TickCount();
  platform::SleepMs(20);
  const uint32_t after = platform::TickCount();
  platform::SetTickOffsetForTest(0);
  EXPECT_LT(after, before);  // the counter wrapped...
  const uint32_t elapsed = after - before;
  EXPECT_GE(elapsed, 20u);  // ...yet unsigned subtraction still measures the interval
  EXPECT_LT(elapsed, 2000u);
}

TEST(ManualResetEvent, StaysSetForEveryWaiterUntilReset) {
  platform::ManualResetEvent event;
  EXPECT_FALSE(event.Wait(10));
  std::thread setter([&] { event.Set(); });
  EXPECT_TRUE(event.Wait());
  setter.join();
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.Wait(0));
  event.Reset();
  EXPECT_FALSE(event.Wait(0));
  platform::ManualResetEvent signalled(true);
  EXPECT_TRUE(signalled.Wait(0));
}

TEST(ThreadPriority, NeverRealTimeAndRefusalIsReported) {
  EXPECT_GT(platform::NiceValueFor(platform::ThreadPriority::Idle), platform::NiceValueFor(platform::ThreadPriority::Normal));
  EXPECT_LT(platform::NiceValueFor(platform::ThreadPriority::TimeCritical),
            platform::NiceValueFor(platform::ThreadPriority::AboveNormal));
  std::thread worker([] {
    // Lowering always works; raising may be refused without privileges, which
    // must come back as false rather than end the thread.
    EXPECT_TRUE(platform::SetCurrentThreadPriority(platform::ThreadPriority::BelowNormal));
    (void)platform::SetCurrentThreadPriority(platform::ThreadPriority::TimeCritical);
    int policy = -1;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    EXPECT_EQ(policy, SCHED_OTHER);
  });
  worker.join();
}

TEST(ModulePath, NamesTheRunningBinary) {
  const std::string path = platform::OwnModulePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path[0], '/');
  EXPECT_EQ(platform::OwnModuleFolder() + platform::OwnModuleFileName(), path);
  EXPECT_EQ(platform::OwnModuleFileName(), "common_thread_tests");
}

TEST(Socket, SendToAClosedPeerFailsWithoutSignal) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  platform::SocketHandle peer = fds[1];
  platform::CloseSocket(peer);
  EXPECT_EQ(peer, platform::kNoSocket);
  const char byte = 1;
  EXPECT_EQ(platform::SendAll(fds[0], &byte, 1), -1);  // EPIPE, no SIGPIPE
  platform::SocketHandle mine = fds[0];
  platform::CloseSocket(mine);
  platform::CloseSocket(mine);  // closing "no socket" is harmless
}

TEST(Socket, BoundedSendGivesUpOnlyWhenThePeerStopsTakingBytes) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  int small = 4096;
  ASSERT_EQ(setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof(small)), 0);
  const std::string data(256 * 1024, 'x');

  // A reader that drains slowly keeps the send alive well past the stall limit.
  std::thread reader([&] {
    char buffer[8192];
    size_t total = 0;
    while (total < data.size()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      const ssize_t n = recv(fds[1], buffer, sizeof(buffer), 0);
      if (n <= 0) break;
      total += static_cast<size_t>(n);
    }
  });
  EXPECT_EQ(platform::SendAllBounded(fds[0], data.data(), data.size(), 100, -1), static_cast<ssize_t>(data.size()));
  reader.join();

  // Nobody reads any more: no progress, so the send ends with ETIMEDOUT.
  errno = 0;
  EXPECT_EQ(platform::SendAllBounded(fds[0], data.data(), data.size(), 100, -1), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
  platform::SocketHandle a = fds[0];
  platform::SocketHandle b = fds[1];
  platform::CloseSocket(a);
  platform::CloseSocket(b);
}

}  // namespace
