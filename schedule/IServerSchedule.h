// The scheduler the publish manager asks for a publish server when the
// publish URL names a scheduling service. The manager creates one per
// scheduling attempt with CreateServerSchedule and ends it with Release.
#pragma once
#include <string>

#include "schedule/ScheduleResult.h"

class IServerScheduleNotify {
 public:
  // After an asynchronous run, on the scheduler's thread. The callee owns
  // the copy it is given, and may release the scheduler from here.
  virtual void OnSchedule(ScheduleResult result, bool ok) = 0;

 protected:
  ~IServerScheduleNotify() = default;
};

class IServerSchedule {
 public:
  // Runs the whole scheduling protocol on the calling thread. True with *out
  // filled; false with a failure text appended to *err. Callers pass mode 0.
  virtual bool StartSchedule(const std::string& url, int mode, ScheduleResult* out, std::string* err) = 0;
  // The same protocol once on the scheduler's own thread, reported through
  // IServerScheduleNotify::OnSchedule; false at once for an empty URL.
  virtual bool AsynStartSchedule(const std::string& url, void* userData, int mode, std::string* err) = 0;
  // Stops the scheduler's thread and destroys the object.
  virtual void Release() = 0;

 protected:
  ~IServerSchedule() = default;
};

// notify may be null and is not owned. Null when the scheduler cannot be made.
IServerSchedule* CreateServerSchedule(IServerScheduleNotify* notify);
