// Carries the events that library and worker threads put on a program event
// queue to their windows as posted window messages, one thread in arrival
// order. An event with a text arrives with lParam a std::string* holding it,
// owned by the window that takes the message (a dropped message frees it);
// an event without one keeps its own lParam.
// Started and stopped on the GUI thread; Stop joins the thread.
#pragma once
#include <atomic>
#include <string>
#include <thread>

#include "app/ProgramEvents.h"
#include "platform/duilib/ui_events.h"

class ProgramEventPump {
 public:
  explicit ProgramEventPump(ProgramEventQueue* queue);
  ~ProgramEventPump();
  ProgramEventPump(const ProgramEventPump&) = delete;
  ProgramEventPump& operator=(const ProgramEventPump&) = delete;

  void Start();
  // Events still queued stay for a later pump.
  void Stop();

  // The text a message posted by the pump carries, taken over by the caller.
  static std::string TakeText(LPARAM lParam);

 private:
  void Run();

  ProgramEventQueue* const m_queue;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};
