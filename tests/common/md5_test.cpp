// MD5 against the RFC 1321 test suite, whole and fed a byte at a time.
#include <gtest/gtest.h>

#include "common/Md5.h"

namespace {

struct Vector {
  const char* text;
  const char* digest;
};

const Vector kRfc1321[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(MD5, Rfc1321Vectors) {
  for (const auto& v : kRfc1321) EXPECT_EQ(MD5(v.text).HexDigest(), v.digest) << '"' << v.text << '"';
}

TEST(MD5, ByteAtATimeMatchesWhole) {
  for (const auto& v : kRfc1321) {
    MD5 digest;
    for (const char* p = v.text; *p; ++p) digest.Update(p, 1);
    digest.Finalize();
    EXPECT_EQ(digest.HexDigest(), v.digest) << '"' << v.text << '"';
  }
}

TEST(MD5, BlockBoundariesAndNoDigestBeforeFinalize) {
  // 55, 56, 63, 64 and 65 bytes straddle the padding and block edges.
  const char* expected[] = {"ef1772b6dff9a122358552954ad0df65", "3b0c8ac703f828b04c6c197006d17218",
                            "b06521f39153d618550606be297466d5", "014842d480b571495a4a0363793f7367",
                            "c743a45e0d2e6a95cb859adae0248435"};
  const int sizes[] = {55, 56, 63, 64, 65};
  for (int i = 0; i < 5; ++i) {
    MD5 digest;
    EXPECT_EQ(digest.HexDigest(), "");
    const std::string text(sizes[i], 'a');
    digest.Update(text.data(), static_cast<unsigned>(text.size()));
    digest.Finalize();
    EXPECT_EQ(digest.HexDigest(), expected[i]) << sizes[i];
  }
}

}  // namespace
