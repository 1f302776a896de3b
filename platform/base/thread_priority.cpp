#include "platform/base/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

int NiceValueFor(ThreadPriority priority) {
  switch (priority) {
    case ThreadPriority::Idle: return 19;
    case ThreadPriority::Lowest: return 10;
    case ThreadPriority::BelowNormal: return 5;
    case ThreadPriority::Normal: return 0;
    case ThreadPriority::AboveNormal: return -5;
    case ThreadPriority::Highest: return -8;
    case ThreadPriority::TimeCritical: return -10;
  }
  return 0;
}

bool SetCurrentThreadPriority(ThreadPriority priority) {
  // On Linux setpriority on a thread id changes just that thread.
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  return setpriority(PRIO_PROCESS, tid, NiceValueFor(priority)) == 0;
}

}  // namespace platform
