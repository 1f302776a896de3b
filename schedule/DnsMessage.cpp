#include "schedule/DnsMessage.h"

namespace dns {

namespace {

constexpr size_t kHeaderSize = 12;
constexpr size_t kMaxLabel = 63;
constexpr uint16_t kTypeA = 1;
constexpr uint16_t kTypeCname = 5;
constexpr uint16_t kClassIn = 1;
constexpr uint8_t kResponseBit = 0x80;
// Compression pointers followed within one name; a loop ends here.
constexpr int kMaxPointerHops = 64;
// CNAME steps followed from the asked name to the one that has the address.
constexpr int kMaxCnameSteps = 8;

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

void PutWord(std::vector<uint8_t>* out, uint16_t value) {
  out->push_back(static_cast<uint8_t>(value >> 8));
  out->push_back(static_cast<uint8_t>(value & 0xff));
}

char Lower(uint8_t c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); }

// The dotted, lower-case form of the name at *pos, following compression
// pointers; *pos moves past the name where it stands. A dot inside a label is
// kept escaped, so it never matches a name made of two labels. False when the
// name runs off the end, loops or is too long.
bool ReadName(const uint8_t* data, size_t size, size_t* pos, std::string* name) {
  name->clear();
  size_t p = *pos;
  size_t end = 0;
  int hops = 0;
  for (;;) {
    if (p >= size) return false;
    const uint8_t length = data[p];
    if (length == 0) {
      if (hops == 0) end = p + 1;
      break;
    }
    if ((length & 0xc0) == 0xc0) {
      if (p + 2 > size || ++hops > kMaxPointerHops) return false;
      if (hops == 1) end = p + 2;
      p = static_cast<size_t>((length & 0x3f) << 8 | data[p + 1]);
      continue;
    }
    if ((length & 0xc0) != 0 || p + 1 + length > size) return false;  // reserved label kinds
    if (!name->empty()) name->push_back('.');
    for (size_t i = 1; i <= length; ++i) {
      if (data[p + i] == '.') name->push_back('\\');
      name->push_back(Lower(data[p + i]));
    }
    if (name->size() > kMaxName) return false;
    p += 1 + length;
  }
  *pos = end;
  return true;
}

std::string NormalName(const std::string& domain) {
  std::string name;
  for (char c : domain) name.push_back(Lower(static_cast<uint8_t>(c)));
  if (!name.empty() && name.back() == '.') name.pop_back();
  return name;
}

struct Record {
  std::string owner;
  uint16_t type = 0;
  uint16_t klass = 0;
  size_t dataAt = 0;
  uint16_t dataLength = 0;
};

// The answer records as far as they can be read; a malformed one ends the list.
std::vector<Record> ReadAnswers(const uint8_t* data, size_t size, size_t pos, uint16_t count) {
  std::vector<Record> records;
  for (uint16_t i = 0; i < count; ++i) {
    Record r;
    if (!ReadName(data, size, &pos, &r.owner) || pos + 10 > size) break;
    r.type = Word(data + pos);
    r.klass = Word(data + pos + 2);
    r.dataLength = Word(data + pos + 8);
    r.dataAt = pos + 10;
    if (r.dataAt + r.dataLength > size) break;
    pos = r.dataAt + r.dataLength;
    records.push_back(std::move(r));
  }
  return records;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& n : names)
    if (n == name) return true;
  return false;
}

// The asked name and the names its CNAME records lead to.
std::vector<std::string> NameChain(const uint8_t* data, size_t size, const std::vector<Record>& records,
                                   const std::string& asked) {
  std::vector<std::string> chain{asked};
  for (int step = 0; step < kMaxCnameSteps; ++step) {
    bool grew = false;
    for (const Record& r : records) {
      if (r.type != kTypeCname || r.klass != kClassIn || !Contains(chain, r.owner)) continue;
      size_t at = r.dataAt;
      std::string target;
      if (ReadName(data, size, &at, &target) && !Contains(chain, target)) {
        chain.push_back(target);
        grew = true;
      }
    }
    if (!grew) break;
  }
  return chain;
}

}  // namespace

bool BuildQuery(const std::string& domain, uint16_t id, std::vector<uint8_t>* query, std::string* err) {
  std::vector<std::string> labels;
  std::string label;
  for (char c : domain) {
    if (c != '.') {
      label += c;
      continue;
    }
    if (label.empty()) {
      *err = "domain format err: empty label";
      return false;
    }
    labels.push_back(label);
    label.clear();
  }
  if (!label.empty()) labels.push_back(label);
  if (labels.size() < 2) {
    *err = "domain format err: no dot";
    return false;
  }
  query->clear();
  PutWord(query, id);
  query->push_back(0x01);  // recursion desired
  query->push_back(0x00);
  PutWord(query, 1);  // one question
  PutWord(query, 0);
  PutWord(query, 0);
  PutWord(query, 0);
  for (const std::string& l : labels) {
    if (l.size() > kMaxLabel) {
      *err = "domain format err: label too long";
      return false;
    }
    query->push_back(static_cast<uint8_t>(l.size()));
    query->insert(query->end(), l.begin(), l.end());
  }
  query->push_back(0);
  PutWord(query, kTypeA);
  PutWord(query, kClassIn);
  if (query->size() > kMaxMessage) {
    *err = "domain format err: too long";
    return false;
  }
  return true;
}

ReplyVerdict ParseReply(const uint8_t* data, size_t size, uint16_t id, const std::string& domain,
                        std::vector<std::string>* addresses, std::string* err) {
  addresses->clear();
  if (size <= kHeaderSize) {
    *err = "Resqonce content err.";
    return ReplyVerdict::kNotOurs;
  }
  if (Word(data) != id) {
    *err = "ID not match";
    return ReplyVerdict::kNotOurs;
  }
  if ((data[2] & kResponseBit) == 0) {
    *err = "not a response";
    return ReplyVerdict::kNotOurs;
  }
  size_t pos = kHeaderSize;
  std::string question;
  if (Word(data + 4) != 1 || !ReadName(data, size, &pos, &question) || pos + 4 > size) {
    *err = "Resqonce content err.";
    return ReplyVerdict::kNotOurs;
  }
  const std::string asked = NormalName(domain);
  if (question != asked || Word(data + pos) != kTypeA || Word(data + pos + 2) != kClassIn) {
    *err = "question not match";
    return ReplyVerdict::kNotOurs;
  }
  pos += 4;
  const int rcode = data[3] & 0x0f;
  if (rcode != 0) {
    *err = "Resqonse RCode:" + std::to_string(rcode);
    return ReplyVerdict::kFailed;
  }
  const std::vector<Record> records = ReadAnswers(data, size, pos, Word(data + 6));
  const std::vector<std::string> chain = NameChain(data, size, records, asked);
  for (const Record& r : records) {
    // Only four-byte Internet-class A data of one of these names is an IPv4
    // address of the host; 0.0.0.0 would connect to this very machine.
    if (r.type != kTypeA || r.klass != kClassIn || r.dataLength != 4 || !Contains(chain, r.owner)) continue;
    const uint8_t* a = data + r.dataAt;
    if ((a[0] | a[1] | a[2] | a[3]) == 0) continue;
    if (addresses->size() == kMaxAddresses) break;
    addresses->push_back(std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
                         std::to_string(a[3]));
  }
  if (addresses->empty()) {
    *err = "no A record";
    return ReplyVerdict::kFailed;
  }
  return ReplyVerdict::kAnswered;
}

}  // namespace dns
