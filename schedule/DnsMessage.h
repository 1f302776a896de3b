// The wire side of the library's DNS client: building one A-record query and
// reading the addresses out of a reply. Kept apart from the socket code so
// the reply reader, which sees untrusted bytes, can be tested and fuzzed on
// its own.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dns {

// Queries and replies travel in one buffer of this size.
inline constexpr size_t kMaxMessage = 2048;
// Room for addresses per lookup; later answers are dropped.
inline constexpr size_t kMaxAddresses = 32;

// An RFC 1035 query for the A record of domain with recursion desired. A
// trailing dot is allowed; a name with fewer than two labels, an empty
// label, a label over 63 bytes or more than kMaxMessage bytes is refused
// with a text in *err.
bool BuildQuery(const std::string& domain, uint16_t id, std::vector<uint8_t>* query, std::string* err);

// Reads a reply to the query with this id. True with the A-record addresses
// (dotted, in answer order, at most kMaxAddresses); false with a text in
// *err when the reply is short or malformed, carries another id or an error
// code, or has no A record.
bool ParseReply(const uint8_t* data, size_t size, uint16_t id, std::vector<std::string>* addresses, std::string* err);

}  // namespace dns
