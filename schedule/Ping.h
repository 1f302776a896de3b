// IPing on a CTVThread. The probe's socket never leaves the probe's own
// function, so nothing else can shut or close a descriptor number that the
// system may already have handed to someone else; a stop flag, checked
// between short waits, ends a hanging name lookup or connect instead.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "common/TVThread.h"
#include "schedule/IPing.h"

class Ping : public IPing, public CTVThread {
 public:
  Ping(const std::string& address, const std::string& port);
  ~Ping() override;

  bool Start(std::string* err) override;
  void Release() override { delete this; }
  bool AsynStart(std::string* err) override;
  bool IsFinished() override { return m_finished.load(); }
  bool IsSuccess() override { return m_success.load(); }
  bool GetPingTime(int* ms) override;

 protected:
  void Run() override;

 private:
  // Connects to the (numeric) address and port; true once the connection
  // is really established.
  bool Connect(const std::string& address, std::string* err);
  void Fail(const std::string& text, std::string* err);

  std::mutex m_lock;  // the texts and times below
  std::string m_address;
  const std::string m_port;
  std::string m_lastError;
  uint32_t m_startTime = 0;
  uint32_t m_endTime = 0;
  bool m_started = false;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_success{false};
  std::atomic<bool> m_finished{false};
};
