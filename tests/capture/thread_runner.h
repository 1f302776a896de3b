// A thread that stays alive between the calls it is given and runs them one
// at a time, the caller waiting for each: for tests that make an object on
// one thread and use or release it on another, as the manager's worker and
// host threads do.
#pragma once
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace capture_test {

class ThreadRunner {
 public:
  ThreadRunner() : m_thread([this] { Loop(); }) {}
  ~ThreadRunner() {
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
  }
  ThreadRunner(const ThreadRunner&) = delete;
  ThreadRunner& operator=(const ThreadRunner&) = delete;

  // Runs task on this runner's thread and returns when it has finished.
  void Run(std::function<void()> task) {
    std::unique_lock<std::mutex> lock(m_lock);
    m_task = std::move(task);
    m_done = false;
    m_wake.notify_all();
    m_wake.wait(lock, [this] { return m_done; });
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
      m_wake.wait(lock, [this] { return m_quit || m_task; });
      if (!m_task) return;
      std::function<void()> task = std::move(m_task);
      m_task = nullptr;
      lock.unlock();
      task();
      lock.lock();
      m_done = true;
      m_wake.notify_all();
    }
  }

  std::mutex m_lock;
  std::condition_variable m_wake;
  std::function<void()> m_task;
  bool m_done = false;
  bool m_quit = false;
  std::thread m_thread;
};

}  // namespace capture_test
