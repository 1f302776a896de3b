#include "common/TVThread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <system_error>

#include "common/Log.h"

namespace {
std::atomic<bool> g_creationFails{false};
}

CTVThread::CTVThread() : m_doneEvent(true) {}

CTVThread::~CTVThread() { JoinHandle(); }

void CTVThread::SetThreadCreationFailsForTest(bool fails) { g_creationFails = fails; }

bool CTVThread::HasThread() const {
  std::lock_guard<std::mutex> lock(m_handleMutex);
  return m_thread.joinable();
}

void CTVThread::ThreadRoutine(CTVThread* self) {
  self->m_threadId = static_cast<uint32_t>(syscall(SYS_gettid));
  self->Run();
  self->m_doneEvent.Set();
}

bool CTVThread::CreateThread() {
  std::lock_guard<std::mutex> lock(m_handleMutex);
  if (g_creationFails) return false;
  try {
    m_thread = std::thread(&CTVThread::ThreadRoutine, this);
  } catch (const std::system_error&) {
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
  if (m_running.exchange(false)) {
    m_doneEvent.Wait();
    JoinHandle();
  }
  m_running = true;
  if (HasThread()) return true;
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
  m_doneEvent.Wait();
  JoinHandle();
}
