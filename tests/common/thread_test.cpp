// Start/Join/Stop semantics of the worker-thread wrappers as their owners
// rely on them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "common/TVThread.h"

namespace {

class CountingThread : public CTVThread {
 public:
  std::atomic<int> runs{0};
  std::atomic<bool> release{true};
  ~CountingThread() override { release = true; }

 protected:
  void Run() override {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ++runs;
  }
};

class LoopThread : public CSafeThread {
 public:
  std::atomic<int> loopsStarted{0};
  std::atomic<long> turns{0};
  ~LoopThread() override { Stop(); }

 protected:
  void SafeThreadProcMain() override {
    ++loopsStarted;
    while (m_running) {
      ++turns;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
};

class ReturnsAtOnce : public CSafeThread {
 public:
  std::atomic<int> bodies{0};
  ~ReturnsAtOnce() override { Stop(); }

 protected:
  void SafeThreadProcMain() override { ++bodies; }
};

TEST(CTVThread, ImmediateBodyStartsAndJoins) {
  CountingThread t;
  EXPECT_TRUE(t.Start());
  t.Join();
  EXPECT_EQ(t.runs, 1);
  EXPECT_FALSE(t.HasThread());
  // A second cycle works the same way.
  EXPECT_TRUE(t.Start());
  t.Join();
  EXPECT_EQ(t.runs, 2);
}

TEST(CTVThread, JoinWithoutStartReturnsAtOnce) {
  CountingThread t;
  t.Join();
  EXPECT_FALSE(t.HasThread());
  EXPECT_EQ(t.runs, 0);
}

TEST(CTVThread, StartWhileRunningCreatesNothing) {
  CountingThread t;
  t.release = false;
  ASSERT_TRUE(t.Start());
  EXPECT_TRUE(t.Start());
  t.release = true;
  t.Join();
  EXPECT_EQ(t.runs, 1);
}

TEST(CTVThread, CreationFailureLeavesNoThread) {
  CountingThread t;
  CTVThread::SetThreadCreationFailsForTest(true);
  EXPECT_FALSE(t.Start());
  CTVThread::SetThreadCreationFailsForTest(false);
  EXPECT_FALSE(t.HasThread());
  t.Join();  // must not block
  EXPECT_EQ(t.runs, 0);
}

TEST(CTVThread, DestroyingAFinishedButUnjoinedThreadIsSafe) {
  // The body has returned but nobody called Join: the thread is still
  // attached, and destroying an attached thread would end the process.
  // Run in a child process, so that such an end shows as an abnormal exit.
  EXPECT_EXIT(
      {
        auto t = std::make_unique<CountingThread>();
        if (!t->Start()) std::exit(2);
        while (t->runs == 0) std::this_thread::yield();
        if (!t->HasThread()) std::exit(3);
        t.reset();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(CSafeThread, StartTwiceRestartsTheLoop) {
  LoopThread t;
  ASSERT_TRUE(t.Start());
  while (t.turns == 0) std::this_thread::yield();
  ASSERT_TRUE(t.Start());
  EXPECT_TRUE(t.IsRunning());
  while (t.loopsStarted < 2) std::this_thread::yield();
  EXPECT_EQ(t.loopsStarted, 2);
  t.Stop();
  EXPECT_FALSE(t.IsRunning());
  EXPECT_FALSE(t.HasThread());
}

TEST(CSafeThread, StopWhenStoppedDoesNothing) {
  LoopThread t;
  t.Stop();
  EXPECT_FALSE(t.IsRunning());
  ASSERT_TRUE(t.Start());
  t.Stop();
  const long turns = t.turns;
  t.Stop();
  EXPECT_EQ(t.turns, turns);
  EXPECT_EQ(t.loopsStarted, 1);
}

TEST(CSafeThread, BodyThatEndsByItselfIsJoinedByTheNextStart) {
  ReturnsAtOnce t;
  ASSERT_TRUE(t.Start());
  while (t.bodies == 0) std::this_thread::yield();
  EXPECT_TRUE(t.IsRunning());  // the flag is the owner's request, not the body's state
  ASSERT_TRUE(t.Start());
  t.Stop();
  EXPECT_EQ(t.bodies, 2);
}

TEST(CSafeThread, CreationFailureKeepsTheRunningRequest) {
  LoopThread t;
  CTVThread::SetThreadCreationFailsForTest(true);
  EXPECT_FALSE(t.Start());
  CTVThread::SetThreadCreationFailsForTest(false);
  EXPECT_TRUE(t.IsRunning());
  EXPECT_FALSE(t.HasThread());
  t.Stop();  // must not block on a thread that never existed
  EXPECT_FALSE(t.IsRunning());
}

// Deleted by its own body, as a report handler that releases its owner does.
// The outcome lands in atomics outside the object, which is gone by then.
struct SelfReleaseOutcome {
  std::atomic<bool> freed{false};
  std::atomic<bool> releasedSeen{false};
};

class DeletesItself : public CTVThread {
 public:
  explicit DeletesItself(SelfReleaseOutcome* outcome) : m_outcome(outcome) {}
  ~DeletesItself() override { m_outcome->freed = true; }

 protected:
  void Run() override {
    SelfReleaseOutcome* outcome = m_outcome;
    delete this;
    outcome->releasedSeen = ReleasedOnThisThread();
  }

 private:
  SelfReleaseOutcome* m_outcome;
};

// Exits 0 once the object was freed from its own thread and its body saw it.
// The CSafeThread case is tested through its user, the scheduler, whose
// report handler releases it.
void ReleaseOnOwnThreadInChild() {
  static SelfReleaseOutcome outcome;
  if (!(new DeletesItself(&outcome))->Start()) std::exit(2);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!(outcome.freed && outcome.releasedSeen) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::exit(outcome.freed && outcome.releasedSeen ? 0 : 3);
}

TEST(ThreadSelfRelease, AnObjectDeletedOnItsOwnThreadIsFreedWithoutEndingTheProcess) {
  EXPECT_EXIT(ReleaseOnOwnThreadInChild(), ::testing::ExitedWithCode(0), "");
}

class ClearsItsFlagAndReturns : public CSafeThread {
 public:
  std::atomic<int> bodies{0};
  ~ClearsItsFlagAndReturns() override { Stop(); }

 protected:
  void SafeThreadProcMain() override {
    ++bodies;
    m_running = false;
  }
};

TEST(CSafeThread, EveryStartAfterABodyThatClearedItsOwnFlagRunsAgain) {
  ClearsItsFlagAndReturns t;
  for (int run = 1; run <= 3; ++run) {
    ASSERT_TRUE(t.Start());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (t.bodies < run && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    ASSERT_EQ(t.bodies, run);
  }
}

}  // namespace
