// Arbitrary datagrams through the DNS reply reader, as the socket hands them
// over (at most one buffer's worth). The first two bytes are also taken as
// the expected id and the datagram's own question as the name asked, so the
// reader gets past both checks; the same bytes with another id or another
// name must never count as the reply.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "schedule/DnsMessage.h"

namespace {

// The question's labels joined by dots, read without compression.
std::string QuestionName(const uint8_t* data, size_t size) {
  std::string name;
  for (size_t p = 12; p < size && data[p] != 0 && data[p] < 64 && p + 1 + data[p] <= size; p += 1 + data[p]) {
    if (!name.empty()) name += '.';
    name.append(reinterpret_cast<const char*>(data + p + 1), data[p]);
  }
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > dns::kMaxMessage) size = dns::kMaxMessage;
  const uint16_t id = size >= 2 ? static_cast<uint16_t>(data[0] << 8 | data[1]) : 0;
  const std::string name = QuestionName(data, size);
  std::vector<std::string> addresses;
  std::string err;
  const dns::ReplyVerdict verdict = dns::ParseReply(data, size, id, name, &addresses, &err);
  if ((verdict == dns::ReplyVerdict::kAnswered) == addresses.empty() || addresses.size() > dns::kMaxAddresses)
    __builtin_trap();
  for (const std::string& a : addresses)
    if (a.size() > 15 || a == "0.0.0.0") __builtin_trap();
  // Only a response is a reply.
  if (verdict != dns::ReplyVerdict::kNotOurs && (data[2] & 0x80) == 0) __builtin_trap();
  if (dns::ParseReply(data, size, static_cast<uint16_t>(id ^ 1), name, &addresses, &err) !=
          dns::ReplyVerdict::kNotOurs ||
      dns::ParseReply(data, size, id, "x" + name, &addresses, &err) != dns::ReplyVerdict::kNotOurs)
    __builtin_trap();
  return 0;
}
