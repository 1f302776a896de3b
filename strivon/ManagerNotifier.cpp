#include "strivon/ManagerNotifier.h"

#include "common/Log.h"

namespace {

// One entry per callback the thread is currently inside, innermost first.
struct CallbackFrame {
  const ManagerNotifier* owner;
  const CallbackFrame* outer;
};
thread_local const CallbackFrame* t_innermostCallback = nullptr;

class CallbackScope {
 public:
  explicit CallbackScope(const ManagerNotifier* owner) : m_frame{owner, t_innermostCallback} {
    t_innermostCallback = &m_frame;
  }
  ~CallbackScope() { t_innermostCallback = m_frame.outer; }
  CallbackScope(const CallbackScope&) = delete;
  CallbackScope& operator=(const CallbackScope&) = delete;

 private:
  CallbackFrame m_frame;
};

}  // namespace

template <typename Call>
void ManagerNotifier::Deliver(Call&& call) const {
  if (!m_notify) return;
  CallbackScope scope(this);
  try {
    call(m_notify);
  } catch (...) {
    STRIVON_LOG(kLogWarning, "ManagerNotifier::Deliver", "host callback threw; ignored");
  }
}

void ManagerNotifier::Status(int level, const char* text) const {
  Deliver([&](IRtmpPublishManagerNotify* n) { n->OnStatus(level, text); });
}

void ManagerNotifier::Message(const char* json) const {
  Deliver([&](IRtmpPublishManagerNotify* n) { n->OnMessage(json); });
}

void ManagerNotifier::Statistics(const PublishSendStatistics& statistics) const {
  Deliver([&](IRtmpPublishManagerNotify* n) { n->OnSendStatistics(&statistics); });
}

void ManagerNotifier::ReservedInt(int value) const {
  Deliver([&](IRtmpPublishManagerNotify* n) { n->OnReservedInt(value); });
}

bool ManagerNotifier::InsideCallbackOnThisThread() const {
  for (const CallbackFrame* frame = t_innermostCallback; frame; frame = frame->outer) {
    if (frame->owner == this) return true;
  }
  return false;
}
