// The manager's way up to the host: skips every report when the host gave no
// notify object, keeps host exceptions from unwinding into the library, and
// remembers which threads are inside one of the host's callbacks so the
// manager can refuse a release() that would destroy it under its own feet.
#pragma once
#include "strivon/IRtmpPublishManagerNotify.h"

class ManagerNotifier {
 public:
  explicit ManagerNotifier(IRtmpPublishManagerNotify* notify) : m_notify(notify) {}

  bool HasNotify() const { return m_notify != nullptr; }
  void Status(int level, const char* text) const;
  void Message(const char* json) const;
  void Statistics(const PublishSendStatistics& statistics) const;
  void ReservedInt(int value) const;

  // True while the calling thread runs one of this notifier's callbacks.
  bool InsideCallbackOnThisThread() const;

 private:
  template <typename Call>
  void Deliver(Call&& call) const;

  IRtmpPublishManagerNotify* const m_notify;
};
