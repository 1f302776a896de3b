#include "schedule/ServerSchedule.h"

#include <new>

#include "common/Log.h"
#include "platform/base/tick.h"
#include "schedule/IPing.h"

namespace {

struct PingDeleter {
  void operator()(IPing* p) const {
    if (p) p->Release();
  }
};

struct Probe {
  std::unique_ptr<IPing, PingDeleter> ping;
  const ScheduleServer* server = nullptr;
  bool reported = false;
  bool success = false;
  int delayMs = 0;
};

}  // namespace

IServerSchedule* CreateServerSchedule(IServerScheduleNotify* notify) {
  ServerSchedule* schedule = new (std::nothrow) ServerSchedule(notify);
  return schedule;
}

ServerSchedule::ServerSchedule(IServerScheduleNotify* notify) : m_http(CreateHttpConnect()), m_notify(notify) {}

ServerSchedule::~ServerSchedule() { Stop(); }

std::vector<TimedServer> ServerSchedule::ChooseSvr(const std::vector<ScheduleServer>& candidates) {
  std::vector<Probe> probes;
  for (const ScheduleServer& server : candidates) {
    Probe probe;
    probe.ping.reset(CreatePing(server.IP, server.TcpPort));
    probe.server = &server;
    STRIVON_LOG(kLogInfo, "ServerSchedule::AsynPingSvrsInArray", "ping every servers: ip :%s", server.IP.c_str());
    if (probe.ping) probe.ping->AsynStart(nullptr);
    probes.push_back(std::move(probe));
  }
  const uint32_t start = platform::TickCount();
  bool anySuccess = false;
  bool timerOn = false;
  for (;;) {
    bool pending = false;
    for (Probe& probe : probes) {
      if (probe.reported) continue;
      if (probe.ping && !probe.ping->IsFinished()) {
        pending = true;
        continue;
      }
      // Each outcome is logged once, when it is first seen.
      probe.reported = true;
      if (probe.ping && probe.ping->GetPingTime(&probe.delayMs)) {
        probe.success = true;
        anySuccess = true;
        STRIVON_LOG(kLogInfo, "ServerSchedule::ChooseSvr", "ping finish, ip:%s suc, and time:%d",
                    probe.server->IP.c_str(), probe.delayMs);
      } else {
        STRIVON_LOG(kLogInfo, "ServerSchedule::ChooseSvr", "ping finish, ip:%s failed ", probe.server->IP.c_str());
      }
    }
    if (!pending) {
      if (anySuccess && !timerOn)
        STRIVON_LOG(kLogInfo, "ServerSchedule::ChooseSvr", "have server whose ping is suitable");
      break;
    }
    if (platform::TickCount() - start >= static_cast<uint32_t>(kFastEnoughMs)) {
      if (!timerOn) STRIVON_LOG(kLogInfo, "ServerSchedule::ChooseSvr", "ping 2s timer on.");
      timerOn = true;
      if (anySuccess) {
        STRIVON_LOG(kLogInfo, "ServerSchedule::ChooseSvr", "have server whose ping is suitable");
        break;
      }
    }
    platform::SleepMs(1);
  }
  std::vector<TimedServer> chosen;
  for (const Probe& probe : probes)
    if (probe.success) chosen.push_back({probe.server->IP, probe.server->HttpPort, probe.delayMs});
  return chosen;  // the probes still waiting are stopped as they go
}

bool ServerSchedule::StartSchedule(const std::string& url, int mode, ScheduleResult* out, std::string* err) {
  STRIVON_LOG(kLogInfo, "ServerSchedule::StartSchedule", "StartSchedule.");
  std::string ignored;
  if (!err) err = &ignored;
  if (!m_http) {
    err->clear();
    return false;
  }
  std::string body;
  if (!m_http->StartConnect(url, &body)) {
    // The client leaves no text behind on failure.
    err->clear();
    STRIVON_LOG(kLogInfo, "ServerSchedule::StartSchedule", "StartConnect failed:%s", err->c_str());
    return false;
  }
  STRIVON_LOG(kLogInfo, "ServerSchedule::StartSchedule", "startconnect suc");
  const std::vector<ScheduleServer> candidates = ParseCandidates(body);
  if (candidates.empty()) {
    *err += "_schedule:null ip";
    STRIVON_LOG(kLogInfo, "ServerSchedule::StartSchedule", "_schedule:no ip");
    return false;
  }
  const std::string listInfo = BuildListInfo(ChooseSvr(candidates));
  ServerPath first;
  if (!PraseServerPath(url, &first)) {
    STRIVON_LOG(kLogInfo, "ServerSchedule::StartSchedule", "PraseServerPath : didn't get hostname\n");
    return false;
  }
  std::string body2;
  if (!m_http->StartConnect(BuildAddressRequest(first, listInfo, mode), &body2)) return false;
  ScheduleResult result;
  if (ParsePublishAddress(body2, &result)) {
    if (out) *out = result;
    return true;
  }
  if (out) {
    out->IP.clear();
    out->RtmpPort.clear();
  }
  STRIVON_LOG(kLogInfo, "ServerSchedule::StartSchedule", "_schedule:%s", LogExcerpt(body2).c_str());
  *err += body2;
  return false;
}

bool ServerSchedule::AsynStartSchedule(const std::string& url, void* /*userData*/, int mode, std::string* err) {
  if (url.empty()) {
    if (err) *err = "param strUrl can not be null.";
    return false;
  }
  Stop();  // a previous run must not read the URL while it changes
  m_asyncUrl = url;
  m_asyncMode = mode;
  return Start();
}

void ServerSchedule::SafeThreadProcMain() {
  ScheduleResult result;
  std::string error;
  const bool ok = StartSchedule(m_asyncUrl, m_asyncMode, &result, &error);
  // The run ends here, touching nothing after the report: the handler may
  // release this scheduler. The running flag stays set until the next Start
  // or Stop, which join this finished thread.
  if (m_notify) m_notify->OnSchedule(result, ok);
}
