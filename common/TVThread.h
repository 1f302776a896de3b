// Worker-thread wrappers used by every long-lived library component.
//
// CTVThread runs Run() once on its own thread and signals a manual-reset
// "done" event when Run returns; Join waits for it. CSafeThread adds a
// running flag that the body's loop polls, so the owner can Stop and restart
// the loop. Start, Stop and Join are called by the owner; called on the
// wrapped thread itself they do not wait (a thread cannot wait for its own
// end). An object may be destroyed on its own thread (a report handler that
// releases its owner): the thread is then detached, and once the body returns
// nothing of the object is touched; a body that calls out to such a handler
// asks ReleasedOnThisThread() before it touches its object again.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/base/event.h"
#include "platform/base/thread_priority.h"

class CTVThread {
 public:
  CTVThread();
  // Joins a thread that is still attached: owners are expected to have
  // stopped it already, but destroying a joinable thread would end the process.
  // On the object's own thread it detaches instead.
  virtual ~CTVThread();
  CTVThread(const CTVThread&) = delete;
  CTVThread& operator=(const CTVThread&) = delete;

  // Starts the thread unless one exists; true when a thread exists afterwards.
  bool Start();
  // Waits until the body has returned and the thread has ended.
  void Join();

  bool HasThread() const;
  uint32_t ThreadId() const { return m_threadId.load(); }

  // For use inside Run(): sets the calling thread's priority and logs a refusal.
  static bool SetCurrentThreadPriority(platform::ThreadPriority priority, const char* owner);
  // For use inside Run(): true once the object that runs on the calling
  // thread has been destroyed from it; the body must then return at once.
  static bool ReleasedOnThisThread();

  // Test hook: while set, thread creation fails as if the system refused it.
  static void SetThreadCreationFailsForTest(bool fails);

 protected:
  virtual void Run() = 0;
  // Creates the thread after the done event was reset; false when creation failed.
  bool CreateThread();
  // Takes the thread out (only one caller gets it) and joins it.
  void JoinHandle();
  // True when called on the thread this object runs.
  bool IsOwnThread() const;

  platform::ManualResetEvent m_doneEvent;

 private:
  // Outlives the object when the object is destroyed on its own thread.
  struct ThreadLife {
    bool released = false;  // written and read on that thread only
  };
  static void ThreadRoutine(CTVThread* self, std::shared_ptr<ThreadLife> life);
  // The record of the object that runs on the calling thread, if any.
  static thread_local const ThreadLife* s_currentLife;

  mutable std::mutex m_handleMutex;
  std::thread m_thread;  // the "handle": joinable while a thread exists
  std::shared_ptr<ThreadLife> m_life;  // the attached thread's
  std::atomic<uint32_t> m_threadId{0};
};

class CSafeThread : public CTVThread {
 public:
  CSafeThread() = default;
  ~CSafeThread() override;

  // Stops and joins whatever thread is still attached (a running loop or a
  // body that returned by itself), then starts a new one.
  bool Start();
  // Clears the running flag and joins, if the loop runs.
  void Stop();
  bool IsRunning() const { return m_running.load(); }

 protected:
  void Run() override { SafeThreadProcMain(); }
  // The loop body: loops while IsRunning().
  virtual void SafeThreadProcMain() = 0;

  std::atomic<bool> m_running{false};
  // Users' shared-state lock; re-entrant like the critical section it stands for.
  std::recursive_mutex m_cs;
};
