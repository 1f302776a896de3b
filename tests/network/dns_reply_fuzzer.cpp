// Arbitrary datagrams through the DNS reply reader. The first two bytes are
// also taken as the expected id, so the reader gets past the id check.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "schedule/DnsMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint16_t id = size >= 2 ? static_cast<uint16_t>(data[0] << 8 | data[1]) : 0;
  std::vector<std::string> addresses;
  std::string err;
  const bool ok = dns::ParseReply(data, size, id, &addresses, &err);
  if (ok == addresses.empty() || addresses.size() > dns::kMaxAddresses) __builtin_trap();
  for (const std::string& a : addresses)
    if (a.size() > 15) __builtin_trap();
  return 0;
}
