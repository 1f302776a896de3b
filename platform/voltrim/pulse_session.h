// One short-lived connection to the PulseAudio server for a single request
// and its reply. Every wait has a deadline, so a server that accepts the
// socket but never answers holds the caller for 2 s at most per step.
#pragma once
#include <pulse/pulseaudio.h>

#include <functional>

namespace voltrim {

class PulseSession {
 public:
  PulseSession() = default;
  ~PulseSession();
  PulseSession(const PulseSession&) = delete;
  PulseSession& operator=(const PulseSession&) = delete;

  // Connects (never starting a server of its own); false on failure or when
  // the deadline passes.
  bool Open();
  pa_context* context() const { return m_context; }
  // Runs the loop until done() holds; false on deadline or a broken
  // connection. Takes ownership of op (null: false).
  bool Await(pa_operation* op, const std::function<bool()>& done);

 private:
  bool Iterate();

  pa_mainloop* m_loop = nullptr;
  pa_context* m_context = nullptr;
};

}  // namespace voltrim
