#include "platform/voltrim/pulse_session.h"

#include "platform/base/tick.h"

namespace voltrim {
namespace {
constexpr uint32_t kDeadlineMs = 2000;
constexpr int kStepUs = 50 * 1000;
}  // namespace

PulseSession::~PulseSession() {
  if (m_context) {
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
  }
  if (m_loop) pa_mainloop_free(m_loop);
}

bool PulseSession::Iterate() {
  if (pa_mainloop_prepare(m_loop, kStepUs) < 0) return false;
  if (pa_mainloop_poll(m_loop) < 0) return false;
  return pa_mainloop_dispatch(m_loop) >= 0;
}

bool PulseSession::Open() {
  m_loop = pa_mainloop_new();
  if (!m_loop) return false;
  m_context = pa_context_new(pa_mainloop_get_api(m_loop), "Strivon volume");
  if (!m_context || pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
  const uint32_t begin = platform::TickCount();
  while (platform::TickCount() - begin < kDeadlineMs) {
    const pa_context_state_t state = pa_context_get_state(m_context);
    if (state == PA_CONTEXT_READY) return true;
    if (!PA_CONTEXT_IS_GOOD(state) || !Iterate()) return false;
  }
  return false;
}

bool PulseSession::Await(pa_operation* op, const std::function<bool()>& done) {
  if (!op) return false;
  bool ok = true;
  const uint32_t begin = platform::TickCount();
  while (!done()) {
    if (platform::TickCount() - begin >= kDeadlineMs || !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)) ||
        !Iterate()) {
      ok = false;
      break;
    }
  }
  // A late reply must not reach the caller's state once we have given up.
  if (!ok) pa_operation_cancel(op);
  pa_operation_unref(op);
  return ok;
}

}  // namespace voltrim
