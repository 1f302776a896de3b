// MD5 message digest (RFC 1321) with lower-case hexadecimal output. The
// publish manager signs publish URLs with it.
#pragma once
#include <cstdint>
#include <string>

class MD5 {
 public:
  MD5();
  explicit MD5(const std::string& text);  // Update(text) and Finalize()

  void Update(const void* bytes, unsigned length);
  void Finalize();
  // 32 lower-case hex digits; "" before Finalize.
  std::string HexDigest() const;

 private:
  void Transform(const uint8_t block[64]);

  bool finalized_;
  uint8_t buffer_[64];
  uint32_t count_[2];  // bit count, low word first
  uint32_t state_[4];
  uint8_t digest_[16];
};
