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
// Longest name on the wire (RFC 1035), in its dotted form.
inline constexpr size_t kMaxName = 255;

// An RFC 1035 query for the A record of domain with recursion desired. A
// trailing dot is allowed; a name with fewer than two labels, an empty
// label, a label over 63 bytes or more than kMaxMessage bytes is refused
// with a text in *err.
bool BuildQuery(const std::string& domain, uint16_t id, std::vector<uint8_t>* query, std::string* err);

enum class ReplyVerdict {
  kNotOurs,   // not the reply to this query: ignore it and keep waiting
  kFailed,    // the reply to this query, without an address
  kAnswered,  // the reply to this query, with addresses
};

// Reads a datagram that arrived while waiting for the query of domain with
// this id. Only a response (QR bit) with that id and the one question asked
// (the same name in any letter case, type A, class IN) is the reply; anything
// else is kNotOurs, with the reason in *err. The reply's addresses are the
// four-byte A records of class IN owned by the name or by a name its CNAME
// records lead to, in answer order, at most kMaxAddresses; 0.0.0.0 is no
// address. kFailed with *err for an error code or no address.
ReplyVerdict ParseReply(const uint8_t* data, size_t size, uint16_t id, const std::string& domain,
                        std::vector<std::string>* addresses, std::string* err);

}  // namespace dns
