// Host-name lookup through the library's own DNS client: asks a primary
// and, when that fails, a secondary DNS server. Used by the TCP ping and by
// the HTTP client's retry; one object per caller, ended with Release.
#pragma once
#include <netdb.h>

#include <atomic>
#include <cstdint>
#include <string>

class IWinsockEx {
 public:
  virtual ~IWinsockEx() = default;
  // A record with the host's name and its first address (h_addr_list[0],
  // four bytes in network order), or null when neither server gave an
  // address. The record belongs to this object and is valid until its next
  // call or its Release.
  virtual hostent* GetHostByName(const char* host, int timeoutMs) = 0;
  virtual void Release() = 0;
  // Replaces the servers taken from DefaultDnsServers() at construction.
  virtual void SetDnsServers(const std::string& primary, const std::string& secondary, uint16_t port) = 0;
  // Once *stop is set, a lookup in progress ends within a few milliseconds
  // without an address (and asks no further server). Not owned.
  virtual void SetStopFlag(const std::atomic<bool>* stop) = 0;
};

// Null when the object cannot be made.
IWinsockEx* CreateWinsockEx();
