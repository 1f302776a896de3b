// TCP ping: how long opening a TCP connection to one server takes, measured
// from AsynStart to the end of the connect attempt (name resolution
// included). The scheduler starts one probe per candidate server and polls
// IsFinished; the creator ends a probe with Release.
#pragma once
#include <string>

class IPing {
 public:
  // A probe on the caller's thread, without name resolution; true when the
  // connection was made.
  virtual bool Start(std::string* err) = 0;
  // Stops a probe that still waits and destroys the object.
  virtual void Release() = 0;
  // Starts the probe on its own thread; false when it was started before.
  virtual bool AsynStart(std::string* err) = 0;
  virtual bool IsFinished() = 0;
  virtual bool IsSuccess() = 0;
  // The delay in ms after a successful probe; 0 and false otherwise. Never
  // waits for a running probe.
  virtual bool GetPingTime(int* ms) = 0;

 protected:
  ~IPing() = default;
};

// address: dotted IPv4 or a host name; port: decimal 1..65535. Null when
// the object cannot be made.
IPing* CreatePing(const std::string& address, const std::string& port);
