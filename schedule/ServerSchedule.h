// IServerSchedule: asks the scheduling service for candidate servers, times
// a TCP connect to each (IPing) and reports the timings in a second request
// whose reply names the server to publish to. Runs synchronously on the
// caller's thread; the asynchronous form uses the object's CSafeThread.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "common/TVThread.h"
#include "oldpublic/IHttpConnect.h"
#include "schedule/IServerSchedule.h"
#include "schedule/ScheduleReplies.h"

class ServerSchedule : public IServerSchedule, public CSafeThread {
 public:
  explicit ServerSchedule(IServerScheduleNotify* notify);
  ~ServerSchedule() override;

  bool StartSchedule(const std::string& url, int mode, ScheduleResult* out, std::string* err) override;
  bool AsynStartSchedule(const std::string& url, void* userData, int mode, std::string* err) override;
  void Release() override { delete this; }

  // How long the wait for timings lasts once one candidate has connected.
  static constexpr int kFastEnoughMs = 500;

 protected:
  void SafeThreadProcMain() override;

 private:
  struct HttpDeleter {
    void operator()(IHttpConnect* h) const {
      if (h) h->Release();
    }
  };
  // Times every candidate; the ones that connected, in candidate order.
  std::vector<TimedServer> ChooseSvr(const std::vector<ScheduleServer>& candidates);

  std::unique_ptr<IHttpConnect, HttpDeleter> m_http;
  IServerScheduleNotify* const m_notify;
  std::string m_asyncUrl;  // set before the thread starts, read by it
  int m_asyncMode = 0;
};
