#include "common/TVThread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <exception>

#include "common/Log.h"

namespace {
std::atomic<bool> g_creationFails{false};
}

thread_local const CTVThread::ThreadLife* CTVThread::s_currentLife = nullptr;

CTVThread::CTVThread() : m_doneEvent(true) {}

CTVThread::~CTVThread() {
  {
    std::lock_guard<std::mutex> lock(m_handleMutex);
    if (m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id()) {
      // Destroyed by its own body (through a handler): nobody is left to
      // join, and joining itself would end the process.
      m_life->released = true;
      m_thread.detach();
      return;
    }
  }
  JoinHandle();
}

bool CTVThread::ReleasedOnThisThread() {
  return s_currentLife != nullptr && s_currentLife->released;
}

bool CTVThread::IsOwnThread() const {
  std::lock_guard<std::mutex> lock(m_handleMutex);
  return m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id();
}

void CTVThread::SetThreadCreationFailsForTest(bool fails) { g_creationFails = fails; }

bool CTVThread::HasThread() const {
  std::lock_guard<std::mutex> lock(m_handleMutex);
  return m_thread.joinable();
}

void CTVThread::ThreadRoutine(CTVThread* self, std::shared_ptr<ThreadLife> life) {
  s_currentLife = life.get();
  self->m_threadId = static_cast<uint32_t>(syscall(SYS_gettid));
  self->Run();
  s_currentLife = nullptr;
  // The object may be gone: then there is no event left to signal.
  if (!life->released) self->m_doneEvent.Set();
}

bool CTVThread::CreateThread() {
  std::lock_guard<std::mutex> lock(m_handleMutex);
  if (g_creationFails) return false;
  try {
    // Made under the lock, so a body that releases its object at once still
    // finds the record of its own thread.
    m_life = std::make_shared<ThreadLife>();
    m_thread = std::thread(&CTVThread::ThreadRoutine, this, m_life);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

bool CTVThread::Start() {
  if (HasThread()) return true;
  // Reset strictly before creating: a body that ends before Start returns
  // still leaves the event signalled.
  m_doneEvent.Reset();
  if (CreateThread()) return true;
  m_doneEvent.Set();  // nothing runs, so nothing to wait for
  return false;
}

void CTVThread::JoinHandle() {
  std::thread taken;
  {
    std::lock_guard<std::mutex> lock(m_handleMutex);
    taken.swap(m_thread);
  }
  if (taken.joinable()) taken.join();
}

void CTVThread::Join() {
  if (IsOwnThread()) return;
  m_doneEvent.Wait();
  JoinHandle();
}

bool CTVThread::SetCurrentThreadPriority(platform::ThreadPriority priority, const char* owner) {
  if (platform::SetCurrentThreadPriority(priority)) return true;
  STRIVON_LOG(kLogWarning, owner, "thread priority %d refused, running at the default",
              platform::NiceValueFor(priority));
  return false;
}

CSafeThread::~CSafeThread() { Stop(); }

bool CSafeThread::Start() {
  if (IsOwnThread()) return false;
  m_running = false;
  // A body that returned by itself is still attached whatever the flag says
  // (some bodies clear it on their way out); it is joined like a running one,
  // or the new start would find it and run nothing.
  if (HasThread()) {
    m_doneEvent.Wait();
    JoinHandle();
  }
  m_running = true;
  m_doneEvent.Reset();
  if (CreateThread()) return true;
  m_doneEvent.Set();
  return false;
}

void CSafeThread::Stop() {
  if (!m_running.exchange(false)) {
    // A body that ended by itself may still be attached.
    return;
  }
  // On its own thread (a body releasing its object) the loop ends as the
  // body returns; waiting here would never end.
  if (IsOwnThread()) return;
  m_doneEvent.Wait();
  JoinHandle();
}
