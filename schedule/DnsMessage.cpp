#include "schedule/DnsMessage.h"

namespace dns {

namespace {

constexpr size_t kHeaderSize = 12;
constexpr size_t kMaxLabel = 63;
constexpr uint16_t kTypeA = 1;
constexpr uint16_t kClassIn = 1;

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

void PutWord(std::vector<uint8_t>* out, uint16_t value) {
  out->push_back(static_cast<uint8_t>(value >> 8));
  out->push_back(static_cast<uint8_t>(value & 0xff));
}

// Moves *pos past a name (labels ending in a zero byte or a compression
// pointer) without following pointers; false when it runs off the end.
bool SkipName(const uint8_t* data, size_t size, size_t* pos) {
  size_t p = *pos;
  while (p < size) {
    const uint8_t length = data[p];
    if (length == 0) {
      *pos = p + 1;
      return true;
    }
    if ((length & 0xc0) == 0xc0) {
      if (p + 2 > size) return false;
      *pos = p + 2;
      return true;
    }
    if ((length & 0xc0) != 0) return false;  // reserved label kinds
    p += 1 + length;
  }
  return false;
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

bool ParseReply(const uint8_t* data, size_t size, uint16_t id, std::vector<std::string>* addresses,
                std::string* err) {
  addresses->clear();
  if (size <= kHeaderSize) {
    *err = "Resqonce content err.";
    return false;
  }
  if (Word(data) != id) {
    *err = "ID not match";
    return false;
  }
  const int rcode = data[3] & 0x0f;
  if (rcode != 0) {
    *err = "Resqonse RCode:" + std::to_string(rcode);
    return false;
  }
  const uint16_t questions = Word(data + 4);
  const uint16_t answers = Word(data + 6);
  size_t pos = kHeaderSize;
  for (uint16_t i = 0; i < questions; ++i) {
    if (!SkipName(data, size, &pos) || pos + 4 > size) {
      *err = "Resqonce content err.";
      return false;
    }
    pos += 4;
  }
  for (uint16_t i = 0; i < answers; ++i) {
    if (!SkipName(data, size, &pos) || pos + 10 > size) break;  // keep what was read so far
    const uint16_t type = Word(data + pos);
    const uint16_t dataLength = Word(data + pos + 8);
    pos += 10;
    if (pos + dataLength > size) break;
    // Only four-byte A data is an IPv4 address; anything else would be read
    // past its record or give a wrong address.
    if (type == kTypeA && dataLength == 4 && addresses->size() < kMaxAddresses) {
      const uint8_t* a = data + pos;
      addresses->push_back(std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
                           std::to_string(a[3]));
    }
    pos += dataLength;
  }
  if (addresses->empty()) {
    // 0.0.0.0 would connect to this very host, so no address is a failure.
    *err = "no A record";
    return false;
  }
  return true;
}

}  // namespace dns
